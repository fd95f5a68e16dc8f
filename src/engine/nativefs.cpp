#include "nativefs.h"

#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pallimor {

namespace fs = std::filesystem;

namespace {

// An empty text would reach the current directory, and one cut short by a NUL in the system
// call some other directory.
bool isWholeText(const std::string &utf8) {
    return !utf8.empty() && utf8.find('\0') == std::string::npos;
}

template <typename Char> bool isDotOrDotDot(const Char *name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

class KeptBothNames : public std::error_category {
public:
    const char *name() const noexcept override { return "kept both names"; }
    std::string message(int reason) const override {
        return "its old name could not be removed (" +
               messageOf({reason, std::generic_category()}) + ")";
    }
};

} // namespace

const std::error_category &keptBothNamesCategory() {
    static const KeptBothNames category;
    return category;
}

std::error_code SortedDirectory::createFolders(const fs::path &relative) const {
    fs::path folder;
    for (const fs::path &part : relative) {
        folder /= part;
        if (const std::error_code error = makeFolder(folder))
            return error;
    }
    return checkIsFolder(relative);
}

#ifdef _WIN32

namespace {

std::wstring wideFromUtf8(const std::string &utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int wideSize = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wideSize);
    return wide;
}

std::string utf8FromWide(const std::wstring &wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int utf8Size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), utf8Size, nullptr, nullptr);
    return utf8;
}

// Windows ends its messages with a full stop and a line break; the log line goes on after them.
std::wstring withoutEnding(std::wstring message) {
    const auto last = message.find_last_not_of(L" .\r\n");
    message.erase(last == std::wstring::npos ? 0 : last + 1);
    return message;
}

// The two failures the run acts on get their portable meaning; the rest keep Windows' words.
std::error_code errorOf(DWORD code) {
    switch (code) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return std::make_error_code(std::errc::file_exists);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return std::make_error_code(std::errc::no_such_file_or_directory);
    default:
        return {static_cast<int>(code), std::system_category()};
    }
}

std::error_code lastError() {
    return errorOf(GetLastError());
}

constexpr std::wstring_view verbatimPrefix = L"\\\\?\\";

// Windows drops a trailing blank or dot from every part of a path, so "a.\b" would reach "a\b",
// another folder than the user means; only the verbatim form keeps them.
bool isTakenLiterally(const std::string &utf8) {
    if (utf8.starts_with("\\\\?\\"))
        return true;
    for (std::size_t begin = 0; begin < utf8.size();) {
        const auto end = std::min(utf8.find_first_of("/\\", begin), utf8.size());
        const std::string_view part = std::string_view(utf8).substr(begin, end - begin);
        if (part != "." && part != ".." && (part.ends_with(' ') || part.ends_with('.')))
            return false;
        begin = end + 1;
    }
    return true;
}

// A verbatim path reaches Windows untouched, so it must already be what Windows would have made
// of it: backslashes only, and no "." or "..".
bool isVerbatimAsIs(std::wstring_view path) {
    if (path.find(L'/') != std::wstring_view::npos)
        return false;
    for (std::size_t begin = verbatimPrefix.size(); begin <= path.size();) {
        const auto end = std::min(path.find(L'\\', begin), path.size());
        const std::wstring_view part = path.substr(begin, end - begin);
        if (part == L"." || part == L"..")
            return false;
        begin = end + 1;
    }
    return true;
}

