#include "sortrun.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

// Where a file system refuses RENAME_NOREPLACE (NFS, many FUSE mounts) a move links, then
// unlinks. Set, these make this process's file system one of them, and let another program act
// between the link and the unlink.
static bool refuseNoReplace = false;
static std::function<void()> afterLink;

extern "C" int renameat2(int fromDir, const char *from, int toDir, const char *to,
                         unsigned flags) noexcept {
    if (refuseNoReplace && (flags & RENAME_NOREPLACE)) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

extern "C" int linkat(int fromDir, const char *from, int toDir, const char *to,
                      int flags) noexcept {
    const auto linked = static_cast<int>(::syscall(SYS_linkat, fromDir, from, toDir, to, flags));
    if (afterLink)
        std::exchange(afterLink, {})();
    return linked;
}
#endif

using namespace model;

// The log of a run of the folder typed as `typed` (`dir`, unless given) started an hour ago,
// worded as the model words it, with what the model foretells befalling its files.
static Lines logOf(const fs::path &dir, std::string typed = {}) {
    Lines lines;
    std::vector<std::ifstream> open;
    const auto log = [&](std::string_view line) {
        lines.push_back(worded(std::string(line), "36\\d\\d\\.\\d\\d"));
    };
    const auto befallen = [&](const fs::path &name) { befall(dir, dir / name, open); };
    pallimor::sortDirectory(typed.empty() ? pallimor::utf8FromPath(dir) : typed,
                            std::chrono::steady_clock::now() - std::chrono::hours(1), log,
                            befallen);
    return lines;
}

// Takes `path` for `content` unless something is there, as one step, as a browser finishing a
// download or a sync client would.
static bool createNew(const fs::path &path, const std::string &content) {
#ifdef _WIN32
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    const bool created = file != INVALID_HANDLE_VALUE;
    if (created && WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr))
        CloseHandle(file);
#else
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const bool created = file >= 0;
    if (created && ::write(file, content.data(), content.size()) >= 0)
        ::close(file);
#endif
    return created;
}

// Start-up holds no category and no move has begun. Then runs, one after another in this
// process, over generated directories past MAX_PATH, every log line in listing order and the
// tree after it as the model foretells, the flag carried from run to run. The first two
// directories also hold a file of each extension of the catalogue, with every switch off, then
// on; the others switch each category on by chance. Each is typed as its full path, relative to
// the working folder, or as that folder itself; on Linux every other one is on a file system
// that refuses a no-replace rename. PALLIMOR_SEEDS sets the number of directories.
TEST(Run, EveryFileEndsWhereTheRulesSayAndLogsOneLine) {
    EXPECT_EQ(pallimor::CATEGORIES.size(), 368u);
    EXPECT_FALSE(std::ranges::any_of(pallimor::FileCategory, [](auto &c) { return c.second; }));
    EXPECT_FALSE(pallimor::hasSortProcessStarted);
    const char *seeds = std::getenv("PALLIMOR_SEEDS");
    const Scratch scratch("pallimor-run");
    const fs::path &root = scratch.deep, home = fs::current_path();
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
        const std::string drive = pallimor::utf8FromPath(root.root_name());
        const std::string typed[] = {pallimor::utf8FromPath(root),
                                     pallimor::utf8FromPath(root.filename()),
                                     drive.empty() ? "." : drive};
        fs::current_path(seed % 3 == 2 ? root : seed % 3 ? root.parent_path() : scratch.top);
#ifndef _WIN32
        refuseNoReplace = seed % 2;
#endif
        const auto [lines, tree] = replay(root, typed[seed % 3]);
        EXPECT_EQ(logOf(root, typed[seed % 3]), lines);
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
    EXPECT_EQ(pallimor::hasSortProcessStarted, started);
}

// Another program takes each name a run may choose, from the moment the run is about to choose
// it: 1,500 files whose numbered names are each other's, on a file system that renames without
// replacing and on one that must link and unlink. Every byte of every file is still there.
TEST(Run, ANameTakenDuringTheMoveIsNeverReplaced) {
    const Scratch scratch("pallimor-race");
    for ([[maybe_unused]] const bool refused : {false, true}) {
        std::multiset<std::string> contents;
        for (int i = 0; i < 1500; ++i) {
            const std::string name = "r" + (i ? std::to_string(i) : "") + ".txt";
            write(scratch.deep / name, name);
            contents.insert(name);
        }
        fs::create_directories(scratch.deep / "Documents" / "Txt");
        std::atomic<int> about{-1};
        std::atomic<bool> done{false};
        std::thread racer([&] {
            for (int taken = -1; !done;) {
                const int file = about.load();
                if (file == taken)
                    continue;
                taken = file;
                for (const auto until = std::chrono::steady_clock::now() +
                                        std::chrono::nanoseconds(file % 64 * 50);
                     std::chrono::steady_clock::now() < until;)
                    ;
                const std::string name = "r" + (file ? std::to_string(file) : "") + ".txt";
                if (createNew(scratch.deep / "Documents" / "Txt" / name, "raced " + name))
                    contents.insert("raced " + name);
            }
        });
#ifndef _WIN32
        refuseNoReplace = refused;
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
// A file renamed onto the one being moved, between the link and the unlink, is another file:
// it stays, and the moved one is safe in its folder.
TEST(Run, AFileRenamedOntoTheMovingOneStays) {
    const Scratch scratch("pallimor-fallback");
    write(scratch.deep / "x.pdf", "listed");
    write(scratch.deep / ".x.pdf.part", "downloaded");
    refuseNoReplace = true;
    afterLink = [&] { fs::rename(scratch.deep / ".x.pdf.part", scratch.deep / "x.pdf"); };
    logOf(scratch.deep);
    EXPECT_EQ(snapshot(scratch.deep), (Tree{{"Documents", "/"},
                                            {"Documents/Pdf", "/"},
                                            {"Documents/Pdf/x.pdf", "listed"},
                                            {"x.pdf", "downloaded"}}));
}

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
// "Z:" is the current folder of drive Z; a numbered name may be a device's name; Explorer hides
// a hidden or system file, which stays where it is, uncounted.
TEST(Run, WindowsNamesAreTakenAsWritten) {
    const Scratch scratch("pallimor-windows");
    for (const char *name : {"com.txt", "Documents/Txt/com.txt", "Thumbs.db", "~$Report.docx"})
        write(scratch.deep / name, name);
    SetFileAttributesW((scratch.deep / "Thumbs.db").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((scratch.deep / "~$Report.docx").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const fs::path home = fs::current_path();
    fs::current_path(scratch.deep);
    const std::string drive = pallimor::utf8FromPath(scratch.deep.root_name());
    EXPECT_EQ(logOf(scratch.deep, drive),
              (Lines{"Result Summary: ",
                     "Moved: " + drive + "com.txt -> " + drive + "Documents/Txt/com1.txt",
                     "Process Finished in <seconds> seconds with 1 file(s)."}));
    fs::current_path(home);
    EXPECT_EQ(children(scratch.deep / "Documents" / "Txt"),
              (std::vector<fs::path>{"com.txt", "com1.txt"}));
    EXPECT_EQ(children(scratch.deep).size(), 3u);
}
#endif
