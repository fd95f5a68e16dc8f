#pragma once

#include "asciicase.h"

#include <map>
#include <string>
#include <vector>

namespace pallimor {

// An extension means one thing whatever its letter case, so the catalogue is searched that way.
using ExtensionCatalogue = std::map<std::string, std::string, IgnoreAsciiCaseLess>;

// Extension (with its dot) to category name.
extern const ExtensionCatalogue CATEGORIES;

// Category name to switch: true keeps the category's files where they are.
using Switches = std::map<std::string, bool>;
extern Switches FileCategory;

// Extensions whose files are never moved.
extern const std::vector<std::string> CRITICAL_FILES;
extern const std::vector<std::string> EXCEPTIONS;

// Becomes true at the first move attempt of the process and stays true.
extern bool hasSortProcessStarted;

} // namespace pallimor
