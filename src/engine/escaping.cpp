#include "escaping.h"

#include <array>
#include <utility>

namespace pallimor {

namespace {

constexpr std::string_view hexDigits = "0123456789abcdef";

std::string escapedControl(unsigned char byte) {
    switch (byte) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return {'\\', 'x', hexDigits[byte >> 4], hexDigits[byte & 0xf]};
    }
}

std::string escapedCodePoint(char32_t codePoint) {
    const int digits = codePoint > 0xffff ? 8 : 4;
    std::string escaped = digits == 8 ? "\\U" : "\\u";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        escaped += hexDigits[(codePoint >> shift) & 0xf];
    return escaped;
}

// The code point that `text` starts with and its length in bytes; a length of 0 where the bytes
// are no UTF-8, which the pane shows as U+FFFD anyway.
std::pair<char32_t, std::size_t> firstCodePoint(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0xc2   ? 0
                               : lead < 0xe0 ? 2
                               : lead < 0xf0 ? 3
                               : lead < 0xf5 ? 4
                                             : 0;
    if (length == 0 || length > text.size())
        return {0, 0};
    char32_t codePoint = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xc0) != 0x80)
            return {0, 0};
        codePoint = codePoint << 6 | (next & 0x3f);
    }
    static constexpr std::array<char32_t, 5> least = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < least[length] || codePoint > 0x10ffff ||
        (codePoint >= 0xd800 && codePoint <= 0xdfff))
        return {0, 0};
    return {codePoint, length};
}

// Beyond ASCII, what ends, fakes or reorders a line on screen: C1 controls (U+0085 ends one),
// U+2028 and U+2029, the bidirectional marks and controls, and the noncharacters, of which the
// pane's document turns U+FDD0 and U+FDD1 into paragraph breaks.
bool isDisguising(char32_t c) {
    return c <= 0x9f || c == 0x061c || c == 0x200e || c == 0x200f || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) ||
           (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
}

} // namespace

std::string escapeLineBreakers(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) {
            shown += escapedControl(byte);
            ++i;
            continue;
        }
        const auto [codePoint, length] =
            byte < 0x80 ? std::pair<char32_t, std::size_t>{0, 0} : firstCodePoint(text.substr(i));
        if (length == 0) {
            shown += text[i];
            ++i;
            continue;
        }
        if (isDisguising(codePoint))
            shown += escapedCodePoint(codePoint);
        else
            shown.append(text, i, length);
        i += length;
    }
    return shown;
}

} // namespace pallimor
