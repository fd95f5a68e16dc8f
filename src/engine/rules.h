#pragma once

#include "catalogue.h"

#include <string>
#include <string_view>

// The questions the sort run asks of one file name. Every rule but isHiddenFile looks only at
// the last component of its argument, so a bare name and a full path give the same answer.
namespace pallimor {

// From the last dot of the name to its end, dot included; empty when the name has no dot or
// its only dot is its first character.
std::string getFileExtension(std::string_view filepath);

bool isHiddenFile(std::string_view filename);
bool isCriticalFile(std::string_view filename);
bool isException(std::string_view filename);
bool isPlainFile(std::string_view filepath);

// True when the file's category is switched to stay in place.
bool isNotIncluded(std::string_view filename, const Switches &switches);

// The folder, relative to the sorted directory, that the file belongs in: "Images/Jpg",
// "Plain-Files" or "Uncategorized".
std::string categorizeFile(std::string_view filepath);

// What a run does with a regular file of this name. The run, the tests and the benchmark all ask
// here, so that the rules have one home.
struct Placement {
    enum Kind { LeftAlone, Held, Moved } kind;
    std::string categoryPath; // set when Moved
};
Placement placementOf(std::string_view filename, const Switches &switches = FileCategory);

} // namespace pallimor
