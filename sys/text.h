// Case mapping of UTF-8 text, as the system's ANSI calls (CharLower, CharUpper) do it: ASCII
// letters and the accented Latin-1 letters change, every other byte sequence is left as is.
#pragma once

#include <string>

namespace sys {

std::string LowerCase(std::string text);
std::string UpperCase(std::string text);

// A number as the run-time's atoi reads it: leading blanks skipped, an optional sign, then the
// digits; 0 without digits; a value out of range saturates.
long ReadDecimal(const std::string& text);

// Lower-case hexadecimal of raw bytes.
std::string HexText(const std::string& bytes);

} // namespace sys
