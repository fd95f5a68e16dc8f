#include "sortrun.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace model;
using namespace std::chrono_literals;

#ifndef _WIN32
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

// Where a file system refuses RENAME_NOREPLACE (NFS, many FUSE mounts) a move links, then
// unlinks. Set, these make this process's file system one of them, and let another program act
// on the moving file's name between the link and the unlink. A flaky share may lose the reply
// to a call it carried out (`lie`: what a rename, a link or an unlink that happened reports), or
// break a listing off after its last entry, once. Its listings may resume each batch by its
// position in the folder as it is then, and may give every inode as FUSE's "unknown".
static bool refuseNoReplace = false, breakListing = false, resumeByPosition = false,
            unknownInodes = false;
// Escape pressed while the listing is read: a read after it breaks the listing off.
static std::stop_source *escapeWhileListing = nullptr;
static int lie = 0;
static std::function<void(const char *from)> afterLink;

static int reported(long result) {
    errno = result == 0 && lie ? lie : errno;
    return result == 0 && lie ? -1 : static_cast<int>(result);
}

extern "C" int renameat2(int fromAt, const char *from, int toAt, const char *to,
                         unsigned flags) noexcept {
    errno = EINVAL;
    return refuseNoReplace && (flags & RENAME_NOREPLACE)
               ? -1
               : reported(::syscall(SYS_renameat2, fromAt, from, toAt, to, flags));
}

extern "C" int unlinkat(int at, const char *name, int flags) noexcept {
    return reported(::syscall(SYS_unlinkat, at, name, flags));
}

// The next entry of a listing that resumes every four entries by its position in the folder as
// the folder is then; one listing at a time.
static dirent *atPosition(DIR *listing, dirent *(*next)(DIR *)) {
    static long position = 0;
    static DIR *batch = nullptr;
    if (position++ % 4 == 0) {
        batch = batch ? (closedir(batch), nullptr) : nullptr;
        batch = fdopendir(openat(dirfd(listing), ".", O_RDONLY | O_DIRECTORY));
        for (long skipped = 1; skipped < position && next(batch); ++skipped)
            ;
    }
    dirent *const found = next(batch);
    position = found ? position : 0;
    return found;
}

extern "C" dirent *readdir(DIR *listing) noexcept {
    static const auto next = reinterpret_cast<dirent *(*)(DIR *)>(dlsym(RTLD_NEXT, "readdir"));
    if (escapeWhileListing && !escapeWhileListing->request_stop())
        return errno = EIO, nullptr;
    dirent *const found = resumeByPosition ? atPosition(listing, next) : next(listing);
    errno = !found && std::exchange(breakListing, false) ? EIO : errno;
    if (found && unknownInodes)
        found->d_ino = 0xffffffff;
    return found;
}

// A link whose target the share cannot reach at the moment.
extern "C" int fstatat(int at, const char *name, struct stat *status, int flags) noexcept {
    if (name == unreadable && !(flags & AT_SYMLINK_NOFOLLOW))
        return errno = EIO, -1;
    return static_cast<int>(::syscall(SYS_newfstatat, at, name, status, flags));
}

extern "C" int linkat(int fromAt, const char *from, int toAt, const char *to, int flags) noexcept {
    const auto linked = ::syscall(SYS_linkat, fromAt, from, toAt, to, flags);
    if (linked == 0 && afterLink)
        std::exchange(afterLink, {})(from);
    return reported(linked);
}
#endif

// The log of a run of the folder typed as `typed` (`dir` itself, unless given) started an hour
// ago, worded as the model words it, with what the model foretells befalling its files.
static Lines logOf(const fs::path &dir, std::string typed = {}, std::stop_token stop = {}) {
    Lines lines;
    std::vector<std::ifstream> open;
    const auto log = [&](std::string_view line) {
        lines.push_back(worded(std::string(line), "36\\d\\d\\.\\d\\d"));
    };
    pallimor::sortDirectory(typed.empty() ? pallimor::utf8FromPath(dir) : typed,
                            std::chrono::steady_clock::now() - 1h, log,
                            {.stop = stop, .beforeEachMove = [&](const fs::path &name) {
                                 befall(dir, dir / name, open);
                             }});
    return lines;
}

