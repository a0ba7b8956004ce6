// The transmission of one file against a monitor whose answers come in any order of
// acknowledgements, refusals, garbage and silence, late by any delay and split in chunks: it
// may fail, but it never ends in success unless every record line got its own acceptance and
// the exit command its own.
#include "app/upgrade_app.h"
#include "files/hex_analysis.h"
#include "fw/console/console_io.h"
#include "protocol/transmission_dlg.h"
#include "scripted_instrument.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

const char* const records[] = {
    ":020000040002F8",
    ":100100000102030405060708090A5F5F5F4C4953B3",
    ":10011000545F434F4D505F4845587C31323334353E",
    ":1001200036373841303100005A5A5A5A5A5A5A5AB8",
    ":00000001FF",
};

struct Fixture {
    CUpgradeApp app;
    CUpgradeFile file;
    Fixture() {
        app.language = 1;
        app.readyWaitCount = 0;
        char folder[] = "/tmp/qel32-fuzz-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            std::abort();
        file.fileName = std::string(folder) + "/firmware.hex";
        std::ofstream out(file.fileName, std::ios::binary);
        for (const char* r : records)
            out << r << "\r\n";
        out.close();
        sys::TextFile text;
        if (!text.Open(file.fileName))
            std::abort();
        HexFileAnalysis analysis(text, file);
        HexFileAnalysis::Outcome outcome;
        while ((outcome = analysis.NextStep()) == HexFileAnalysis::Outcome::Continue) {
        }
        if (outcome != HexFileAnalysis::Outcome::Sound)
            std::abort();
        // Every box is answered by the end of the input: Cancel, or OK where it is alone.
        fw::console::ConsoleIo::Redirect(::open("/dev/null", O_RDONLY),
                                         std::fopen("/dev/null", "w"));
        app.link = std::make_unique<CQelComm>(nullptr);
        if (app.link->OpenPort() != 0)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    auto& instrument = scripted::TheInstrument();
    instrument.Reset(data, size);
    CTransmissionDlg dialog(0, fixture.file, nullptr);
    if (dialog.DoModal() != IDOK)
        return 0;
    for (const char* record : records) {
        const bool end = std::string(record) == ":00000001FF"; // tried once, never judged
        if (!end && instrument.acknowledged[record] == 0)
            __builtin_trap();
    }
    if (instrument.exitsAcknowledged == 0)
        __builtin_trap();
    return 0;
}