// Made absolute once ("C:" is the current folder of drive C, "\" the current drive's root) and
// written in the verbatim form, which no MAX_PATH limits and where no trailing dot or blank is
// dropped and no name is a device.
std::wstring verbatimOf(const std::wstring &typed, std::error_code &error) {
    if (typed.starts_with(verbatimPrefix)) {
        if (!isVerbatimAsIs(typed))
            error = std::make_error_code(std::errc::invalid_argument);
        return typed;
    }
    const DWORD size = GetFullPathNameW(typed.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? GetFullPathNameW(typed.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size) {
        error = lastError();
        return {};
    }
    full.resize(length);
    // "\\.\" names a device, not a folder.
    if (full.starts_with(L"\\\\.\\") || full.starts_with(verbatimPrefix))
        error = std::make_error_code(std::errc::invalid_argument);
    if (full.starts_with(L"\\\\"))
        return std::wstring(verbatimPrefix) + L"UNC" + full.substr(1);
    return std::wstring(verbatimPrefix) + full;
}

std::wstring joined(const std::wstring &folder, const fs::path &relative) {
    std::wstring path = folder;
    if (!path.ends_with(L'\\'))
        path += L'\\';
    for (const wchar_t c : relative.native())
        path += c == L'/' ? L'\\' : c;
    return path;
}

bool isMissingTarget(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
           code == ERROR_CANT_RESOLVE_FILENAME;
}

// Reparse points that are files whose data lie elsewhere or in a form of the system's own:
// cloud and sync placeholders, deduplicated, single-instance, hierarchical-storage, WIM-backed
// and system-compressed files. Every other one that is no folder (a socket, WSL's FIFOs, devices
// and links, an app alias, a link on an NFS share) is no file, as Linux sees those. None is ever
// opened here: opening a placeholder can fetch its data.
bool isFileWithDataElsewhere(DWORD tag) {
    switch (tag) {
    case IO_REPARSE_TAG_DEDUP:
    case IO_REPARSE_TAG_SIS:
    case IO_REPARSE_TAG_HSM:
    case IO_REPARSE_TAG_HSM2:
    case IO_REPARSE_TAG_WIM:
    case IO_REPARSE_TAG_WOF:
    case IO_REPARSE_TAG_FILE_PLACEHOLDER:
    case IO_REPARSE_TAG_ONEDRIVE:
    case IO_REPARSE_TAG_STORAGE_SYNC:
    case IO_REPARSE_TAG_PROJFS:
        return true;
    default:
        return (tag & ~DWORD(IO_REPARSE_TAG_CLOUD_MASK)) == DWORD(IO_REPARSE_TAG_CLOUD);
    }
}

// Only a symbolic link is followed to what it names.
DirectoryEntry entryOf(const WIN32_FIND_DATAW &data, const std::wstring &folder) {
    DirectoryEntry entry;
    entry.name = data.cFileName;
    const DWORD attributes = data.dwFileAttributes;
    entry.isHidden = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return entry;
    entry.isRegularFile =
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) || isFileWithDataElsewhere(data.dwReserved0);
    if (entry.isRegularFile || data.dwReserved0 != IO_REPARSE_TAG_SYMLINK)
        return entry;
    const HANDLE target = CreateFileW(joined(folder, entry.name).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information;
    if (target != INVALID_HANDLE_VALUE && GetFileInformationByHandle(target, &information))
        entry.isRegularFile = !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    else if (!isMissingTarget(GetLastError()))
        entry.typeError = lastError();
    if (target != INVALID_HANDLE_VALUE)
        CloseHandle(target);
    return entry;
}

} // namespace

std::filesystem::path pathFromUtf8(const std::string &utf8) {
    return fs::path(wideFromUtf8(utf8));
}

std::string utf8FromPath(const std::filesystem::path &path) {
    return utf8FromWide(path.native());
}

