#include "nativefs.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pallimor {

#ifdef _WIN32

std::filesystem::path pathFromUtf8(const std::string &utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int wideSize = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wideSize);
    return std::filesystem::path(std::move(wide));
}

bool isTakenLiterally(const std::string &utf8) {
    const auto last = utf8.find_last_of("/\\") + 1;
    const std::string_view name = std::string_view(utf8).substr(last);
    return name.empty() || name == "." || name == ".." ||
           (name.back() != ' ' && name.back() != '.');
}

namespace {

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

} // namespace

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

std::error_code moveWithoutReplacing(const std::filesystem::path &from,
                                     const std::filesystem::path &to) {
    // Without MOVEFILE_REPLACE_EXISTING the call refuses a taken name instead of replacing it.
    if (MoveFileExW(from.c_str(), to.c_str(), 0))
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return std::make_error_code(std::errc::file_exists);
    return {static_cast<int>(error), std::system_category()};
}

#else

std::filesystem::path pathFromUtf8(const std::string &utf8) {
    return std::filesystem::path(utf8);
}

bool isTakenLiterally(const std::string &) {
    return true;
}

std::string utf8FromPath(const std::filesystem::path &path) {
    return path.native();
}

std::string messageOf(const std::error_code &error) {
    return error.message();
}

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// For file systems that refuse RENAME_NOREPLACE: link() refuses a taken name just as atomically.
std::error_code linkThenUnlink(const char *from, const char *to) {
    if (::link(from, to) != 0)
        return lastError();
    if (::unlink(from) != 0) {
        const std::error_code error = lastError();
        ::unlink(to);
        return error;
    }
    return {};
}

} // namespace

std::error_code moveWithoutReplacing(const std::filesystem::path &from,
                                     const std::filesystem::path &to) {
    // A plain rename() would silently replace a file that appeared at `to` after any check.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS)
        return linkThenUnlink(from.c_str(), to.c_str());
    return lastError();
}

#endif

} // namespace pallimor
