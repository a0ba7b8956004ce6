#include "sys/text.h"

namespace sys {

namespace {

// Latin-1 letters U+00C0..U+00DE (upper) and U+00E0..U+00FE (lower) are C3 80..9E / C3 A0..BE
// in UTF-8; U+00D7 and U+00F7 are the multiplication and division signs, not letters.
std::string MapCase(std::string text, bool toUpper) {
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (toUpper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z')) {
            text[i] = static_cast<char>(toUpper ? c - 0x20 : c + 0x20);
        } else if (c == 0xC3 && i + 1 < text.size()) {
            auto next = static_cast<unsigned char>(text[i + 1]);
            if (toUpper && next >= 0xA0 && next <= 0xBE && next != 0xB7)
                text[i + 1] = static_cast<char>(next - 0x20);
            else if (!toUpper && next >= 0x80 && next <= 0x9E && next != 0x97)
                text[i + 1] = static_cast<char>(next + 0x20);
            ++i;
        }
    }
    return text;
}

} // namespace

long ReadDecimal(const std::string& text) {
    constexpr long maxValue = 2147483647L;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        value = value > (maxValue - digit) / 10 ? maxValue : value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string LowerCase(std::string text) {
    return MapCase(std::move(text), false);
}
std::string UpperCase(std::string text) {
    return MapCase(std::move(text), true);
}

std::string HexText(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

} // namespace sys
