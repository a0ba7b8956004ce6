// The right file into the right monitor, each answer judged for what it answers, and one lost
// answer no failure: whole runs of the program against the simulator.
#include "upgrade_helpers.h"

#include <nlohmann/json.hpp>

#include <signal.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace testfiles;
using namespace upgrade;

const std::string monitorC = "11112222C33";

// An answer more than was asked for, however it falls, never makes a record the instrument
// refused count as sent: it goes again, and the image the instrument rebuilt is the file's.
TEST(RightFirmware, AnAnswerMoreThanAskedNeverMakesARefusedRecordSent) {
    const Firmware fw(monitorA, false, 16, 400); // 30 records
    const std::vector<std::vector<std::string>> faults{
        // Each refusal followed by an acceptance; the tenth record refused twice.
        {"--nack-text", "NACK\\nOK", "--byte-delay", "2", "--nack-lines", "10,11"},
        // Each acceptance said twice; the tenth record refused once.
        {"--ok-text", "OK\\nOK", "--byte-delay", "2", "--nack-lines", "10"},
        // The twentieth acceptance again while the next record leaves, which is refused, its
        // refusal arriving before the record after it leaves, or after.
        {"--extra-answer", "20:1:OK", "--nack-lines", "21"},
        {"--extra-answer", "20:3:OK", "--nack-lines", "21", "--turnaround", "8"},
    };
    for (const auto& fault : faults) {
        std::vector<std::string> instrument{"--monitor", monitorA};
        instrument.insert(instrument.end(), fault.begin(), fault.end());
        Pass pass(instrument, fw, "o\no\n");
        EXPECT_EQ(pass.run.status, 0) << fault[1] << "\n" << pass.run.output;
        EXPECT_EQ(pass.Image(), fw.data) << fault[1];
    }
}

// A sound monitor's one odd answer costs a question or a line, never the pass: an end record
// left unanswered, then its question lost or garbled; an identification said twice.
TEST(RightFirmware, OneOddAnswerOfASoundMonitorNeverFailsThePass) {
    const Firmware fw(monitorA, false, 32, 0);
    const std::string n = std::to_string(fw.records.size());
    const std::string endUnanswered = n + "," + std::to_string(fw.records.size() + 1) + "," +
                                      std::to_string(fw.records.size() + 2);
    const std::string twice = "1," + monitorA + "\\n1," + monitorA + "\\n";
    const std::string once = identification + "MODEQEL0\nQEL?\n" + fw.Wire();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--silent-lines", endUnanswered, "--silent-queries", "4"},
         once + "QEL?\nQEL?\nEXITQEL\n"},
        {{"--silent-lines", endUnanswered, "--garbled-queries", "4"}, ""},
        {{"--answer", twice}, WholePass(fw)},
        {{"--doubled-queries", "3", "--baud", "9600"}, WholePass(fw)},
    };
    for (const auto& [fault, wire] : cases) {
        std::vector<std::string> instrument{"--monitor", monitorA};
        instrument.insert(instrument.end(), fault.begin(), fault.end());
        Pass pass(instrument, fw, "o\no\n", {"-w255"});
        EXPECT_EQ(pass.run.status, 0) << fault[0] << "\n" << pass.run.output;
        EXPECT_EQ(pass.Image(), fw.data) << fault[0];
        if (!wire.empty()) {
            EXPECT_EQ(pass.sim.Received(), wire) << fault[0];
        }
    }
}

