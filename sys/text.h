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

// Text from a file as what it is: valid UTF-8 (a byte order mark dropped) as it stands, anything
// else in the Windows ANSI code page, turned into UTF-8.
std::string DecodeFileText(const std::string& bytes);
// Bytes in the Windows ANSI code page as UTF-8: the system's code page on Windows, as the system
// converts it; 1252 (that of these languages) elsewhere, where a byte it leaves undefined
// becomes U+FFFD.
std::string AnsiToUtf8(const std::string& bytes);
// True when bytes are well-formed UTF-8.
bool IsUtf8(const std::string& bytes);

// text without the blanks and tabs around it.
std::string Trim(const std::string& text);

// The system's text of an error without what ends it: its line end (Windows ends it with CR
// LF), blanks and final period, so that a message can go on after it.
std::string TrimSystemText(std::string text);

// Text from outside (a file name) for one line of a message: its control characters, line
// ends and tabs included, as \xHH, so that it cannot start lines of its own. A Windows name
// never holds one.
std::string OneLine(const std::string& text);

// Lower-case hexadecimal of raw bytes.
std::string HexText(const std::string& bytes);

} // namespace sys
