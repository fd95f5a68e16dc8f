#pragma once

#include <string>

// What the platform files of the native layer share, and nothing else includes.
namespace pallimor {

// An empty text would reach the current directory, and one cut short by a NUL in the system
// call some other directory.
inline bool isWholeText(const std::string &utf8) {
    return !utf8.empty() && utf8.find('\0') == std::string::npos;
}

template <typename Char> bool isDotOrDotDot(const Char *name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

} // namespace pallimor
