// The upgrade protocol's rules, each against the simulator, with every box it can show in
// French and in English.
#include "upgrade_helpers.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace testfiles;
using namespace upgrade;

TEST(Protocol, TheMonitorMustReportItselfInUpgradeModeAfterTheModeCommand) {
    Firmware fw(monitorA);
    // The state code stays 0: three questions, then the box that names the last command.
    ExpectInBothLanguages(
        {"--monitor", monitorA, "--mode-refused"}, fw, "o\nc\n", link115200, 1, "exclamation",
        {"Impossible de transmettre la commande \"QEL?\"\n"
         "Impossible de passer le moniteur en mode de mise à jour" +
             linkCheckEnding.french,
         "Unable to transmit command:\n  \"QEL?\"\nUnable to set the monitor to upgrading mode" +
             linkCheckEnding.english},
        okCancelBoth, identification + "MODEQEL0\nQEL?\nQEL?\nQEL?\n");
}

TEST(Protocol, TheExitAnswerIsJudgedThreeTimes) {
    Firmware fw(monitorA);
    ExpectInBothLanguages(
        {"--monitor", monitorA, "--nack-exit"}, fw, "o\nc\n", link115200, 1, "exclamation",
        {"Impossible de transmettre la commande \"EXITQEL\"\n"
         "La commande n'a pas été comprise par l'appareil" +
             linkCheckEnding.french,
         "Unable to transmit command:\n  \"EXITQEL\"\n"
         "The command has not be accepted by the instrument" +
             linkCheckEnding.english},
        okCancelBoth,
        identification + "MODEQEL0\nQEL?\n" + fw.Wire() + "QEL?\nEXITQEL\nEXITQEL\nEXITQEL\n");
}

TEST(Protocol, LinesThatDoNotBeginWithAColonAreNeverSent) {
    Firmware fw(monitorA);
    std::vector<std::string> lines{"; firmware 2.1", ""};
    for (const auto& r : fw.records) {
        lines.push_back(r);
        lines.push_back(" " + r); // a blank before the colon: text, not a record
    }
    lines.pop_back();
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(Lines(lines, "\r\n"), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), WholePass(fw));
}

TEST(Protocol, ARefusedIdentificationAsksAndOkStartsANewPassWithANewOpening) {
    Firmware fw(monitorA);
    for (const bool french : {true, false}) {
        // The second answer, the one the run reads, is garbled in the first pass only.
        SimulatorProcess sim({"--monitor", monitorA, "--garbled-queries", "2"});
        TempFile file(fw.File(), "firmware.hex");
        // Settings, the question answered OK, settings again, confirmation, report.
        const auto run =
            RunProgram(UpgradeOptions(file, "\no\n\no\no\n", {french ? "-lf" : "-le"}));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_SHOWN(run,
                     Box("exclamation",
                         (french ? "Impossible d'identifier l'appareil" + linkCheckEnding.french
                                 : "Unable to identify the instrument" + linkCheckEnding.english),
                         french ? okCancelFrench : okCancel));
        const std::string settings = french ? "---- Ouverture de la liaison avec l'appareil ----"
                                            : "---- Opening communication with the instrument ----";
        const size_t first = run.output.find(settings);
        ASSERT_NE(first, std::string::npos) << run.output;
        EXPECT_NE(run.output.find(settings, first + 1), std::string::npos)
            << "the port is opened again, with its settings asked again";
        EXPECT_SHOWN(run, french ? "Pour changer un choix, répondez sa lettre et la valeur ("
                                 : "To change a choice, answer its letter and the value (");
        EXPECT_EQ(sim.Received(), identification + WholePass(fw));
    }
}

TEST(Protocol, ASilentInstrumentAsksAndOkStartsANewPass) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA, "--silent-queries", "1,2,3,4"});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = RunProgram(UpgradeOptions(file, "o\no\no\n", {"-lf", "-c1,115200,8,1,n,n"}));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_SHOWN(run,
                 Box("exclamation", "Impossible d'identifier l'appareil" + linkCheckEnding.french,
                     okCancelFrench));
    EXPECT_EQ(sim.Received(),
              identification + identification + identification + Transfer(fw.Wire()));
}

