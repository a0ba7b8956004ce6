// Whole upgrades of the simulated instrument: the bytes on the wire, the boxes shown, the exit
// status, and the image the instrument rebuilt.
#include "upgrade_helpers.h"

#include <sstream>

namespace {

using namespace testfiles;
using namespace upgrade;

TEST(Upgrade, FileForTheSecondOfTwoMonitors) {
    Pass p({"--monitor", monitorA, "--monitor", monitorB}, Firmware(monitorB), "o\no\n");
    EXPECT_EQ(p.run.status, 0) << p.run.output;
    EXPECT_EQ(p.sim.Received(), WholePass(p.fw, 1));
    EXPECT_SHOWN(p.run,
                 Box("information",
                     "The instrument upgrading will be done by transmitting following files:\n"
                     " . \"firmware.hex\"",
                     okCancel));
    EXPECT_SHOWN(p.run,
                 "---- Transmitting in progress... ----\nTransmitting file \"firmware.hex\"\n"
                 "In progress...\n");
    EXPECT_SHOWN(p.run, "100%");
    EXPECT_SHOWN(p.run,
                 Box("information",
                     "Upgrading has been successfully done for the files:\n . \"firmware.hex\"",
                     okOnly));
    EXPECT_EQ(p.Image(), p.fw.data);
}

TEST(Upgrade, ThreeRefusalsAskAndOkStartsTheRunAgain) {
    Pass p({"--monitor", monitorA, "--nack-lines", "3,4,5"}, Firmware(monitorA), "o\no\no\no\n");
    EXPECT_EQ(p.run.status, 0) << p.run.output;
    EXPECT_SHOWN(p.run, Box("exclamation",
                            "Unable to transmit line:\n  \"" + p.fw.records[2] + "\"\n" +
                                "The line has not be accepted by the instrument" +
                                linkEnding.substr(0, linkEnding.size() - 1),
                            okCancel));
    const std::string firstPass = identification + "MODEQEL0\nQEL?\n" + p.fw.records[0] + "\n" +
                                  p.fw.records[1] + "\n" + p.fw.records[2] + "\n" +
                                  p.fw.records[2] + "\n" + p.fw.records[2] + "\n";
    EXPECT_EQ(p.sim.Received(), firstPass + WholePass(p.fw));
}

TEST(Upgrade, AnswersWithoutLineFeedEndBySilence) {
    SimulatorProcess sim({"--monitor", monitorA, "--line-end", "none"});
    // Every answer waits out its time limit: a file of few lines.
    Firmware fw(monitorA, false, 64, 0);
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    // Whole at its silence: one time limit a line, and no question before the next.
    EXPECT_EQ(sim.Received(), WholePass(fw));
}

TEST(Upgrade, AnUnansweredEndRecordGoesStraightToExit) {
    Firmware fw(monitorA);
    // It may still be answered: only the identification shows when it no longer can.
    SimulatorProcess sim(
        {"--monitor", monitorA, "--silent-lines", std::to_string(fw.records.size())});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), WholePass(fw));
    EXPECT_EQ(run.output.find("Unable to transmit"), std::string::npos);
}

TEST(Upgrade, FileWithoutEndRecordNeverReachesTheInstrument) {
    SimulatorProcess sim({"--monitor", monitorA});
    Firmware fw(monitorA);
    fw.records.pop_back();
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\n");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_SHOWN(run, "File \"firmware.hex\" is wrong.\n\n");
    EXPECT_EQ(sim.Received(), "");
}

// No, and Enter alone (No is the default: one key press must not abort an upgrade).
TEST(Upgrade, CancelAndNoChangesNothing) {
    SimulatorProcess sim({"--monitor", monitorA});
    Firmware fw(monitorA);
    TempFile file(fw.File(), "firmware.hex");
    for (const char* answer : {"n\n", "\n"}) {
        const auto run = Upgrade(file, std::string("o\nesc\n") + answer + "o\n");
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_SHOWN(run, Box("question",
                              "When you stop now the upgrading process, the instrument will not "
                              "be operational.\n\nDo you want to abort upgrading process ?",
                              "Buttons: (y) Yes, (n) No; Enter: No\n"));
        EXPECT_SHOWN(run, "successfully done");
    }
    EXPECT_EQ(sim.Received(), WholePass(fw) + WholePass(fw));
}

