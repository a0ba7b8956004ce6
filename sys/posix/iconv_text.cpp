#include "sys/posix/iconv_text.h"

#include <iconv.h>

#include <cerrno>

namespace sys::posix {

std::string IconvText(const std::string& text, const std::string& to, const std::string& from,
                      const std::string& replacement) {
    const iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text;
    std::string out;
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* o = buffer;
        size_t outLeft = sizeof buffer;
        const bool stopped = iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1);
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (stopped && errno != E2BIG) { // a byte that cannot be read, or a sequence cut short
            out += replacement;
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace sys::posix
