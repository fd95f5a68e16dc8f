#include "sortrun.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

using namespace model;
using namespace std::chrono_literals;

#ifndef _WIN32
#include <sys/syscall.h>
#include <unistd.h>

// Where a file system refuses RENAME_NOREPLACE (NFS, many FUSE mounts) a move links, then
// unlinks. Set, these make this process's file system one of them, and let another program act
// on the moving file's name between the link and the unlink.
static bool refuseNoReplace = false;
static std::function<void(const char *from)> afterLink;

extern "C" int renameat2(int fromDir, const char *from, int toDir, const char *to,
                         unsigned flags) noexcept {
    errno = EINVAL;
    return refuseNoReplace && (flags & RENAME_NOREPLACE)
               ? -1
               : static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

extern "C" int linkat(int fromDir, const char *from, int toDir, const char *to,
                      int flags) noexcept {
    const auto linked = static_cast<int>(::syscall(SYS_linkat, fromDir, from, toDir, to, flags));
    if (afterLink)
        std::exchange(afterLink, {})(from);
    return linked;
}
#endif

// The log of a run of the folder typed as `typed` (`dir` itself, unless given) started an hour
// ago, worded as the model words it, with what the model foretells befalling its files.
static Lines logOf(const fs::path &dir, std::string typed = {}) {
    Lines lines;
    std::vector<std::ifstream> open;
    pallimor::sortDirectory(
        typed.empty() ? pallimor::utf8FromPath(dir) : typed,
        std::chrono::steady_clock::now() - std::chrono::hours(1),
        [&](std::string_view line) {
            lines.push_back(worded(std::string(line), "36\\d\\d\\.\\d\\d"));
        },
        [&](const fs::path &name) { befall(dir, dir / name, open); });
    return lines;
}

// Start-up holds no category and no move has begun. Then runs, one after another in this
// process, over generated directories past MAX_PATH, every log line in listing order and the
// tree after it as the model foretells, the flag carried from run to run. The first two
// directories also hold a file of each extension of the catalogue, with every switch off, then
// on; the others switch each category on by chance. Each is typed as its full path, relative to
// the working folder, as that folder itself ("." or "C:"), with forward slashes and a trailing
// one, or on Windows in the verbatim form, from a working folder whose own file stays; on Linux
// every other one is on a file system that refuses a no-replace rename. PALLIMOR_SEEDS sets the
// number of directories.
TEST(Run, EveryFileEndsWhereTheRulesSayAndLogsOneLine) {
    EXPECT_EQ(pallimor::CATEGORIES.size(), 368u);
    EXPECT_FALSE(std::ranges::any_of(pallimor::FileCategory, [](auto &c) { return c.second; }));
    EXPECT_FALSE(pallimor::hasSortProcessStarted);
    const char *seeds = std::getenv("PALLIMOR_SEEDS");
    const Scratch scratch("pallimor-run");
    const fs::path &root = scratch.deep, home = fs::current_path();
    const std::string full = pallimor::utf8FromPath(root);
    const std::string drive = pallimor::utf8FromPath(root.root_name());
    std::string slashes = full;
    std::ranges::replace(slashes, '\\', '/');
    const Lines forms = {full, pallimor::utf8FromPath(root.filename()), drive.empty() ? "." : drive,
                         slashes + "/", drive.empty() ? full : "\\\\?\\" + full};
    write(scratch.top / "own.jpg", "own");
    for (unsigned seed = 0; seed < (seeds ? std::stoul(seeds) : 40u) && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        for (auto &[category, held] : pallimor::FileCategory)
            held = seed < 2 ? seed == 1 : random() % 5 < 2;
        fill(root, random, {"keep", "keep", "vanish", "race", "drop", "open"});
        for (const auto &row : readTable("catalogue.txt"))
            if (seed < 2)
                write(root / ("file" + row[0]), "keep file" + row[0]);
        fs::current_path(seed % 5 == 2 ? root : seed % 5 == 1 ? root.parent_path() : scratch.top);
#ifndef _WIN32
        refuseNoReplace = seed % 2;
#endif
        const auto [lines, tree] = replay(root, forms[seed % 5]);
        EXPECT_EQ(logOf(root, forms[seed % 5]), lines);
        fs::current_path(home);
        EXPECT_EQ(snapshot(root), tree);
    }
    EXPECT_EQ(children(scratch.top).size(), 2u);
}

// Runs that move nothing, in this order: over a directory that cannot be listed, whose name must
// not break the line either; over one whose only file is held; over one whose only movable file
// fails at its folder, a held file standing in its place, which still counts as an attempt; and
// over the held one again, the attempt remembered.
TEST(Run, ARunThatMovesNothingSaysWhy) {
    const Scratch scratch("pallimor-nothing");
    const fs::path missing = scratch.deep / "missing\nfolder";
    EXPECT_EQ(logOf(missing),
              (Lines{"Result Summary: ",
                     "Error listing directory " + shown(pallimor::utf8FromPath(missing)) + ": ",
                     "There is currently no Files to Sort."}));
    const fs::path held = scratch.deep / "held", blocked = scratch.deep / "blocked";
    write(held / "setup.ini", "keep");
    write(blocked / "Documents", "keep");
    write(blocked / "notes.txt", "keep");
    pallimor::FileCategory["Plain-Files"] = true;
    for (const fs::path &dir : {held, blocked, held}) {
        const auto [lines, tree] = replay(dir);
        EXPECT_EQ(logOf(dir), lines);
        EXPECT_EQ(snapshot(dir), tree);
    }
}

// Another program takes each name a run may choose, from the moment the run is about to choose
// it: 1,500 files whose numbered names are each other's, on a file system that renames without
// replacing, and on Linux on one that must link and unlink, where a download is also renamed
// onto a file between the two. Every byte of every file is still there after.
TEST(Run, ANameTakenDuringTheMoveIsNeverReplaced) {
    const Scratch scratch("pallimor-race");
    const auto nameOf = [](int file) { return "r" + (file ? std::to_string(file) : "") + ".txt"; };
    for ([[maybe_unused]] const bool refused : {false, true}) {
        std::multiset<std::string> contents;
        for (int file = 0; file < 1500; ++file)
            write(scratch.deep / nameOf(file), *contents.insert(nameOf(file)));
        std::atomic<int> about{-1};
        std::atomic<bool> done{false};
        std::thread racer([&] {
            const fs::path taker = scratch.top / "taker", folder = scratch.deep / "Documents/Txt";
            fs::create_directories(folder);
            write(taker, "raced 0");
            for (int taken = -1, raced = 0; !done;) {
                const int file = about;
                if (file == taken)
                    continue;
                taken = file;
                for (const auto until = std::chrono::steady_clock::now() + file % 64 * 50ns;
                     std::chrono::steady_clock::now() < until;)
                    ;
                std::error_code taking;
                if (fs::create_hard_link(taker, folder / nameOf(file), taking), taking)
                    continue;
                contents.insert("raced " + std::to_string(raced));
                fs::remove(taker);
                write(taker, "raced " + std::to_string(++raced));
            }
        });
#ifndef _WIN32
        refuseNoReplace = refused;
        if (refused)
            afterLink = [&](const char *from) {
                write(scratch.top / "download", *contents.insert("downloaded"));
                fs::rename(scratch.top / "download", scratch.deep / from);
            };
#endif
        pallimor::sortDirectory(
            pallimor::utf8FromPath(scratch.deep), {}, [](std::string_view) {},
            [&](const fs::path &name) { about = std::stoi("0" + name.string().substr(1)); });
        done = true;
        racer.join();
        std::multiset<std::string> found;
        for (const auto &[path, content] : snapshot(scratch.deep))
            if (content != "/")
                found.insert(content);
        EXPECT_EQ(found, contents);
        removeTree(scratch.deep);
    }
}

#ifndef _WIN32
// A folder deeper than PATH_MAX, which no single path reaches, made and checked one folder at a
// time.
TEST(Run, AFolderDeeperThanAnyPathIsSorted) {
    const Scratch scratch("pallimor-deepest");
    const fs::path home = fs::current_path(), level(std::string(250, 'x'));
    std::string typed = scratch.top.string();
    fs::current_path(scratch.top);
    for (int depth = 0; depth < 20; ++depth, typed += "/" + level.string()) {
        fs::create_directory(level);
        fs::current_path(level);
    }
    write("report.pdf", "report");
    EXPECT_EQ(logOf(".", typed),
              (Lines{"Result Summary: ",
                     "Moved: " + typed + "/report.pdf -> " + typed + "/Documents/Pdf/report.pdf",
                     "Process Finished in <seconds> seconds with 1 file(s)."}));
    EXPECT_EQ(
        snapshot("."),
        (Tree{{"Documents", "/"}, {"Documents/Pdf", "/"}, {"Documents/Pdf/report.pdf", "report"}}));
    fs::current_path(home);
    EXPECT_EQ(std::system(("rm -rf " + scratch.top.string()).c_str()), 0);
}
#else
// A numbered name may be a device's name; Explorer hides a hidden or a system file, which stays
// where it is, uncounted.
TEST(Run, WindowsNamesAreTakenAsWritten) {
    const Scratch scratch("pallimor-windows");
    for (const char *name : {"com.txt", "Documents/Txt/com.txt", "Thumbs.db", "~$Report.docx"})
        write(scratch.deep / name, name);
    SetFileAttributesW((scratch.deep / "Thumbs.db").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((scratch.deep / "~$Report.docx").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::string dir = pallimor::utf8FromPath(scratch.deep) + "/";
    EXPECT_EQ(
        logOf(scratch.deep),
        (Lines{"Result Summary: ", "Moved: " + dir + "com.txt -> " + dir + "Documents/Txt/com1.txt",
               "Process Finished in <seconds> seconds with 1 file(s)."}));
    EXPECT_EQ(children(scratch.deep / "Documents/Txt"),
              (std::vector<fs::path>{"com.txt", "com1.txt"}));
    EXPECT_EQ(children(scratch.deep).size(), 3u);
}
#endif
