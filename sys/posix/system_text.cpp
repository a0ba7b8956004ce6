// The system's texts in the user's language. The program itself keeps the C locale (its case
// rules and number formats must not change with the user's), so the user's locale is taken
// for these texts alone.
#include "sys/posix/iconv_text.h"
#include "sys/sys.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>
#include <strings.h>

namespace sys {

DWORD LastFileError() {
    return static_cast<DWORD>(errno);
}

std::string SystemErrorText(DWORD code) {
    const int error = static_cast<int>(code);
    // Messages as LC_MESSAGES says, in the character set LC_CTYPE names, made UTF-8 here.
    const locale_t user = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "", locale_t{});
    if (user == locale_t{}) {
        const char* text = std::strerror(error);
        return text != nullptr ? text : std::string();
    }
    const char* text = strerror_l(error, user);
    std::string result = text != nullptr ? text : "";
    const std::string codeset = nl_langinfo_l(CODESET, user);
    freelocale(user);
    if (strcasecmp(codeset.c_str(), "UTF-8") != 0)
        result = posix::IconvText(result, "UTF-8", codeset, "?");
    return result;
}

} // namespace sys
