#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// The engine's only contact with what differs between platforms: how its UTF-8 text becomes a
// native path and back, and the one rename that must never replace.
namespace pallimor {

std::filesystem::path pathFromUtf8(const std::string &utf8);

// False where the system would reach another path than the text names: Windows drops a trailing
// blank or dot from a path, but not from the folder paths a run builds on it.
bool isTakenLiterally(const std::string &utf8);

// Bytes that cannot be shown as text are replaced; use the path itself, not this, to reach the
// file.
std::string utf8FromPath(const std::filesystem::path &path);

// The error's description for a log line: UTF-8 text on one line.
std::string messageOf(const std::error_code &error);

// Renames `from` to `to` unless something already exists at `to`, as one atomic step.
// A taken name gives std::errc::file_exists.
std::error_code moveWithoutReplacing(const std::filesystem::path &from,
                                     const std::filesystem::path &to);

} // namespace pallimor
