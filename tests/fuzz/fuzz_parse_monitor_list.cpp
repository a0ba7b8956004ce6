#include "app/upgrade_app.h"
#include "files/record_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CUpgradeApp app; // the parser reads the trace mode (off)
    fw::CStringArray monitors;
    std::vector<std::uint8_t> codes;
    const bool ok =
        ParseMonitorList(std::string(reinterpret_cast<const char*>(data), size), &monitors, &codes);
    if (monitors.size() != codes.size() || (ok && monitors.empty()))
        __builtin_trap();
    for (const auto& m : monitors)
        if (!IsValidMonitorReference(m))
            __builtin_trap();
    return 0;
}