TEST(Protocol, ARetryAfterTheSecondOfThreeFilesSendsAllThreeAgain) {
    // One file for three monitors: sent three times, to monitors 0, 1 and 2.
    Firmware fw(monitorA);
    const size_t n = fw.records.size();
    // The second transmission's second record line, three times refused.
    const std::string refused =
        std::to_string(n + 2) + "," + std::to_string(n + 3) + "," + std::to_string(n + 4);
    SimulatorProcess sim({"--monitor", monitorA, "--monitor", monitorA, "--monitor", monitorA,
                          "--nack-lines", refused});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\no\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    const auto& r = fw.records;
    const std::string pass1 =
        WholePass(fw) + "MODEQEL1\nQEL?\n" + r[0] + "\n" + r[1] + "\n" + r[1] + "\n" + r[1] + "\n";
    std::string pass2 = identification;
    for (const int index : {0, 1, 2})
        pass2 += Transfer(fw.Wire(), index);
    EXPECT_EQ(sim.Received(), pass1 + pass2);
}

TEST(Protocol, TheComparisonsAreTracedInBothLanguages) {
    Firmware fw(monitorB);
    std::string answers;
    for (int i = 0; i < 60; ++i)
        answers += "o\n";
    for (const bool french : {true, false}) {
        SimulatorProcess sim({"--monitor", monitorA, "--monitor", monitorB});
        TempFile file(fw.File(), "firmware.hex");
        const auto run = RunProgram(
            UpgradeOptions(file, answers, {french ? "-lf" : "-le", "-c1,115200,8,1,n,n", "-d"}));
        EXPECT_EQ(run.status, 0) << run.output;
        const std::string compare =
            french
                ? "Comparaison références:\nMoniteur appareil:\t\"%1\"\nMoniteurs compatibles:\t "
                  "\"" +
                      monitorB + "\""
                : "Compare references:\nInstrument Monitor:\t\"%1\"\nCompatibles Monitors:\t \"" +
                      monitorB + "\"";
        for (const auto& monitor : {monitorA, monitorB}) {
            std::string text = compare;
            text.replace(text.find("%1"), 2, monitor);
            EXPECT_SHOWN(run,
                         Box(french ? "arrêt" : "stop", text, french ? okCancelFrench : okCancel));
        }
        EXPECT_SHOWN(run, Box(french ? "arrêt" : "stop",
                              (french ? "Moniteur appareil: \"" : "Instrument Monitor: \"") +
                                  monitorB + "\"",
                              french ? okCancelFrench : okCancel));
        EXPECT_SHOWN(
            run, Box(french ? "arrêt" : "stop",
                     (french ? "Liste de compatibilité:\n" : "Compatibility List:\n") + monitorB,
                     french ? okCancelFrench : okCancel));
        EXPECT_SHOWN(run, Box(french ? "arrêt" : "stop",
                              std::string(french ? "La ligne suivante vient d'être envoyée:\n"
                                                 : "Following line has just been sent:\n") +
                                  "EXITQEL",
                              french ? okCancelFrench : okCancel));
        EXPECT_SHOWN(run, Box(french ? "arrêt" : "stop",
                              std::string(french ? "La réponse suivante vient d'être reçue:\n"
                                                 : "Following answer has just been received:\n") +
                                  "OK\\n",
                              french ? okCancelFrench : okCancel));
    }
}

TEST(Protocol, BoxesOfAWholeUpgradeInBothLanguages) {
    Firmware fw(monitorA);
    ExpectInBothLanguages(
        {"--monitor", monitorA}, fw, "o\no\n", link115200, 0, "information",
        {"La mise à jour de l'appareil va être effectuée par transmission des fichiers suivants:\n"
         " . \"firmware.hex\"",
         "The instrument upgrading will be done by transmitting following files:\n"
         " . \"firmware.hex\""},
        okCancelBoth);
    ExpectInBothLanguages({"--monitor", monitorA}, fw, "o\no\n", link115200, 0, "information",
                          {"La mise à jour a été effectuée avec succès pour les fichiers:\n"
                           " . \"firmware.hex\"",
                           "Upgrading has been successfully done for the files:\n"
                           " . \"firmware.hex\""},
                          okOnlyBoth);
    ExpectInBothLanguages(
        {"--monitor", monitorA}, fw, "o\nesc\ny\n", link115200, 2, "question",
        {"En arrêtant maintenant la procédure de mise à jour, l'appareil ne sera pas "
         "opérationnel.\n\nVoulez-vous vraiment interrompre la procédure de mise à jour ?",
         "When you stop now the upgrading process, the instrument will not be operational.\n\n"
         "Do you want to abort upgrading process ?"},
        yesNoBoth);
    ExpectInBothLanguages({"--monitor", monitorB}, fw, "o\n", link115200, 1, "exclamation",
                          {"L'appareil ne peut être mis à jour sans un retour à l'usine",
                           "The instrument cant be upgraded without intervention in the factory"},
                          okOnlyBoth);
}

