#include "sys/digest.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <cstdio>
#include <memory>

namespace sys {

std::string FileSha256(const std::string& name) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(OpenRegularFile(name));
    if (!file)
        return std::string();
    Sha256 digest;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        digest.Update(buffer, n);
    if (std::ferror(file.get()))
        return std::string();
    return HexText(digest.Final());
}

} // namespace sys
