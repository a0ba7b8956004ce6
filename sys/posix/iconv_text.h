// Text from one character set to another through the C library's iconv.
#pragma once

#include <string>

namespace sys::posix {

// `text` in `from` as `to` (iconv's names, `//TRANSLIT` and the like allowed). Each byte that
// cannot be read as `from` becomes `replacement`; text the conversion cannot be opened for
// is given back as it is.
std::string IconvText(const std::string& text, const std::string& to, const std::string& from,
                      const std::string& replacement);

} // namespace sys::posix
