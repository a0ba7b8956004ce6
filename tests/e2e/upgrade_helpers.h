// What the upgrade tests share: firmware files, the run against the simulator on COM1, and the
// boxes as the console prints them.
#pragma once

#include "../unit/hex_test_files.h"
#include "../unit/simulator_process.h"
#include "program_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>

namespace upgrade {

using namespace testfiles;

inline const std::string linkEnding =
    ".\n\nVerify the link cable and the communication parameters\n"
    "or close other applications using this port.\n";

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

// The wire of a transfer of these records to monitor `index`: upgrade mode, its check, the
// records, the question that shows their answers in, and the exit command.
inline std::string Transfer(const std::string& records, int index = 0) {
    return "MODEQEL" + std::to_string(index) + "\nQEL?\n" + records + "QEL?\nEXITQEL\n";
}
// The wire of a pass that identifies the instrument and sends the firmware to monitor `index`.
inline std::string WholePass(const Firmware& fw, int index = 0) {
    return identification + Transfer(fw.Wire(), index);
}

// The journal's lines, each parsed as one JSON value; allParse, when given, says whether every
// line did (a torn one does not), else a line that does not parse fails the test.
inline std::vector<nlohmann::json> JournalLines(const std::string& path, bool* allParse = nullptr) {
    std::vector<nlohmann::json> lines;
    std::ifstream in(path);
    bool all = true;
    for (std::string line; std::getline(in, line);) {
        try {
            lines.push_back(nlohmann::json::parse(line));
        } catch (const nlohmann::json::exception&) {
            all = false;
        }
    }
    if (allParse != nullptr)
        *allParse = all;
    else
        EXPECT_TRUE(all) << "a journal line that is no JSON value in " << path;
    return lines;
}

// One run of the program against one instrument: the simulator with these options on COM1,
// the firmware as firmware.hex, the run as Upgrade gives it, with the operator's answers, and
// its journal beside the file.
struct Pass {
    Pass(std::vector<std::string> instrument, Firmware firmware, const std::string& input,
         std::vector<std::string> extra = {})
        : fw(std::move(firmware)), sim(std::move(instrument)), file(fw.File(), "firmware.hex"),
          journal(file.Folder() + "/journal.jsonl"), run(Run(input, std::move(extra))) {}
    // The instrument's image once it has stopped.
    std::string Image() {
        sim.Stop();
        return sim.Image();
    }
    std::vector<nlohmann::json> Journal() const { return JournalLines(journal); }
    Firmware fw;
    SimulatorProcess sim;
    TempFile file;
    std::string journal;
    ProgramRun run;

  private:
    ProgramRun Run(const std::string& input, std::vector<std::string> extra) const {
        std::vector<std::string> args{"-le", "-c1,115200,8,1,n,n"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto options = UpgradeOptions(file, input, args);
        options.env["QEL32_JOURNAL"] = journal;
        return RunProgram(options);
    }
};

// What a command printed.
inline std::string CommandOutput(const std::string& command) {
    std::string text;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            text.append(buffer, n);
        ::pclose(p);
    }
    return text;
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

// A text in each language.
struct Texts {
    std::string french, english;
};

inline const Texts okOnlyBoth{okOnlyFrench, okOnly};
inline const Texts okCancelBoth{okCancelFrench, okCancel};
// A question whose default is No.
inline const Texts yesNoBoth{"Boutons : (o) Oui, (n) Non ; Entrée : Non\n",
                             "Buttons: (y) Yes, (n) No; Enter: No\n"};

inline const Texts failureEnding{
    ".\n\nImpossible d'effectuer la mise à jour. Contactez votre revendeur",
    ".\n\nUnable to upgrade the instrument. Contact your resaler"};
inline const Texts linkCheckEnding{
    ".\n\nVérifiez le cordon de liaison et les paramètres de communication\n"
    "ou bien fermez les autres applications utilisant ce port.",
    ".\n\nVerify the link cable and the communication parameters\n"
    "or close other applications using this port."};

// Runs the same upgrade of a file's text in both languages and expects the box in each, and
// when given, those bytes on the wire.
inline void ExpectInBothLanguages(const std::vector<std::string>& simArgs,
                                  const std::string& fileText, const std::string& input,
                                  const std::vector<std::string>& args, int status,
                                  const std::string& icon, const Texts& text, const Texts& buttons,
                                  const std::optional<std::string>& wire = std::nullopt) {
    for (const bool french : {true, false}) {
        SimulatorProcess sim(simArgs);
        TempFile file(fileText, "firmware.hex");
        std::vector<std::string> all{french ? "-lf" : "-le"};
        all.insert(all.end(), args.begin(), args.end());
        const auto run = RunProgram(UpgradeOptions(file, input, all));
        EXPECT_EQ(run.status, status) << run.output;
        EXPECT_SHOWN(run, Box(icon, french ? text.french : text.english,
                              french ? buttons.french : buttons.english));
        if (wire) {
            EXPECT_EQ(sim.ReceivedWhenQuiet(), *wire) << (french ? "French" : "English");
        }
    }
}
inline void ExpectInBothLanguages(const std::vector<std::string>& simArgs, const Firmware& fw,
                                  const std::string& input, const std::vector<std::string>& args,
                                  int status, const std::string& icon, const Texts& text,
                                  const Texts& buttons, const std::string& wire = "") {
    ExpectInBothLanguages(simArgs, fw.File(), input, args, status, icon, text, buttons,
                          wire.empty() ? std::nullopt : std::optional<std::string>(wire));
}

inline const std::vector<std::string> link115200{"-c1,115200,8,1,n,n"};

} // namespace upgrade