std::string messageOf(const std::error_code &error) {
    // The standard library words system errors in the narrow code page, which is not UTF-8.
    if (error.category() != std::system_category())
        return error.message();
    constexpr DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    wchar_t *text = nullptr;
    const DWORD size = FormatMessageW(flags, nullptr, static_cast<DWORD>(error.value()), 0,
                                      reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    if (size == 0)
        return error.message();
    std::wstring message(text, size);
    LocalFree(text);
    return utf8FromWide(withoutEnding(std::move(message)));
}

SortedDirectory::SortedDirectory(const std::string &utf8, std::error_code &error) {
    error.clear();
    if (!isWholeText(utf8) || !isTakenLiterally(utf8)) {
        error = std::make_error_code(std::errc::invalid_argument);
        return;
    }
    root = verbatimOf(wideFromUtf8(utf8), error);
    if (error)
        return;
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        error = lastError();
    else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        error = std::make_error_code(std::errc::not_a_directory);
}

SortedDirectory::~SortedDirectory() = default;

std::wstring SortedDirectory::verbatimPath(const fs::path &relative) const {
    return joined(root, relative);
}

std::error_code
SortedDirectory::forEachEntry(const std::function<bool(const DirectoryEntry &)> &visit) const {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(verbatimPath(L"*").c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // The root of an empty drive holds not even "." and "..".
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND ? std::error_code() : errorOf(code);
    }
    const std::unique_ptr<void, decltype(&FindClose)> listing(find, FindClose);
    do {
        if (!isDotOrDotDot(data.cFileName) && !visit(entryOf(data, root)))
            return {};
    } while (FindNextFileW(find, &data));
    const DWORD code = GetLastError();
    return code == ERROR_NO_MORE_FILES ? std::error_code() : errorOf(code);
}

std::error_code SortedDirectory::makeFolder(const fs::path &relative) const {
    if (CreateDirectoryW(verbatimPath(relative).c_str(), nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS)
        return {};
    return lastError();
}

std::error_code SortedDirectory::checkIsFolder(const fs::path &relative) const {
    const DWORD attributes = GetFileAttributesW(verbatimPath(relative).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::make_error_code(std::errc::not_a_directory);
    return {};
}

std::error_code SortedDirectory::moveWithoutReplacing(const DirectoryEntry &entry,
                                                      const fs::path &to) const {
    // Without MOVEFILE_REPLACE_EXISTING the call refuses a taken name instead of replacing it.
    if (MoveFileExW(verbatimPath(entry.name).c_str(), verbatimPath(to).c_str(), 0))
        return {};
    return lastError();
}

#else

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

DirectoryEntry entryOf(int directory, const dirent &found) {
    DirectoryEntry entry;
    entry.name = found.d_name;
    entry.inode = found.d_ino;
    entry.isRegularFile = found.d_type == DT_REG;
    if (found.d_type != DT_LNK && found.d_type != DT_UNKNOWN)
        return entry;
    struct stat status {};
    if (::fstatat(directory, found.d_name, &status, 0) == 0)
        entry.isRegularFile = S_ISREG(status.st_mode);
    else if (!isMissingTarget(errno))
        entry.typeError = lastError();
    return entry;
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

std::error_code
SortedDirectory::forEachEntry(const std::function<bool(const DirectoryEntry &)> &visit) const {
    const int opened = ::openat(descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, ListingCloser> listing(opened < 0 ? nullptr : ::fdopendir(opened));
    if (!listing) {
        const std::error_code error = lastError();
        if (opened >= 0)
            ::close(opened);
        return error;
    }
    for (;;) {
        errno = 0;
        const dirent *found = ::readdir(listing.get());
        if (!found)
            return errno ? lastError() : std::error_code();
        if (!isDotOrDotDot(found->d_name) && !visit(entryOf(descriptor, *found)))
            return {};
    }
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

std::error_code SortedDirectory::moveWithoutReplacing(const DirectoryEntry &entry,
                                                      const fs::path &to) const {
    const char *from = entry.name.c_str();
    // A plain rename would silently replace a file that appeared at `to` after any check.
    if (::renameat2(descriptor, from, descriptor, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS)
        return linkThenUnlink(from, to.c_str(), entry.inode);
    const std::error_code error = lastError();
    // A network file system may lose the reply to a rename that it carried out.
    return !names(from, entry.inode) && names(to.c_str(), entry.inode) ? std::error_code() : error;
}

// For file systems that refuse RENAME_NOREPLACE: link() refuses a taken name just as atomically.
// Once made, the new name is never removed: it may be the file's last one.
std::error_code SortedDirectory::linkThenUnlink(const char *from, const char *to,
                                                std::uint64_t inode) const {
    if (::linkat(descriptor, from, descriptor, to, 0) != 0) {
        const std::error_code error = lastError();
        // A lost reply may report a link that was made.
        if (!names(to, inode))
            return error;
    }
    // Another program may have put a new file at `from` since the link (a download renamed into
    // place): that one stays. Only this look lies between the check and the unlink.
    if (!names(from, inode) || ::unlinkat(descriptor, from, 0) == 0)
        return {};
    const int reason = errno;
    // An unlink that reports an error may have removed the name all the same.
    const bool hasBothNames = names(from, inode);
    return hasBothNames ? std::error_code(reason, keptBothNamesCategory()) : std::error_code();
}

bool SortedDirectory::names(const char *name, std::uint64_t inode) const {
    struct stat status {};
    return ::fstatat(descriptor, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && status.st_ino == inode;
}

#endif

} // namespace pallimor
