#pragma once

#include <optional>
#include <string>

namespace sys::posix {

// The Windows-style three-letter language code (as the "intl" profile value "sLanguage" holds
// it) of the first set locale among LC_ALL, LC_MESSAGES and LANG; nothing for C, POSIX or
// none.
std::optional<std::string> ProfileLanguageFromLocale(const char* lcAll, const char* lcMessages,
                                                     const char* lang);

} // namespace sys::posix