TEST(Protocol, LinkFailureBoxesInBothLanguages) {
    Firmware fw(monitorA);
    const std::string line = fw.records[1];
    ExpectInBothLanguages(
        {"--monitor", monitorA, "--nack-lines", "2,3,4"}, fw, "o\nc\n", link115200, 1,
        "exclamation",
        {"Impossible de transmettre la ligne:\n  \"" + line +
             "\"\nLa ligne n'a pas été comprise par l'appareil" + linkCheckEnding.french,
         "Unable to transmit line:\n  \"" + line +
             "\"\nThe line has not be accepted by the instrument" + linkCheckEnding.english},
        okCancelBoth);
    ExpectInBothLanguages({"--monitor", monitorA, "--silent-lines", "2,3,4"}, fw, "o\nc\n",
                          link115200, 1, "exclamation",
                          {"Impossible de transmettre la ligne:\n  \"" + line +
                               "\"\nPas de réponse de l'appareil" + linkCheckEnding.french,
                           "Unable to transmit line:\n  \"" + line +
                               "\"\nNo answer from the instrument" + linkCheckEnding.english},
                          okCancelBoth);
    // COM7 is not there: the system's text, then the failure ending; asked with no icon, shown
    // with the exclamation.
    ExpectInBothLanguages({"--monitor", monitorA}, fw, "o\n", {"-c7,115200,8,1,n,n"}, 1,
                          "exclamation",
                          {"No such file or directory" + failureEnding.french,
                           "No such file or directory" + failureEnding.english},
                          okOnlyBoth, "");
}

TEST(Protocol, FileBoxesInBothLanguages) {
    for (const bool french : {true, false}) {
        TempFile file("", "present.hex");
        ProgramOptions options;
        options.args = {french ? "-lf" : "-le", "-habsent.hex"};
        options.workingDirectory = file.Folder();
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1);
        EXPECT_SHOWN(run, Box("exclamation",
                              (french ? "Impossible d'ouvrir le fichier \"absent.hex\""
                                      : "Unable to open file \"absent.hex\"") +
                                  std::string("\nNo such file or directory") +
                                  (french ? failureEnding.french : failureEnding.english),
                              french ? okOnlyFrench : okOnly));
    }
}

// Two upgrade files in the folder the program is started in.
TEST(Protocol, UnderCompatibilityByPositionANameMatchIsTakenFirst) {
    const fs::path folder =
        fs::temp_directory_path() / ("qel32-position-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    // a.hex names the instrument's second monitor; b.hex names none of them.
    std::ofstream(folder / "a.hex", std::ios::binary) << Firmware(monitorB).File();
    std::ofstream(folder / "b.hex", std::ios::binary) << Firmware("99999999Z99").File();
    SimulatorProcess sim({"--monitor", monitorA, "--monitor", monitorB});
    ProgramOptions options;
    options.args = {"-le", "-c1,115200,8,1,n,n", "-f"};
    options.input = "o\nc\no\no\n"; // read-me, Continue, confirmation, report
    options.workingDirectory = folder.string();
    const auto run = RunProgram(options);
    fs::remove_all(folder);
    EXPECT_EQ(run.status, 0) << run.output;
    // Monitor 0 takes a.hex by position; monitor 1 takes it by name before b.hex's position.
    EXPECT_SHOWN(run, "following files:\n . \"a.hex\"\n . \"a.hex\"\nButtons");
}

} // namespace
