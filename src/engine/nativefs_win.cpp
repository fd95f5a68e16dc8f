#include "nativefs.h"

#include "nativefs_shared.h"

#include <memory>

#include <windows.h>

namespace pallimor {

namespace fs = std::filesystem;

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

ListedType typeOf(const WIN32_FIND_DATAW &data) {
    const DWORD attributes = data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ListedType::Other;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) || isFileWithDataElsewhere(data.dwReserved0))
        return ListedType::File;
    // Only a symbolic link is followed to what it names.
    return data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ? ListedType::LookedUp : ListedType::Other;
}

} // namespace

std::filesystem::path pathFromUtf8(const std::string &utf8) {
    return fs::path(wideFromUtf8(utf8));
}

std::string utf8FromPath(const std::filesystem::path &path) {
    return utf8FromWide(path.native());
}

bool endsWithSeparator(std::string_view path) {
    return path.ends_with('/') || path.ends_with('\\');
}

bool isDriveRelative(std::string_view path) {
    return path.size() == 2 && path[1] == ':';
}

std::string_view lastComponent(std::string_view path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
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

std::error_code SortedDirectory::list(Listing &listing, const std::stop_token &stop) const {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(joined(root, L"*").c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // The root of an empty drive holds not even "." and "..".
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND ? std::error_code() : errorOf(code);
    }
    const std::unique_ptr<void, decltype(&FindClose)> closer(find, FindClose);
    do {
        if (stop.stop_requested())
            return std::make_error_code(std::errc::operation_canceled);
        if (!isDotOrDotDot(data.cFileName))
            listing.add(data.cFileName, typeOf(data),
                        data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    } while (FindNextFileW(find, &data));
    const DWORD code = GetLastError();
    return code == ERROR_NO_MORE_FILES ? std::error_code() : errorOf(code);
}

DirectoryEntry SortedDirectory::examine(const Listing::Entry &listed) const {
    DirectoryEntry entry{listed.name, listed.type == ListedType::File, listed.isHidden, {}};
    if (listed.type != ListedType::LookedUp)
        return entry;
    const HANDLE target = CreateFileW(joined(root, entry.name).c_str(), 0,
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

std::error_code SortedDirectory::makeFolder(const fs::path &relative) const {
    if (CreateDirectoryW(joined(root, relative).c_str(), nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS)
        return {};
    return lastError();
}

std::error_code SortedDirectory::checkIsFolder(const fs::path &relative) const {
    const DWORD attributes = GetFileAttributesW(joined(root, relative).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::make_error_code(std::errc::not_a_directory);
    return {};
}

std::error_code SortedDirectory::moveWithoutReplacing(const fs::path &name,
                                                      const fs::path &to) const {
    // Without MOVEFILE_REPLACE_EXISTING the call refuses a taken name instead of replacing it.
    if (MoveFileExW(joined(root, name).c_str(), joined(root, to).c_str(), 0))
        return {};
    return lastError();
}

} // namespace pallimor
