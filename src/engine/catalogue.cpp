#include "catalogue.h"

#include <initializer_list>
#include <string_view>

namespace pallimor {

namespace {

struct CategoryGroup {
    std::string_view category;
    std::initializer_list<std::string_view> extensions;
};

ExtensionCatalogue catalogueOf(std::initializer_list<CategoryGroup> groups) {
    ExtensionCatalogue catalogue;
    for (const CategoryGroup &group : groups) {
        for (std::string_view extension : group.extensions)
            catalogue.emplace(extension, group.category);
    }
    return catalogue;
}

} // namespace

// clang-format off
const ExtensionCatalogue CATEGORIES = catalogueOf({
    {"Documents",
     {
        ".txt", ".md", ".pdf", ".docx", ".xls", ".odt", ".docm", ".doc", ".pub", ".oxps", ".xps",
        ".xlsx"
     }},
    {"Images",
     {
        ".jpg", ".gif", ".png", ".jpeg", ".svg", ".live", ".bmp", ".tiff"
     }},
    {"Audios",
     {
        ".mp3", ".wav", ".wave", ".aiff", ".aifc", ".aif", ".mid", ".midi", ".wma", ".m4a"
     }},
    {"Videos",
     {
        ".mp4", ".video", ".webm", ".vid", ".avi", ".wmv", ".mov", ".exo", ".fbr", ".anydesk",
        ".swf", ".264", ".scr", ".n3r", ".h264", ".bu", ".tscproj", ".vroj", ".trec", ".rec",
        ".mepx", ".v264", ".g64x", ".wve", ".avc", ".ts", ".vpj", ".prproj", ".pds", ".pz", ".hkv",
        ".mkv", ".rf", ".es3", ".bnk", ".lrv", ".nfv", ".dvr", ".bup", ".wfp", ".mks", ".hvc1",
        ".dv4", ".yify", ".h265", ".tvs", ".veg", ".kux", ".vob", ".ifv", ".vpd", ".dv5", ".flv",
        ".dash", ".arf", ".lrec", ".encm", ".m4f", ".vcd", ".wlmp", ".h260", ".vep", ".dvt", ".m4s",
        ".vcr", ".ezp", ".bik", ".dxr", ".bvr", ".etrg", ".trp", ".hbox", ".usm", ".dcf", ".gifv",
        ".um4", ".265", ".vp6", ".3gp", ".dir", ".strg", ".dfxp", ".camrec", ".dtcp-ip", ".sol",
        ".hevc", ".dat", ".vvf", ".irf", ".xvid", ".dxa", ".mk3d", ".vghd", ".mts", ".mpg",
        ".camproj", ".dc8", ".mp41", ".amc", ".viv", ".rdt", ".cpk", ".vf", ".vse", ".mod", ".eti",
        ".m4v", ".asf", ".mxf", ".m2p", ".nvc", ".vgc", ".stu", ".cine", ".m2t", ".tts", ".stx",
        ".dce", ".dmx", ".hmt", ".asx", ".mjpeg", ".demo", ".evo", ".xba", ".sdv", ".ogv", ".sdr2",
        ".vp3", ".moff", ".fcpxml", ".cct", ".avh", ".ravi", ".ssif", ".vs4", ".doink-gs", ".eztv",
        ".vfo", ".tsp", ".amv", ".avf", ".mjp", ".p2", ".tp", ".mts1", ".ivf", ".mpeg", ".vro",
        ".awlive", ".screenrec", ".ismv", ".dcr", ".3gp_128x96", ".flm", ".str", ".hav", ".swi",
        ".rmvb", ".3g2", ".mjpg", ".nmm", ".tod", ".h64", ".mpeg2", ".ub1", ".vmlf", ".rpl", ".dvm",
        ".dscf", ".flux", ".h3r", ".m2ts", ".apz", ".r3d", ".rec_part0", ".epm", ".mps", ".otrkey",
        ".mtv", ".rm", ".g64", ".rt4", ".dmsd", ".mj2", ".scc", ".rdg", ".movie", ".y4m", ".mpg4",
        ".eye", ".urc", ".crec", ".rcproject", ".3gpp", ".mmv", ".djanimations", ".rv", ".dmsm",
        ".g2m", ".mpgv", ".mpv", ".mvc", ".mxv", ".tmi", ".lsf", ".prel", ".wsve", ".hup", ".mpgx",
        ".rargb", ".slc", ".f4v", ".jmf", ".pmf", ".dvr-ms", ".m65", ".aut", ".w3d", ".qt", ".ps",
        ".ppj", ".ml20", ".swc", ".mv2", ".fcp", ".ts4", ".fsv", ".vpg", ".jyk", ".pgmx", ".bdav",
        ".fm2", ".mv", ".bdmv", ".seq", ".hq", ".pvr", ".mp4;v=1", ".eva", ".swz", ".tms", ".cpvc",
        ".mpeg4", ".mjp2", ".gmm", ".3mm", ".tgv", ".gts", ".dv", ".w32", ".avd", ".m1v", ".dlx",
        ".mvy", ".fli", ".44", ".lsx", ".flc", ".divx", ".ivm", ".rax", ".dtv", ".pxm", ".ogm",
        ".bsf", ".mpegps", ".mvd", ".rsv", ".ilm", ".wtv", ".60d", ".mep", ".m2v", ".iva", ".hmv",
        ".xmv", ".mpg2", ".ty", ".ssm", ".mcv", ".epj", ".htd", ".263", ".iis", ".rtv", ".vci",
        ".mqv", ".rec_part1", ".rvl", ".s2e", ".vp8", ".kmv", ".m-jpeg", ".ratDVD", ".smv", ".dmss",
        ".mpcpl", ".xpv", ".603", ".flexolibrary", ".lsproj", ".mkv3D", ".m2s", ".k3g"
     }},
    {"Executables",
     {
        ".exe", ".bat", ".cmd"
     }},
    {"Shortcuts",
     {
        ".lnk"
     }},
    {"Programming-Languages",
     {
        ".c", ".cpp", ".h", ".java", ".cs", ".py", ".js", ".html", ".css", ".php", ".sql", ".rb",
        ".swift", ".go", ".rs", ".dart", ".perl", ".lua", ".scala", ".kt", ".sh", ".yaml", ".xml",
        ".json", ".jsx", ".tsx", ".less", ".sass", ".scss"
     }},});
// clang-format on

Switches FileCategory = {
    {"Documents", false},
    {"Images", false},
    {"Audios", false},
    {"Videos", false},
    {"Programming-Languages", false},
    {"System-Files", false},
    {"Plain-Files", false},
    {"Executables", false},
    {"Shortcuts", false},
};

const std::vector<std::string> CRITICAL_FILES = {
    ".bashrc",
    ".bash_profile",
    ".profile",
    ".bash_logout",
    ".bash_history",
    ".ssh",
    ".sudo_as_admin_successful",
};

const std::vector<std::string> EXCEPTIONS = {".ini"};

bool hasSortProcessStarted = false;

} // namespace pallimor
