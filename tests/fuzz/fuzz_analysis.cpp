// The whole analysis of a file of arbitrary bytes, read through the text-mode reader.
#include "app/upgrade_app.h"
#include "files/hex_analysis.h"
#include "files/record_check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CUpgradeApp app;
    if (size == 0)
        return 0;
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr)
        return 0;
    sys::TextFile file;
    file.Attach(stream, static_cast<long>(size));
    CUpgradeFile record("fuzz.hex");
    HexFileAnalysis analysis(file, record);
    int lastPercent = -1;
    analysis.onPercent = [&](int percent) {
        if (percent < 0 || percent > 100 || percent <= lastPercent)
            __builtin_trap();
        lastPercent = percent;
    };
    HexFileAnalysis::Outcome outcome;
    std::size_t steps = 0;
    while ((outcome = analysis.NextStep()) == HexFileAnalysis::Outcome::Continue) {
        if (++steps > size) // each step consumes at least one line
            __builtin_trap();
    }
    if (outcome == HexFileAnalysis::Outcome::Sound && record.compatibleMonitors.empty())
        __builtin_trap();
    for (const auto& m : record.compatibleMonitors)
        if (!IsValidMonitorReference(m))
            __builtin_trap();
    return 0;
}
