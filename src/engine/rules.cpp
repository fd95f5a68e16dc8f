#include "rules.h"

#include "asciicase.h"
#include "catalogue.h"
#include "nativefs.h"

#include <algorithm>
#include <vector>

namespace pallimor {

namespace {

bool holdsIgnoringAsciiCase(const std::vector<std::string> &list, std::string_view extension) {
    return std::any_of(list.begin(), list.end(), [extension](const std::string &entry) {
        return equalsIgnoringAsciiCase(entry, extension);
    });
}

// A switch that is absent holds nothing back.
bool isHeld(const Switches &switches, const std::string &category) {
    const auto entry = switches.find(category);
    return entry != switches.end() && entry->second;
}

std::string extensionFolder(std::string_view extension) {
    std::string folder = toAsciiLower(extension.substr(1));
    folder.front() = asciiUpper(folder.front());
    return folder;
}

} // namespace

std::string getFileExtension(std::string_view filepath) {
    const std::string_view name = lastComponent(filepath);
    if (name == "." || name == "..")
        return {};
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return std::string(name.substr(dot));
}

bool isHiddenFile(std::string_view filename) {
    return !filename.empty() && filename.front() == '.';
}

bool isCriticalFile(std::string_view filename) {
    return holdsIgnoringAsciiCase(CRITICAL_FILES, getFileExtension(filename));
}

bool isException(std::string_view filename) {
    return holdsIgnoringAsciiCase(EXCEPTIONS, getFileExtension(filename));
}

bool isPlainFile(std::string_view filepath) {
    return getFileExtension(filepath).empty();
}

bool isNotIncluded(std::string_view filename, const Switches &switches) {
    const auto entry = CATEGORIES.find(getFileExtension(filename));
    return entry != CATEGORIES.end() && isHeld(switches, entry->second);
}

std::string categorizeFile(std::string_view filepath) {
    const std::string extension = getFileExtension(filepath);
    if (extension.empty())
        return "Plain-Files";
    const auto entry = CATEGORIES.find(extension);
    if (entry == CATEGORIES.end())
        return "Uncategorized";
    return entry->second + "/" + extensionFolder(extension);
}

Placement placementOf(std::string_view filename, const Switches &switches) {
    // Left alone by name: not even counted.
    if (filename == "Pallimor.cpp" || isCriticalFile(filename) || isHiddenFile(filename))
        return {Placement::LeftAlone, {}};
    if ((isPlainFile(filename) && isHeld(switches, "Plain-Files")) ||
        isNotIncluded(filename, switches) || isException(filename))
        return {Placement::Held, {}};
    return {Placement::Moved, categorizeFile(filename)};
}

} // namespace pallimor