// No move has begun at start-up. Then runs, one after another in this process: over a directory
// that cannot be listed, whose name must not break the line either; over one whose only file is
// held, before any move (on Linux stopped while it is listed, then its listing broken off after
// that file) and again after all others; over one whose every move fails at its folder, the
// first moves tried; and over generated directories past MAX_PATH, every log line in listing
// order and the tree after it as the model foretells, the flag carried from run to run. The first
// two directories also hold a file of each extension of the catalogue, with every switch off,
// then on; the others switch each category on by chance. Each is typed as its full path, relative
// to the working folder, as that folder itself ("." or "C:"), with forward slashes and a trailing
// one, on Windows in the verbatim form, or longer than any one path may be (PATH_MAX), from a
// working folder whose own file stays. On Linux every other one is on a file system that refuses
// a no-replace rename and lists FUSE's unknown inode, most have renames or unlinks that happened
// report a failure, every third is listed as a share that resumes by position, and every fifth
// has a link it cannot follow. PALLIMOR_SEEDS sets the number of directories.
TEST(Run, EveryFileEndsWhereTheRulesSayAndLogsOneLine) {
    const char *seeds = std::getenv("PALLIMOR_SEEDS");
    const Scratch scratch("pallimor-run");
    const fs::path &root = scratch.deep, home = fs::current_path(), held = scratch.top / "held",
                   blocked = scratch.top / "blocked";
    const fs::path missing = scratch.top / "missing\nfolder";
    EXPECT_EQ(logOf(missing),
              (Lines{"Result Summary: ",
                     "Error listing directory " + shown(pallimor::utf8FromPath(missing)) + ": ",
                     "There is currently no Files to Sort."}));
    write(held / "setup.ini", "keep");
    write(blocked / "Plain-Files", "keep");
    Lines brokenOff = replay(held).first;
#ifndef _WIN32
    std::stop_source escape;
    escapeWhileListing = &escape;
    EXPECT_EQ(
        logOf(held, {}, escape.get_token()),
        (Lines{"Result Summary: ", "Process Stopped: files not yet examined stay where they are.",
               "There is currently no Files to Sort."}));
    escapeWhileListing = nullptr;
    brokenOff.insert(brokenOff.end() - 1, "Error listing directory " + held.string() + ": ");
    breakListing = true;
#endif
    EXPECT_EQ(logOf(held), brokenOff);
    EXPECT_EQ(replay(blocked).first, logOf(blocked));
    const std::string full = pallimor::utf8FromPath(root),
                      drive = full.substr(0, full.find(':') + 1);
    const std::string slashes = std::regex_replace(full, std::regex("\\\\"), "/") + "/";
    Lines forms = {full, pallimor::utf8FromPath(root.filename()), drive.empty() ? "." : drive};
    forms.insert(forms.end(), {slashes, drive.empty() ? full : "\\\\?\\" + full, full});
    while (forms[5].size() <= 4096)
        forms[5] += "/.";
    write(scratch.top / "own.jpg", "own");
    for (unsigned seed = 0; seed < (seeds ? std::stoul(seeds) : 40u) && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        for (auto &[category, held] : pallimor::FileCategory)
            held = seed < 2 ? seed == 1 : random() % 5 < 2;
        const auto fillAfresh = [&, random] {
            fill(root, random, {"keep", "keep", "vanish", "race", "drop", "open"});
            for (const auto &row : readTable("catalogue.txt"))
                if (seed < 2)
                    write(root / ("file" + row[0]), "keep file" + row[0]);
        };
#ifndef _WIN32
        unreadable = seed % 5 == 4 ? "linked.txt" : "";
#endif
        fillAfresh();
        const auto [lines, tree] = replay(root, forms[seed % 6]);
        fillAfresh();
        fs::current_path(seed % 6 == 2 ? root : seed % 6 == 1 ? root.parent_path() : scratch.top);
#ifndef _WIN32
        refuseNoReplace = unknownInodes = seed % 2;
        resumeByPosition = seed % 3 == 0;
        lie = std::array{0, EIO, EIO, ENOENT}[seed % 4];
#endif
        EXPECT_EQ(logOf(root, forms[seed % 6]), lines);
        fs::current_path(home);
        EXPECT_EQ(snapshot(root), tree);
    }
    EXPECT_EQ(replay(held).first, logOf(held));
    EXPECT_EQ(children(scratch.top).size(), 4u);
}

// Another program takes each name a run may choose, from the moment the run is about to choose
// it: 1,500 files whose numbered names are each other's, on a file system that renames without
// replacing, and on Linux on one that must link and unlink, where a download is also renamed
// onto a file between the two. Every byte of every file is still there after.
TEST(Run, ANameTakenDuringTheMoveIsNeverReplaced) {
    const Scratch scratch("pallimor-race");
    const auto nameOf = [](int file) { return "r" + std::to_string(file) + ".txt"; };
    for ([[maybe_unused]] const bool refused : {false, true}) {
        // A download waiting to be renamed into place.
        std::multiset<std::string> kept = {write(scratch.deep / ".part", "download")};
        for (int file = 0; file < 1500; ++file)
            kept.insert(write(scratch.deep / nameOf(file), nameOf(file)));
        std::atomic<int> about{-1}; // the file about to move, then -2 once the run is over
        std::thread racer([&] {
            const fs::path taker = scratch.top / "taker", folder = scratch.deep / "Documents/Txt";
            fs::create_directories(folder);
            for (int taken = -1, raced = 0; taken != -2;
                 write(taker, "raced " + std::to_string(raced)))
                if (const int file = about; file != taken && (taken = file) >= 0) {
                    const auto until = std::chrono::steady_clock::now() + file % 64 * 50ns;
                    while (std::chrono::steady_clock::now() < until)
                        ;
                    std::error_code taking;
                    if (fs::create_hard_link(taker, folder / nameOf(file), taking), !taking)
                        kept.insert("raced " + std::to_string(raced++)), fs::remove(taker);
                }
            fs::remove(taker);
        });
#ifndef _WIN32
        refuseNoReplace = refused;
        afterLink = [&](const char *from) {
            fs::rename(scratch.deep / ".part", scratch.deep / from);
        };
#endif
        pallimor::sortDirectory(pallimor::utf8FromPath(scratch.deep), {}, [](std::string_view) {},
                                {.beforeEachMove = [&](const fs::path &name) {
                                    about = std::stoi(name.string().substr(1));
                                }});
        about = -2;
        racer.join();
        EXPECT_EQ(contents(snapshot(scratch.deep)), kept);
        removeTree(scratch.deep);
    }
}

#ifdef _WIN32
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
}
#endif
