#include "link/link_settings.h"

#include <iterator>

namespace {
constexpr DWORD rates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr std::int32_t defaultIndex = LinkSettings::baudIndex9600;
constexpr std::int32_t lastIndex = static_cast<std::int32_t>(std::size(rates)) - 1;
static_assert(rates[defaultIndex] == 9600);
} // namespace

DWORD BaudRateOfIndex(std::int32_t baudIndex) {
    return baudIndex >= 0 && baudIndex <= lastIndex ? rates[baudIndex] : rates[defaultIndex];
}

std::int32_t BaudIndexOfRate(long bitsPerSecond) {
    for (std::int32_t i = 0; i <= lastIndex; ++i)
        if (static_cast<long>(rates[i]) == bitsPerSecond)
            return i;
    return defaultIndex;
}