// Another instrument put on the cable while the confirmation waits: upgrade mode is not found
// on the monitor the file was matched with, nothing of the file is written, and OK starts a
// pass that identifies the instrument on the cable.
TEST(RightFirmware, AnInstrumentSwappedWhileTheConfirmationWaitsGetsNothing) {
    Firmware fw(monitorA);
    const Texts box{"Impossible de transmettre la commande \"QEL?\"\n"
                    "Impossible de passer le moniteur en mode de mise à jour" +
                        linkCheckEnding.french,
                    "Unable to transmit command:\n  \"QEL?\"\n"
                    "Unable to set the monitor to upgrading mode" +
                        linkCheckEnding.english};
    const Texts noFile{"L'appareil ne peut être mis à jour sans un retour à l'usine",
                       "The instrument cant be upgraded without intervention in the factory"};
    for (const bool french : {true, false}) {
        SimulatorProcess sim({"--monitor", monitorA, "--swap-to", monitorC});
        TempFile file(fw.File(), "firmware.hex");
        const std::string journal = file.Folder() + "/journal.jsonl";
        auto options =
            UpgradeOptions(file, "", {french ? "-lf" : "-le", "-r", "-c1,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = journal;
        const std::string confirmation = french ? "fichiers suivants:" : "following files:";
        options.steps = {{confirmation, {}, "o\n"},
                         {confirmation, [&] { sim.Swap(); }, "o\n"},
                         {french ? box.french : box.english, {}, "o\n"},
                         {french ? noFile.french : noFile.english, {}, "o\n"}};
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_SHOWN(run, Box("exclamation", french ? box.french : box.english,
                              french ? okCancelFrench : okCancel));
        EXPECT_SHOWN(run, french
                              ? "qel32 : un autre appareil a répondu à la vérification : "
                                "moniteurs " +
                                    monitorC + ", là où " + monitorA + " s'était identifié\n"
                              : "qel32: another instrument answered the verification: "
                                "monitors " +
                                    monitorC + ", where " + monitorA + " had identified itself\n");
        const std::string wire = sim.Received();
        const std::string firstPass = WholePass(fw);
        EXPECT_EQ(wire,
                  firstPass + identification + "MODEQEL0\nQEL?\nQEL?\nQEL?\n" + identification);
        sim.Stop();
        EXPECT_FALSE(fs::exists(sim.ImagePath() + ".swapped") &&
                     fs::file_size(sim.ImagePath() + ".swapped") > 0)
            << "a record was written into the other instrument";
        // The journal names the instrument that answered the verification.
        std::ifstream in(journal);
        std::vector<nlohmann::json> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0]["outcome"], "done");
        EXPECT_EQ(lines[1]["outcome"], "failed");
        EXPECT_EQ(lines[1]["monitors"][0]["reference"], monitorC);
        EXPECT_EQ(lines[2]["monitors"][0]["reference"], monitorC);
    }
}

// A name given with "-h" on a disk that tells case apart: the file of that exact name, never
// a twin that differs only in case; without one, a refusal that names the twins.
TEST(RightFirmware, TheFileNamedIsTheFileSent) {
    const Firmware release(monitorA, false, 16, 20), older(monitorA, false, 16, 40);
    TempFile upper(release.File(), "FW.HEX");
    std::ofstream(upper.Folder() + "/fw.hex", std::ios::binary) << older.File();
    for (const auto& [name, fw] : {std::pair{"FW.HEX", &release}, std::pair{"fw.hex", &older}}) {
        SimulatorProcess sim({"--monitor", monitorA});
        auto options = UpgradeOptions(upper, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
        options.args.back() = "-h";
        options.args.push_back(name);
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_SHOWN(run, std::string("successfully done for the files:\n . \"") + name + "\"");
        EXPECT_EQ(sim.Received(), WholePass(*fw));
    }
    // Neither is named as typed: no guess.
    for (const bool french : {true, false}) {
        SimulatorProcess sim({"--monitor", monitorA});
        auto options = UpgradeOptions(upper, "o\n", {french ? "-lf" : "-le", "-c1,115200,8,1,n,n"});
        options.args.back() = "-hFw.Hex";
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_SHOWN(run, Box("exclamation",
                              french ? "Impossible d'ouvrir le fichier \"Fw.Hex\"\n"
                                       "Plusieurs fichiers portent ce nom à la casse près : "
                                       "\"FW.HEX\", \"fw.hex\" ; nommez-en un tel qu'il est "
                                       "écrit" +
                                           failureEnding.french
                                     : "Unable to open file \"Fw.Hex\"\n"
                                       "Several files bear this name but for its case: "
                                       "\"FW.HEX\", \"fw.hex\"; name one as it is written" +
                                           failureEnding.english,
                              french ? okOnlyFrench : okOnly));
        EXPECT_EQ(sim.Received(), "") << "the port is never opened";
    }
}

// A value in the argument after its option is taken whole, hyphens included, as the README
// and --help say.
TEST(RightFirmware, AValueInTheNextArgumentIsTakenWhole) {
    Firmware fw(monitorA);
    TempFile file(fw.File(), "Instrument-v2.hex");
    fs::create_directories(file.Folder() + "/release-2");
    fs::copy_file(file.Path(), file.Folder() + "/release-2/fw.hex");
    for (const std::string name : {"Instrument-v2.hex", "release-2/fw.hex"}) {
        SimulatorProcess sim({"--monitor", monitorA});
        auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c", "1,115200,8,1,n,n", "-w", "5"});
        options.args.back() = "-h";
        options.args.push_back(name);
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 0) << name << "\n" << run.output;
        EXPECT_SHOWN(run, "successfully done for the files:\n . \"" + name + "\"");
    }
}

} // namespace
