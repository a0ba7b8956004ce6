#include "files/record_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::string bytes;
    const bool valid = CheckHexRecord(line, &bytes);
    // Never more data bytes than the line has digit pairs.
    if (bytes.size() > line.size() / 2)
        __builtin_trap();
    (void)valid;
    return 0;
}