TEST(Upgrade, CancelAndYesStopsWithoutExit) {
    Pass p({"--monitor", monitorA}, Firmware(monitorA), "o\nesc\ny\n");
    EXPECT_EQ(p.run.status, 2) << p.run.output;
    EXPECT_EQ(p.sim.Received().find("EXITQEL"), std::string::npos) << p.sim.Received();
    EXPECT_EQ(p.run.output.find("successfully"), std::string::npos);
}

TEST(Upgrade, OneFileForTwoMonitorsIsSentTwice) {
    Pass p({"--monitor", monitorA, "--monitor", monitorA}, Firmware(monitorA), "o\no\n");
    EXPECT_EQ(p.run.status, 0) << p.run.output;
    EXPECT_SHOWN(p.run, "following files:\n . \"firmware.hex\"\n . \"firmware.hex\"\n");
    EXPECT_EQ(p.sim.Received(), WholePass(p.fw) + Transfer(p.fw.Wire(), 1));
}

TEST(Upgrade, NoFileFits) {
    Pass p({"--monitor", monitorB}, Firmware(monitorA), "o\n");
    EXPECT_EQ(p.run.status, 1) << p.run.output;
    EXPECT_SHOWN(p.run, Box("exclamation",
                            "The instrument cant be upgraded without intervention in the factory",
                            okOnly));
    EXPECT_EQ(p.sim.Received(), identification);
}

TEST(Upgrade, ForceByPositionTakesTheFileForTheFirstMonitor) {
    Pass p({"--monitor", monitorB, "--monitor", "99999999Z99"}, Firmware(monitorA), "o\no\n",
           {"-f"});
    EXPECT_EQ(p.run.status, 0) << p.run.output;
    EXPECT_EQ(p.sim.Received(), WholePass(p.fw));
}

TEST(Upgrade, RepeatUpgradesOneInstrumentAfterAnother) {
    SimulatorProcess sim({"--monitor", monitorA, "--identities", "12345678B02;12345678A01"});
    Firmware fw(monitorA + "|" + monitorB);
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\nc\n", {"-r"});
    EXPECT_EQ(run.status, 2) << run.output;
    const std::string pass = WholePass(fw);
    EXPECT_EQ(sim.Received(), pass + pass + identification);
    EXPECT_EQ(run.output.find("successfully"), std::string::npos) << "no report with -r";
}

TEST(Upgrade, TraceBoxCancelEndsAtOnce) {
    SimulatorProcess sim({"--monitor", monitorA});
    Firmware fw(monitorA);
    TempFile file(fw.File(), "firmware.hex");
    // The list's box (analysis), the first query and its answer, then Cancel on the second
    // query: it has been written, nothing follows it.
    const auto run = Upgrade(file, "o\no\no\nc\n", {"-d"});
    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_SHOWN(run, Box("stop", "Compatibility List:\n" + monitorA, okCancel));
    EXPECT_SHOWN(run, Box("stop", "Following line has just been sent:\nQEL?", okCancel));
    EXPECT_SHOWN(run, Box("stop", "Following answer has just been received:\n0," + monitorA + "\\n",
                          okCancel));
    EXPECT_EQ(sim.Received(), "QEL?\nQEL?\n");
}

TEST(Upgrade, GaugeLineShowsEachPercentageExactly) {
    SimulatorProcess sim({"--monitor", monitorA});
    Firmware fw(monitorA, false, 16, 30);
    ASSERT_EQ(fw.records.size(), 7u) << "a range of 7";
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    ASSERT_EQ(run.status, 0) << run.output;
    const size_t begin = run.output.find("---- Transmitting in progress... ----");
    ASSERT_NE(begin, std::string::npos) << run.output;
    std::vector<std::string> lines;
    std::istringstream shown(run.output.substr(begin));
    for (std::string line; std::getline(shown, line);)
        if (!line.empty() && line[0] == '[')
            lines.push_back(line);
    // 50 cells inside the brackets: the bar is 50 x done / 7 cells, the text "%3d%%" starts
    // at cell 23 whatever covers it.
    const std::string none(23, ' '), full(23, '#');
    ASSERT_EQ(lines.size(), 8u) << run.output;
    EXPECT_EQ(lines[0], "[" + none + "  0%" + none + "]");
    EXPECT_EQ(lines[3], "[" + std::string(21, '#') + "   42%" + none + "]");
    EXPECT_EQ(lines[7], "[" + full + "100%" + full + "]");
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].size(), 52u) << lines[i];
}

} // namespace
