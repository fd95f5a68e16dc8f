#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// The engine's only contact with what differs between platforms: how its UTF-8 text becomes a
// native name and back, how paths are spelt, and how the sorted directory is reached, listed and
// changed.
namespace pallimor {

std::filesystem::path pathFromUtf8(const std::string &utf8);

// Bytes that cannot be shown as text are replaced; use the path itself, not this, to reach the
// file.
std::string utf8FromPath(const std::filesystem::path &path);

// The error's description for a log line: UTF-8 text on one line.
std::string messageOf(const std::error_code &error);

// A moved file whose old name could not be removed, so that it has both; the value is the reason.
const std::error_category &keptBothNamesCategory();

// The path syntax of the platform, on UTF-8 text as the user typed it.
bool endsWithSeparator(std::string_view path);
// On Windows "C:" names the current folder of drive C, so what lies in it follows without a
// separator, which would name the drive's root instead.
bool isDriveRelative(std::string_view path);
std::string_view lastComponent(std::string_view path);

// What a listing says of an entry, before anything else is asked of it.
enum class ListedType : std::uint8_t {
    File,
    Other,    // a folder, a device, a socket: never sorted
    LookedUp, // a link, or a type the listing does not give: asked when the entry is examined
};

// The names and types of a directory as one listing gave them, in its order. Nothing held is
// ever copied to grow, so that a million entries take little more than their names at any time.
class Listing {
public:
    struct Entry {
        std::filesystem::path name;
        ListedType type;
        bool isHidden; // hidden by the platform itself: Windows' hidden or system mark
    };
    using Name = std::basic_string_view<std::filesystem::path::value_type>;

    void add(Name name, ListedType type, bool isHidden);
    std::size_t size() const { return records.size(); }
    Entry operator[](std::size_t index) const;

private:
    struct Record {
        std::uint32_t block, offset, length;
        ListedType type;
        bool isHidden;
    };
    std::vector<std::basic_string<std::filesystem::path::value_type>> blocks; // of names
    std::deque<Record> records;
};

// One entry lying directly in a directory, as it is when the run comes to it.
struct DirectoryEntry {
    std::filesystem::path name;
    bool isRegularFile = false; // links followed; a link to nothing is no file and no error
    bool isHidden = false;
    std::error_code typeError; // what kept its type from being read
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

    // Adds every entry but "." and ".." to `listing`, in listing order, until the listing ends
    // or `stop` is requested. The error is what broke the listing off, at its start or part-way.
    std::error_code list(Listing &listing, const std::stop_token &stop) const;

    // Asks what the listing left open of the entry's type, now.
    DirectoryEntry examine(const Listing::Entry &listed) const;

    // Makes the folder `relative` and its missing parents; fails unless a folder stands there.
    std::error_code createFolders(const std::filesystem::path &relative) const;

    // Renames the entry `name` to `to`, relative, unless something already exists at `to`, as
    // one atomic step. A taken name gives std::errc::file_exists, a missing folder or file
    // std::errc::no_such_file_or_directory. Never fails once the file is at `to` alone.
    std::error_code moveWithoutReplacing(const std::filesystem::path &name,
                                         const std::filesystem::path &to) const;

private:
    // Makes one folder whose parent exists; one that exists already is no error.
    std::error_code makeFolder(const std::filesystem::path &relative) const;
    std::error_code checkIsFolder(const std::filesystem::path &relative) const;

#ifdef _WIN32
    std::wstring root; // absolute, verbatim
#else
    int descriptor = -1;
#endif
};

} // namespace pallimor
