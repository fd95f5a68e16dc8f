#include "sortrun.h"

#include "catalogue.h"
#include "nativefs.h"
#include "rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <unordered_map>

namespace pallimor {

namespace fs = std::filesystem;

namespace {

std::string escapedControl(unsigned char byte) {
    switch (byte) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        static constexpr std::string_view hex = "0123456789abcdef";
        return {'\\', 'x', hex[byte >> 4], hex[byte & 0xf]};
    }
}

// Characters that end or fake a line on screen: C0 controls, DEL, U+0085, U+2028 and U+2029.
std::string escapeLineBreakers(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> breakers = {
        {{"\xC2\x85", "\\u0085"}, {"\xE2\x80\xA8", "\\u2028"}, {"\xE2\x80\xA9", "\\u2029"}}};
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) {
            shown += escapedControl(byte);
            continue;
        }
        const bool mayBreak = byte == 0xC2 || byte == 0xE2;
        const auto breaker =
            !mayBreak ? breakers.end()
                      : std::find_if(breakers.begin(), breakers.end(), [&](const auto &b) {
                            return text.substr(i).starts_with(b.first);
                        });
        if (breaker == breakers.end()) {
            shown += text[i];
            continue;
        }
        shown += breaker->second;
        i += breaker->first.size() - 1;
    }
    return shown;
}

// A name is shown escaped, so that no file name can split a log line or fake another.
std::string shownPath(const fs::path &path) {
    return escapeLineBreakers(utf8FromPath(path));
}

fs::path joined(const fs::path &folder, const fs::path &name) {
    // Joined as text with "/" so that the logged paths read as the user typed the directory.
    return fs::path(folder.native() + fs::path::value_type('/') + name.native());
}

// The listing joins with the platform's separator, a backslash on Windows; joined with "/" as
// the destination is, one log line names the directory one way.
fs::path entryPath(const fs::path &directory, const fs::path &name) {
    fs::path path = directory;
    if (directory.has_filename())
        path += "/";
    path += name;
    return path;
}

fs::path numberedName(const fs::path &filename, long long count) {
    fs::path name = filename.stem();
    name += std::to_string(count);
    name += filename.extension();
    return name;
}

// A folder made earlier in the run may have been removed since; put it back rather than fail.
std::error_code moveInto(const fs::path &filepath, const fs::path &folder, const fs::path &target) {
    std::error_code error = moveWithoutReplacing(filepath, target);
    if (error == std::errc::no_such_file_or_directory) {
        std::error_code ignored;
        if (fs::create_directories(folder, ignored))
            error = moveWithoutReplacing(filepath, target);
    }
    return error;
}

std::string errorLine(const fs::path &filepath, const std::error_code &error) {
    return "Error moving file " + shownPath(filepath) + ": " + messageOf(error);
}

std::string secondsSince(std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::array<char, 32> text{};
    // to_chars ignores the locale, which the window sets from the desktop.
    const auto result = std::to_chars(text.data(), text.data() + text.size(), elapsed.count(),
                                      std::chars_format::fixed, 2);
    return std::string(text.data(), result.ptr);
}

std::string summaryLine(int totalFileCounts, std::chrono::steady_clock::time_point start) {
    if (totalFileCounts == 0)
        return "There is currently no Files to Sort.";
    const bool hasFilesButNotSorted = !hasSortProcessStarted;
    const std::string tail =
        secondsSince(start) + " seconds with " + std::to_string(totalFileCounts) + " file(s).";
    if (hasFilesButNotSorted)
        return "No files was sorted. Exceptions may be toggled. Scanning Finished in " + tail;
    return "Process Finished in " + tail;
}

// A status failure that only says the entry is no file (a dangling or looping link) is no error.
bool isMissingTarget(const std::error_code &error) {
    return error == std::errc::no_such_file_or_directory ||
           error == std::errc::too_many_symbolic_link_levels || error == std::errc::not_a_directory;
}

class Walk {
public:
    Walk(const std::string &sourceDir, const LogSink &log, const FileHook &beforeEachMove)
        : sourceDir(sourceDir), directory(pathFromUtf8(sourceDir)), log(log),
          beforeEachMove(beforeEachMove) {}

