#include "sortrun.h"

#include "catalogue.h"
#include "nativefs.h"
#include "rules.h"

#include <array>
#include <charconv>
#include <unordered_set>

namespace pallimor {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view hexDigits = "0123456789abcdef";

std::string escapedControl(unsigned char byte) {
    switch (byte) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return {'\\', 'x', hexDigits[byte >> 4], hexDigits[byte & 0xf]};
    }
}

std::string escapedCodePoint(char32_t codePoint) {
    const int digits = codePoint > 0xffff ? 8 : 4;
    std::string escaped = digits == 8 ? "\\U" : "\\u";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        escaped += hexDigits[(codePoint >> shift) & 0xf];
    return escaped;
}

// The code point that `text` starts with and its length in bytes; a length of 0 where the bytes
// are no UTF-8, which the pane shows as U+FFFD anyway.
std::pair<char32_t, std::size_t> firstCodePoint(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0xc2   ? 0
                               : lead < 0xe0 ? 2
                               : lead < 0xf0 ? 3
                               : lead < 0xf5 ? 4
                                             : 0;
    if (length == 0 || length > text.size())
        return {0, 0};
    char32_t codePoint = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xc0) != 0x80)
            return {0, 0};
        codePoint = codePoint << 6 | (next & 0x3f);
    }
    static constexpr std::array<char32_t, 5> least = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < least[length] || codePoint > 0x10ffff ||
        (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return {0, 0};
    return {codePoint, length};
}

// Beyond ASCII, what ends, fakes or reorders a line on screen: C1 controls (U+0085 ends one),
// U+2028 and U+2029, the bidirectional marks and controls, and the noncharacters, of which the
// pane's document turns U+FDD0 and U+FDD1 into paragraph breaks.
bool isDisguising(char32_t c) {
    return c <= 0x9f || c == 0x061c || c == 0x200e || c == 0x200f || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) ||
           (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
}

// A name is shown escaped, so that no file name can split a log line, fake another or pass one
// kind of file off as another.
std::string escapeLineBreakers(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) {
            shown += escapedControl(byte);
            ++i;
            continue;
        }
        const auto [codePoint, length] =
            byte < 0x80 ? std::pair<char32_t, std::size_t>{0, 0} : firstCodePoint(text.substr(i));
        if (length == 0) {
            shown += text[i];
            ++i;
            continue;
        }
        if (isDisguising(codePoint))
            shown += escapedCodePoint(codePoint);
        else
            shown.append(text, i, length);
        i += length;
    }
    return shown;
}

