// Case mapping of UTF-8 text, as the system's ANSI calls (CharLower, CharUpper) do it: ASCII
// letters and the accented Latin-1 letters change, every other byte sequence is left as is.
#pragma once

#include <string>

namespace sys {

std::string LowerCase(std::string text);
std::string UpperCase(std::string text);

} // namespace sys