    int run() {
        std::error_code error;
        fs::directory_iterator entry(directory, error);
        for (; !error && entry != fs::directory_iterator(); entry.increment(error))
            visit(*entry);
        if (error)
            log("Error listing directory " + escapeLineBreakers(sourceDir) + ": " +
                messageOf(error));
        return totalFileCounts;
    }

private:
    void visit(const fs::directory_entry &entry) {
        if constexpr (fs::path::preferred_separator == '/')
            visitFile(entry, entry.path());
        else
            visitFile(entry, entryPath(directory, entry.path().filename()));
    }

    void visitFile(const fs::directory_entry &entry, const fs::path &fullPath) {
        const std::string filename = utf8FromPath(fullPath.filename());
        const Placement placement = placementOf(filename);
        if (placement.kind == Placement::LeftAlone || !isRegularFile(entry, fullPath))
            return;
        ++totalFileCounts;
        if (placement.kind == Placement::Held)
            return;
        if (beforeEachMove)
            beforeEachMove(fullPath);
        std::error_code error;
        const fs::path *destinationFolder = prepareFolder(placement.categoryPath, error);
        if (!destinationFolder) {
            hasSortProcessStarted = true;
            log(errorLine(fullPath, error));
            return;
        }
        sortFile(fullPath, *destinationFolder, log);
    }

    bool isRegularFile(const fs::directory_entry &entry, const fs::path &fullPath) {
        std::error_code error;
        if (entry.is_regular_file(error))
            return true;
        if (error && !isMissingTarget(error))
            log("Error reading file " + shownPath(fullPath) + ": " + messageOf(error));
        return false;
    }

    // Each folder is made once per run instead of before every move: the move itself puts
    // back a folder that disappears later.
    const fs::path *prepareFolder(const std::string &categoryPath, std::error_code &error) {
        if (const auto ready = readyFolders.find(categoryPath); ready != readyFolders.end())
            return &ready->second;
        fs::path folder = pathFromUtf8(sourceDir + "/" + categoryPath);
        fs::create_directories(folder, error);
        if (!error && !fs::is_directory(folder, error))
            error = std::make_error_code(std::errc::not_a_directory);
        if (error)
            return nullptr;
        return &readyFolders.emplace(categoryPath, std::move(folder)).first->second;
    }

    const std::string &sourceDir;
    const fs::path directory;
    const LogSink &log;
    const FileHook &beforeEachMove;
    std::unordered_map<std::string, fs::path> readyFolders;
    int totalFileCounts = 0;
};

} // namespace

bool isSortableDirectory(const std::string &sourceDir) {
    // A NUL would cut the path short in the system call and sort some other directory.
    if (sourceDir.find('\0') != std::string::npos)
        return false;
    if (!isTakenLiterally(sourceDir))
        return false;
    std::error_code error;
    return fs::is_directory(pathFromUtf8(sourceDir), error);
}

void sortDirectory(const std::string &sourceDir, std::chrono::steady_clock::time_point start,
                   const LogSink &log, const FileHook &beforeEachMove) {
    log("Result Summary: ");
    const int totalFileCounts = Walk(sourceDir, log, beforeEachMove).run();
    log(summaryLine(totalFileCounts, start));
}

void sortFile(const fs::path &filepath, const fs::path &destinationFolder, const LogSink &log) {
    hasSortProcessStarted = true;
    const fs::path filename = filepath.filename();
    fs::path newPath = joined(destinationFolder, filename);
    std::error_code error = moveInto(filepath, destinationFolder, newPath);
    // The rename itself refuses a taken name, so no file that appears meanwhile is replaced.
    for (long long count = 1; error == std::errc::file_exists; ++count) {
        newPath = joined(destinationFolder, numberedName(filename, count));
        error = moveInto(filepath, destinationFolder, newPath);
    }
    if (error)
        log(errorLine(filepath, error));
    else
        log("Moved: " + shownPath(filepath) + " -> " + shownPath(newPath));
}

} // namespace pallimor
