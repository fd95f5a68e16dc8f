#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace pallimor {

// Only ASCII letters fold: the bytes of other characters are left as they are, so a name that
// is not valid UTF-8 still folds without being decoded.
constexpr char asciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char asciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string toAsciiLower(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), asciiLower);
    return lowered;
}

inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

struct IgnoreAsciiCaseLess {
    using is_transparent = void;

    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(asciiLower(x)) <
                                                       static_cast<unsigned char>(asciiLower(y));
                                            });
    }
};

} // namespace pallimor
