#pragma once

#include <string>
#include <string_view>

namespace pallimor {

// A name as a log line shows it, escaped, so that no file name can split the line, fake another
// or pass one kind of file off as another.
std::string escapeLineBreakers(std::string_view text);

} // namespace pallimor
