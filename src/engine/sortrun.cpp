#include "sortrun.h"

#include "catalogue.h"
#include "escaping.h"
#include "nativefs.h"
#include "rules.h"

#include <array>
#include <charconv>
#include <unordered_set>

namespace pallimor {

namespace fs = std::filesystem;

namespace {

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

// Every entry is listed before the first is examined: a file system that resumes a listing by
// its position (SMB, some NFS clients) skips entries once earlier ones have moved out.
class Walk {
public:
    Walk(const std::string &sourceDir, const LogSink &log, const RunSettings &settings)
        : sourceDir(sourceDir), shown(sourceDir), log(log), settings(settings) {}

    void run() {
        std::error_code error;
        const SortedDirectory directory(sourceDir, error);
        Listing listing;
        if (!error)
            error = directory.list(listing, settings.stop);
        const bool listingStopped = error == std::errc::operation_canceled;
        std::size_t examined = 0;
        report(examined, listing.size());
        for (; examined < listing.size() && !settings.stop.stop_requested(); ++examined) {
            visit(directory, directory.examine(listing[examined]));
            report(examined + 1, listing.size());
        }
        if (error && !listingStopped)
            log("Error listing directory " + escapeLineBreakers(sourceDir) + ": " +
                messageOf(error));
        // A stop asked for after the last entry leaves nothing unexamined.
        if (listingStopped || examined < listing.size())
            log("Process Stopped: files not yet examined stay where they are.");
    }

    int totalFileCounts = 0;
    int failures = 0; // files with an error line

private:
    void report(std::size_t examined, std::size_t listed) const {
        if (settings.progress)
            settings.progress(examined, listed);
    }

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
            logFailure(errorLine(entry.name, error));
            return;
        }
        sortFile(directory, entry.name, placement.categoryPath);
    }

    bool isRegularFile(const DirectoryEntry &entry) {
        if (entry.typeError)
            logFailure("Error reading file " + shownEntry(entry.name) + ": " +
                       messageOf(entry.typeError));
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
    void sortFile(const SortedDirectory &directory, const fs::path &filename,
                  const std::string &categoryPath) {
        hasSortProcessStarted = true;
        const fs::path destinationFolder = pathFromUtf8(categoryPath);
        fs::path newName = filename;
        std::error_code error = moveInto(directory, filename, destinationFolder, newName);
        // The rename itself refuses a taken name, so no file that appears meanwhile is replaced.
        for (long long count = 1; error == std::errc::file_exists; ++count) {
            newName = numberedName(filename, count);
            error = moveInto(directory, filename, destinationFolder, newName);
        }
        const std::string destination =
            shown.folders + escapeLineBreakers(categoryPath + "/" + utf8FromPath(newName));
        if (error.category() == keptBothNamesCategory())
            logFailure(errorLine(filename, error) + ", so the file is also at " + destination);
        else if (error)
            logFailure(errorLine(filename, error));
        else
            log("Moved: " + shownEntry(filename) + " -> " + destination);
    }

    // A folder made earlier in the run may have been removed since; put it back rather than fail.
    static std::error_code moveInto(const SortedDirectory &directory, const fs::path &filename,
                                    const fs::path &folder, const fs::path &newName) {
        std::error_code error = directory.moveWithoutReplacing(filename, folder / newName);
        if (error == std::errc::no_such_file_or_directory && !directory.createFolders(folder))
            error = directory.moveWithoutReplacing(filename, folder / newName);
        return error;
    }

    std::string shownEntry(const fs::path &filename) const {
        return shown.entries + escapeLineBreakers(utf8FromPath(filename));
    }

    std::string errorLine(const fs::path &filename, const std::error_code &error) const {
        return "Error moving file " + shownEntry(filename) + ": " + messageOf(error);
    }

    void logFailure(const std::string &line) {
        ++failures;
        log(line);
    }

    const std::string &sourceDir;
    const ShownDirectory shown;
    const LogSink &log;
    const RunSettings &settings;
    std::unordered_set<std::string> readyFolders;
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
    Walk walk(sourceDir, log, settings);
    walk.run();
    // Among a hundred thousand lines, nobody finds three failures unless told to look.
    if (walk.failures > 0)
        log(std::to_string(walk.failures) +
            " file(s) could not be moved; each has a line above that begins with \"Error\".");
    log(summaryLine(walk.totalFileCounts, start));
}

} // namespace pallimor
