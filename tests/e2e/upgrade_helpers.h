// What the upgrade tests share: firmware files, the run against the simulator on COM1, and the
// boxes as the console prints them.
#pragma once

#include "../unit/hex_test_files.h"
#include "../unit/simulator_process.h"
#include "program_runner.h"

#include <gtest/gtest.h>

#include <cctype>

namespace upgrade {

using namespace testfiles;

inline const std::string monitorA = "12345678A01";
inline const std::string monitorB = "12345678B02";
inline const std::string linkEnding =
    ".\n\nVerify the link cable and the communication parameters\n"
    "or close other applications using this port.\n";

// A firmware image with its compatibility list, as records of 16 data bytes.
struct Firmware {
    explicit Firmware(const std::string& references, bool lowerCase = false, size_t perRecord = 16,
                      size_t filler = 20) {
        data = std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A", 10) + ListBytes(references) +
               std::string(filler, '\x5A');
        records = DataRecords(data, perRecord, 0x100);
        records.insert(records.begin(), Record(0, 4, std::string("\0\x02", 2)));
        records.push_back(endRecord);
        if (lowerCase)
            for (auto& r : records)
                for (auto& c : r)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string Wire() const { return Lines(records); } // each record line with its LF
    std::string File() const { return Lines(records, "\r\n"); }
    std::string data;
    std::vector<std::string> records;
};

inline const std::string identification = "QEL?\nQEL?\n";

// The program on firmware.hex in the file's folder, with the given options only.
inline ProgramOptions UpgradeOptions(const TempFile& file, const std::string& input,
                                     std::vector<std::string> args) {
    ProgramOptions options;
    options.args = std::move(args);
    options.args.push_back("-hfirmware.hex");
    options.input = input;
    options.workingDirectory = file.Folder();
    options.timeoutSeconds = 120;
    return options;
}

// In English, on COM1 at 115200 baud without flow control, and the extra options.
inline ProgramRun Upgrade(const TempFile& file, const std::string& input,
                          std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"-le", "-c1,115200,8,1,n,n"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(UpgradeOptions(file, input, args));
}

inline std::string Box(const std::string& icon, const std::string& text,
                       const std::string& buttons) {
    return "---- qel32 [" + icon + "] ----\n" + text + "\n" + buttons;
}
inline const std::string okOnly = "Buttons: (o) OK; Enter: OK\n";
inline const std::string okCancel = "Buttons: (o) OK, (c) Cancel; Enter: OK\n";
// The console names the buttons in the program's language.
inline const std::string okOnlyFrench = "Boutons : (o) OK ; Entrée : OK\n";
inline const std::string okCancelFrench = "Boutons : (o) OK, (a) Annuler ; Entrée : OK\n";

// The upper case of a record line, as a retry sends it.
inline std::string Upper(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

#define EXPECT_SHOWN(run, text)                                                                    \
    EXPECT_NE((run).output.find(text), std::string::npos) << "missing:\n"                          \
                                                          << (text) << "\nin:\n"                   \
                                                          << (run).output

} // namespace upgrade