fs::path numberedName(const fs::path &filename, long long count) {
    fs::path name = filename.stem();
    name += std::to_string(count);
    name += filename.extension();
    return name;
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

bool endsWithSeparator(std::string_view path) {
#ifdef _WIN32
    return path.ends_with('/') || path.ends_with('\\');
#else
    return path.ends_with('/');
#endif
}

// On Windows "C:" names the current folder of drive C, so what lies in it follows without a
// separator, which would name the drive's root instead.
bool isDriveRelative([[maybe_unused]] std::string_view path) {
#ifdef _WIN32
    return path.size() == 2 && path[1] == ':';
#else
    return false;
#endif
}

// The directory as the log names it: as the user typed it, never in the platform's own form.
// A file in it reads as its full path would; a category folder follows one "/" more.
struct ShownDirectory {
    explicit ShownDirectory(const std::string &typed)
        : entries(escapeLineBreakers(
              endsWithSeparator(typed) || isDriveRelative(typed) ? typed : typed + "/")),
          folders(escapeLineBreakers(isDriveRelative(typed) ? typed : typed + "/")) {}

    std::string entries;
    std::string folders;
};

class Walk {
public:
    Walk(const std::string &sourceDir, const LogSink &log, const RunSettings &settings)
        : sourceDir(sourceDir), shown(sourceDir), log(log), settings(settings) {}

    int run() {
        std::error_code error;
        bool stopped = false;
        const SortedDirectory directory(sourceDir, error);
        if (!error)
            error = directory.forEachEntry([&](const DirectoryEntry &entry) {
                if (settings.stop.stop_requested()) {
                    stopped = true;
                    return false;
                }
                visit(directory, entry);
                return true;
            });
        if (error)
            log("Error listing directory " + escapeLineBreakers(sourceDir) + ": " +
                messageOf(error));
        // A stop asked for after the last entry leaves nothing unexamined.
        if (stopped)
            log("Process Stopped: files not yet examined stay where they are.");
        return totalFileCounts;
    }

private:
    void visit(const SortedDirectory &directory, const DirectoryEntry &entry) {
        const std::string filename = utf8FromPath(entry.name);
        const Placement placement = placementOf(filename, settings.switches);
        if (placement.kind == Placement::LeftAlone || entry.isHidden || !isRegularFile(entry))
            return;
        ++totalFileCounts;
        if (placement.kind == Placement::Held)
            return;
        if (settings.beforeEachMove)
            settings.beforeEachMove(entry.name);
        if (const std::error_code error = prepareFolder(directory, placement.categoryPath)) {
            hasSortProcessStarted = true;
            log(errorLine(entry.name, error));
            return;
        }
        sortFile(directory, entry, placement.categoryPath);
    }

    bool isRegularFile(const DirectoryEntry &entry) {
        if (entry.typeError)
            log("Error reading file " + shownEntry(entry.name) + ": " + messageOf(entry.typeError));
        return entry.isRegularFile;
    }

    // Each folder is made once per run instead of before every move: the move itself puts
    // back a folder that disappears later.
    std::error_code prepareFolder(const SortedDirectory &directory,
                                  const std::string &categoryPath) {
        if (readyFolders.contains(categoryPath))
            return {};
        const std::error_code error = directory.createFolders(pathFromUtf8(categoryPath));
        if (!error)
            readyFolders.insert(categoryPath);
        return error;
    }

    // Moves one file into its existing category folder under the first free name: its own, or
    // a number put before its extension. Logs one line, whether the move succeeded or failed.
    void sortFile(const SortedDirectory &directory, const DirectoryEntry &entry,
                  const std::string &categoryPath) {
        hasSortProcessStarted = true;
        const fs::path &filename = entry.name;
        const fs::path destinationFolder = pathFromUtf8(categoryPath);
        fs::path newName = filename;
        std::error_code error = moveInto(directory, entry, destinationFolder, newName);
        // The rename itself refuses a taken name, so no file that appears meanwhile is replaced.
        for (long long count = 1; error == std::errc::file_exists; ++count) {
            newName = numberedName(filename, count);
            error = moveInto(directory, entry, destinationFolder, newName);
        }
        const std::string destination =
            shown.folders + escapeLineBreakers(categoryPath + "/" + utf8FromPath(newName));
        if (error.category() == keptBothNamesCategory())
            log(errorLine(filename, error) + ", so the file is also at " + destination);
        else if (error)
            log(errorLine(filename, error));
        else
            log("Moved: " + shownEntry(filename) + " -> " + destination);
    }

    // A folder made earlier in the run may have been removed since; put it back rather than fail.
    static std::error_code moveInto(const SortedDirectory &directory, const DirectoryEntry &entry,
                                    const fs::path &folder, const fs::path &newName) {
        std::error_code error = directory.moveWithoutReplacing(entry, folder / newName);
        if (error == std::errc::no_such_file_or_directory && !directory.createFolders(folder))
            error = directory.moveWithoutReplacing(entry, folder / newName);
        return error;
    }

    std::string shownEntry(const fs::path &filename) const {
        return shown.entries + escapeLineBreakers(utf8FromPath(filename));
    }

    std::string errorLine(const fs::path &filename, const std::error_code &error) const {
        return "Error moving file " + shownEntry(filename) + ": " + messageOf(error);
    }

    const std::string &sourceDir;
    const ShownDirectory shown;
    const LogSink &log;
    const RunSettings &settings;
    std::unordered_set<std::string> readyFolders;
    int totalFileCounts = 0;
};

} // namespace

bool isSortableDirectory(const std::string &sourceDir) {
    std::error_code error;
    const SortedDirectory directory(sourceDir, error);
    return !error;
}

void sortDirectory(const std::string &sourceDir, std::chrono::steady_clock::time_point start,
                   const LogSink &log, const RunSettings &settings) {
    log("Result Summary: ");
    const int totalFileCounts = Walk(sourceDir, log, settings).run();
    log(summaryLine(totalFileCounts, start));
}

} // namespace pallimor
