#include "nativefs.h"

#include "nativefs_shared.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pallimor {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

constexpr int reachOnly = O_PATH | O_DIRECTORY | O_CLOEXEC;

// One component at a time, so that a folder deeper than PATH_MAX is reached too.
int openDirectory(const std::string &path, std::error_code &error) {
    int descriptor = ::open(path.front() == '/' ? "/" : ".", reachOnly);
    for (std::size_t begin = 0; descriptor >= 0 && begin < path.size();) {
        const auto end = std::min(path.find('/', begin), path.size());
        const std::string part = path.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty())
            continue;
        const int next = ::openat(descriptor, part.c_str(), reachOnly);
        const int openError = errno;
        ::close(descriptor);
        descriptor = next;
        errno = openError;
    }
    if (descriptor < 0)
        error = lastError();
    return descriptor;
}

// Closes a listing however the walk over it ends, a throw included.
struct ListingCloser {
    void operator()(DIR *listing) const { ::closedir(listing); }
};

// A link to nothing, or through a file, names no file; that is no error.
bool isMissingTarget(int error) {
    return error == ENOENT || error == ELOOP || error == ENOTDIR;
}

ListedType typeOf(unsigned char listed) {
    switch (listed) {
    case DT_REG:
        return ListedType::File;
    case DT_LNK:
    case DT_UNKNOWN:
        return ListedType::LookedUp;
    default:
        return ListedType::Other;
    }
}

// A file as the file system knows it now, wherever its names are. Never the listing's inode:
// FUSE file systems list every entry's as "unknown".
struct FileIdentity {
    dev_t device = 0;
    ino_t node = 0;
    bool operator==(const FileIdentity &) const = default;
};

std::error_code identify(int directory, const char *name, FileIdentity &identity) {
    struct stat status {};
    if (::fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return lastError();
    identity = {status.st_dev, status.st_ino};
    return {};
}

bool names(int directory, const char *name, const FileIdentity &file) {
    FileIdentity found;
    return !identify(directory, name, found) && found == file;
}

// For file systems that refuse RENAME_NOREPLACE: link() refuses a taken name just as atomically.
// Once made, the new name is never removed: it may be the file's last one.
std::error_code linkThenUnlink(int directory, const char *from, const char *to,
                               const FileIdentity &file) {
    if (::linkat(directory, from, directory, to, 0) != 0) {
        const std::error_code error = lastError();
        // A lost reply may report a link that was made.
        if (!names(directory, to, file))
            return error;
    }
    // Another program may have put a new file at `from` since the link (a download renamed into
    // place): that one stays. Only this look lies between the check and the unlink.
    if (!names(directory, from, file) || ::unlinkat(directory, from, 0) == 0)
        return {};
    const int reason = errno;
    // An unlink that reports an error may have removed the name all the same.
    const bool hasBothNames = names(directory, from, file);
    return hasBothNames ? std::error_code(reason, keptBothNamesCategory()) : std::error_code();
}

} // namespace

std::filesystem::path pathFromUtf8(const std::string &utf8) {
    return fs::path(utf8);
}

std::string utf8FromPath(const std::filesystem::path &path) {
    return path.native();
}

std::string messageOf(const std::error_code &error) {
    return error.message();
}

bool endsWithSeparator(std::string_view path) {
    return path.ends_with('/');
}

bool isDriveRelative(std::string_view) {
    return false;
}

std::string_view lastComponent(std::string_view path) {
    const auto separator = path.find_last_of('/');
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

SortedDirectory::SortedDirectory(const std::string &utf8, std::error_code &error) {
    error.clear();
    if (!isWholeText(utf8)) {
        error = std::make_error_code(std::errc::invalid_argument);
        return;
    }
    descriptor = openDirectory(utf8, error);
}

SortedDirectory::~SortedDirectory() {
    if (descriptor >= 0)
        ::close(descriptor);
}

std::error_code SortedDirectory::list(Listing &listing, const std::stop_token &stop) const {
    const int opened = ::openat(descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, ListingCloser> directory(opened < 0 ? nullptr : ::fdopendir(opened));
    if (!directory) {
        const std::error_code error = lastError();
        if (opened >= 0)
            ::close(opened);
        return error;
    }
    while (!stop.stop_requested()) {
        errno = 0;
        const dirent *found = ::readdir(directory.get());
        if (!found)
            return errno ? lastError() : std::error_code();
        if (!isDotOrDotDot(found->d_name))
            listing.add(found->d_name, typeOf(found->d_type), false);
    }
    return std::make_error_code(std::errc::operation_canceled);
}

DirectoryEntry SortedDirectory::examine(const Listing::Entry &listed) const {
    DirectoryEntry entry{listed.name, listed.type == ListedType::File, listed.isHidden, {}};
    if (listed.type != ListedType::LookedUp)
        return entry;
    struct stat status {};
    if (::fstatat(descriptor, entry.name.c_str(), &status, 0) == 0)
        entry.isRegularFile = S_ISREG(status.st_mode);
    else if (!isMissingTarget(errno))
        entry.typeError = lastError();
    return entry;
}

std::error_code SortedDirectory::makeFolder(const fs::path &relative) const {
    if (::mkdirat(descriptor, relative.c_str(), 0777) == 0 || errno == EEXIST)
        return {};
    return lastError();
}

std::error_code SortedDirectory::checkIsFolder(const fs::path &relative) const {
    struct stat status {};
    if (::fstatat(descriptor, relative.c_str(), &status, 0) != 0)
        return lastError();
    if (!S_ISDIR(status.st_mode))
        return std::make_error_code(std::errc::not_a_directory);
    return {};
}

std::error_code SortedDirectory::moveWithoutReplacing(const fs::path &name,
                                                      const fs::path &to) const {
    const char *from = name.c_str();
    // Taken before the first attempt, so that every later look can tell this file from another.
    FileIdentity file;
    if (const std::error_code error = identify(descriptor, from, file))
        return error;
    // A plain rename would silently replace a file that appeared at `to` after any check.
    if (::renameat2(descriptor, from, descriptor, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS)
        return linkThenUnlink(descriptor, from, to.c_str(), file);
    const std::error_code error = lastError();
    // A network file system may lose the reply to a rename that it carried out.
    return !names(descriptor, from, file) && names(descriptor, to.c_str(), file) ? std::error_code()
                                                                                 : error;
}

} // namespace pallimor
