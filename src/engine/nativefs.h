#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

// The engine's only contact with what differs between platforms: how its UTF-8 text becomes a
// native name and back, and how the sorted directory is reached, listed and changed.
namespace pallimor {

std::filesystem::path pathFromUtf8(const std::string &utf8);

// Bytes that cannot be shown as text are replaced; use the path itself, not this, to reach the
// file.
std::string utf8FromPath(const std::filesystem::path &path);

// The error's description for a log line: UTF-8 text on one line.
std::string messageOf(const std::error_code &error);

// A moved file whose old name could not be removed, so that it has both; the value is the reason.
const std::error_category &keptBothNamesCategory();

// One entry lying directly in a directory.
struct DirectoryEntry {
    std::filesystem::path name;
    bool isRegularFile = false; // links followed; a link to nothing is no file and no error
    bool isHidden = false;      // hidden by the platform itself: Windows' hidden or system mark
    std::error_code typeError;  // what kept its type from being read
    std::uint64_t inode = 0;    // on Linux, to know the file again wherever a move left it
};

// The directory a run sorts, reached once from the text the user typed. Every later call goes
// through it with paths relative to it, so that its entries are reached at any depth and each
// under its own name: on Windows through verbatim (\\?\) paths, on Linux through the
// directory's own descriptor.
class SortedDirectory {
public:
    // Fails with the reason the text names no directory that a run may sort.
    SortedDirectory(const std::string &utf8, std::error_code &error);
    ~SortedDirectory();
    SortedDirectory(const SortedDirectory &) = delete;
    SortedDirectory &operator=(const SortedDirectory &) = delete;

    // Calls `visit` for each entry but "." and "..", in listing order, until it returns false.
    // The error is what broke the listing off, at its start or part-way.
    std::error_code forEachEntry(const std::function<bool(const DirectoryEntry &)> &visit) const;

    // Makes the folder `relative` and its missing parents; fails unless a folder stands there.
    std::error_code createFolders(const std::filesystem::path &relative) const;

    // Renames the entry to `to`, relative, unless something already exists at `to`, as one
    // atomic step. A taken name gives std::errc::file_exists, a missing folder or file
    // std::errc::no_such_file_or_directory. Never fails once the file is at `to` alone.
    std::error_code moveWithoutReplacing(const DirectoryEntry &entry,
                                         const std::filesystem::path &to) const;

private:
    // Makes one folder whose parent exists; one that exists already is no error.
    std::error_code makeFolder(const std::filesystem::path &relative) const;
    std::error_code checkIsFolder(const std::filesystem::path &relative) const;

#ifdef _WIN32
    std::wstring verbatimPath(const std::filesystem::path &relative) const;
    std::wstring root; // absolute, verbatim
#else
    std::error_code linkThenUnlink(const char *from, const char *to, std::uint64_t inode) const;
    bool names(const char *name, std::uint64_t inode) const;
    int descriptor = -1;
#endif
};

} // namespace pallimor
