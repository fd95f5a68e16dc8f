#include "workload.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Kind {
    const char *prefix;
    const char *extension;
    const char *folder;
};

// What a camera dump or a Downloads folder holds. The folders are written out here rather than
// asked of the engine, so that a wrong rule shows up as files in the wrong place.
constexpr std::array<Kind, 16> kinds = {{
    {"IMG_", ".jpg", "Images/Jpg"},
    {"DSC", ".JPG", "Images/Jpg"},
    {"Screenshot ", ".png", "Images/Png"},
    {"report-", ".pdf", "Documents/Pdf"},
    {"Notes ", ".TXT", "Documents/Txt"},
    {"letter_", ".docx", "Documents/Docx"},
    {"Q&amp;A <draft> ", ".md", "Documents/Md"},
    {"track ", ".mp3", "Audios/Mp3"},
    {"VID_", ".MP4", "Videos/Mp4"},
    {"clip-", ".mkv", "Videos/Mkv"},
    {"main", ".cpp", "Programming-Languages/Cpp"},
    {"setup-", ".Exe", "Executables/Exe"},
    {"link ", ".lnk", "Shortcuts/Lnk"},
    {"README-", "", "Plain-Files"},
    {"backup-", ".tar.gz", "Uncategorized"},
    {"data_", ".xyz", "Uncategorized"},
}};

std::string numbered(const std::string &name, int count) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + std::to_string(count);
    return name.substr(0, dot) + std::to_string(count) + name.substr(dot);
}

std::string sixDigits(int index) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%06d", index);
    return text.data();
}

ino_t createEmptyFile(const fs::path &path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "create " + path.native());
    struct stat status {};
    ::fstat(fd, &status);
    ::close(fd);
    return status.st_ino;
}

// Writes the new files out so that the journal does not flush them during a timed run.
void flushFileSystem(const fs::path &directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

std::string checkFile(const fs::path &root, const Workload::File &file) {
    const fs::path path = root / file.expected;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return "missing: " + file.expected + " (from " + file.relative + ")";
    if (status.st_ino != file.inode)
        return "another file at " + file.expected + " (expected the one from " + file.relative +
               ")";
    return {};
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos;
         end = text.find('\n', begin)) {
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    lines.push_back(text.substr(begin));
    return lines;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

} // namespace

Workload::Workload(fs::path directory, int fileCount) : root(std::move(directory)) {
    plan(fileCount);
}

void Workload::plan(int fileCount) {
    for (int index = 0; index < fileCount; ++index) {
        const Kind &kind = kinds[static_cast<std::size_t>(index) % kinds.size()];
        const std::string name = kind.prefix + sixDigits(index) + kind.extension;
        const std::string folder = std::string(kind.folder) + "/";
        std::string target = name;
        // A few names are taken already, some twice, so the run has to number them.
        if (index % 200 == 7) {
            addOccupant(folder + name);
            target = numbered(name, 1);
        }
        if (index % 400 == 7) {
            addOccupant(folder + target);
            target = numbered(name, 2);
        }
        moves.push_back({name, folder + target, 0});
    }
}

void Workload::addOccupant(const std::string &relative) {
    occupants.push_back({relative, relative, 0});
}

void Workload::create() {
    remove();
    fs::create_directories(root);
    for (File &file : occupants) {
        fs::create_directories((root / file.relative).parent_path());
        file.inode = createEmptyFile(root / file.relative);
    }
    for (File &file : moves)
        file.inode = createEmptyFile(root / file.relative);
    flushFileSystem(root);
}

void Workload::remove() const {
    fs::remove_all(root);
}

std::vector<fs::path> Workload::newFolders() const {
    std::set<fs::path> existing;
    for (const File &file : occupants) {
        for (fs::path folder = fs::path(file.relative).parent_path(); !folder.empty();
             folder = folder.parent_path())
            existing.insert(folder);
    }
    std::set<fs::path> needed;
    for (const File &file : moves) {
        for (fs::path folder = fs::path(file.expected).parent_path(); !folder.empty();
             folder = folder.parent_path()) {
            if (existing.count(folder) == 0)
                needed.insert(folder);
        }
    }
    // In path order a parent comes before its children.
    std::vector<fs::path> folders;
    for (const fs::path &folder : needed)
        folders.push_back(root / folder);
    return folders;
}

std::string Workload::checkTree() const {
    for (const std::vector<File> *files : {&moves, &occupants}) {
        for (const File &file : *files) {
            if (std::string fault = checkFile(root, file); !fault.empty())
                return fault;
        }
    }
    std::size_t regularFiles = 0;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root))
        regularFiles += entry.is_regular_file() ? 1 : 0;
    if (regularFiles != moves.size() + occupants.size())
        return std::to_string(regularFiles) + " files in the tree, expected " +
               std::to_string(moves.size() + occupants.size());
    return {};
}

std::string Workload::checkLog(std::string_view log) const {
    std::vector<std::string_view> lines = linesOf(log);
    if (lines.size() != moves.size() + 2)
        return std::to_string(lines.size()) + " log lines, expected " +
               std::to_string(moves.size() + 2);
    if (lines.front() != "Result Summary: ")
        return "first log line: " + std::string(lines.front());
    const std::string_view summary = lines.back();
    if (!startsWith(summary, "Process Finished in ") ||
        !endsWith(summary, " seconds with " + std::to_string(moves.size()) + " file(s)."))
        return "last log line: " + std::string(summary);

    std::vector<std::string> expected;
    for (const File &file : moves)
        expected.push_back("Moved: " + directoryText() + "/" + file.relative + " -> " +
                           directoryText() + "/" + file.expected);
    std::sort(expected.begin(), expected.end());
    std::sort(lines.begin() + 1, lines.end() - 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (lines[i + 1] != expected[i])
            return "log line \"" + std::string(lines[i + 1]) + "\", expected \"" + expected[i] +
                   "\"";
    }
    return {};
}
