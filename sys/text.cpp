#include "sys/text.h"

#include "sys/sys.h"

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

std::string RandomHex(std::size_t count) {
    std::string bytes(count, '\0');
    return RandomBytes(bytes.data(), count) ? HexText(bytes) : std::string();
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsUtf8(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t extra;
        unsigned long code;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF)
            extra = 1, code = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2, code = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3, code = c & 0x07;
        else
            return false;
        if (i + extra >= bytes.size())
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string DecodeFileText(const std::string& bytes) {
    if (IsUtf8(bytes))
        return bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
    return AnsiToUtf8(bytes);
}

std::string TrimSystemText(std::string text) {
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace sys
