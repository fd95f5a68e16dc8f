#include "asciicase.h"
#include "catalogue.h"
#include "rules.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

// Feeds arbitrary bytes to the classification rules. The first byte sets the category switches,
// the rest is the name. Any broken invariant aborts, which libFuzzer reports with the input; an
// exception escaping a rule ends in std::terminate and is reported the same way.
using namespace pallimor;

namespace {

void require(bool holds) {
    if (!holds)
        std::abort();
}

std::string_view lastComponent(std::string_view path) {
    const auto separator = path.find_last_of('/');
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

void setSwitches(std::uint8_t bits) {
    const char *const names[] = {"Documents",
                                 "Images",
                                 "Audios",
                                 "Videos",
                                 "Executables",
                                 "Shortcuts",
                                 "Programming-Languages",
                                 "Plain-Files"};
    for (int i = 0; i < 8; ++i)
        FileCategory[names[i]] = (bits >> i) & 1U;
}

void checkExtension(std::string_view name, const std::string &extension) {
    const std::string_view component = lastComponent(name);
    if (extension.empty()) {
        const auto dot = component.rfind('.');
        require(dot == std::string_view::npos || dot == 0 || component == "..");
        return;
    }
    require(extension.front() == '.');
    require(extension.find('.', 1) == std::string::npos);
    require(extension.size() < component.size());
    require(component.substr(component.size() - extension.size()) == extension);
    require(getFileExtension("some.dir/" + std::string(component)) == extension);
}

bool isCategoryName(std::string_view name) {
    static const std::set<std::string, std::less<>> names = [] {
        std::set<std::string, std::less<>> values;
        for (const auto &[extension, category] : CATEGORIES)
            values.insert(category);
        return values;
    }();
    return names.count(name) != 0;
}

// "Plain-Files", "Uncategorized" or category + "/" + the extension folder; never a path that
// climbs out of the sorted directory or goes deeper.
void checkCategoryPath(std::string_view name, const std::string &extension) {
    const std::string path = categorizeFile(name);
    if (extension.empty()) {
        require(path == "Plain-Files");
        return;
    }
    const auto entry = CATEGORIES.find(extension);
    if (entry == CATEGORIES.end()) {
        require(path == "Uncategorized");
        return;
    }
    const auto slash = path.find('/');
    require(slash != std::string::npos);
    const std::string_view category = std::string_view(path).substr(0, slash);
    const std::string_view folder = std::string_view(path).substr(slash + 1);
    require(isCategoryName(category) && category == entry->second);
    require(!folder.empty() && folder.find('/') == std::string_view::npos);
    require(folder != "." && folder != "..");
    require(equalsIgnoringAsciiCase(folder, extension.substr(1)));
    require(asciiUpper(folder.front()) == folder.front());
    require(
        std::none_of(folder.begin() + 1, folder.end(), [](char c) { return asciiLower(c) != c; }));
    // A file held back by its switch is one that would be filed under that switch's category.
    require(isNotIncluded(name) == FileCategory.at(std::string(category)));
}

void checkFlags(std::string_view name, const std::string &extension) {
    require(isHiddenFile(name) == (!name.empty() && name.front() == '.'));
    require(isPlainFile(name) == extension.empty());
    if (isCriticalFile(name) || isException(name))
        require(!extension.empty() && CATEGORIES.find(extension) == CATEGORIES.end());
    if (isNotIncluded(name))
        require(CATEGORIES.find(extension) != CATEGORIES.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    setSwitches(data[0]);
    const std::string_view name(reinterpret_cast<const char *>(data) + 1, size - 1);
    const std::string extension = getFileExtension(name);
    checkExtension(name, extension);
    checkCategoryPath(name, extension);
    checkFlags(name, extension);
    return 0;
}
