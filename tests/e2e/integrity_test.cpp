// A success report means the instrument holds the file, and nothing hangs: instruments that
// answer late, say more than asked or hold the line with XOFF; files that change, are not
// Intel HEX, are not files at all, or hold more records than 16 bits count.
#include "upgrade_helpers.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <algorithm>

namespace {

using namespace testfiles;
using namespace upgrade;

std::string Without(const std::string& text, size_t count) {
    return text.substr(0, text.size() - count);
}

const std::string englishFailureEnding =
    ".\n\nUnable to upgrade the instrument. Contact your resaler";

TEST(Integrity, LateAnswerIsReadThroughAndALaterRefusalIsChargedToItsOwnLine) {
    Firmware fw(monitorA);
    const auto& r = fw.records; // address record, four data records, end record
    // Record lines as the instrument counts them, repeats included: 2 (the first data record)
    // is answered after the 3 s limit; 5 (the third data record) is refused.
    SimulatorProcess sim(
        {"--monitor", monitorA, "--late-lines", "2", "--late-ms", "3500", "--nack-lines", "5"});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    // Before the line after the late one, the second copy's answer: read when it is there, else
    // the question whose answer comes after every late one.
    const std::string after = r[2] + "\n" + r[3] + "\n" + r[3] + "\n" + r[4] + "\n" + r[5] + "\n";
    const std::string head = identification + "MODEQEL0\nQEL?\n" + r[0] + "\n" + r[1] + "\n" + r[1];
    const std::string wire = sim.ReceivedWhenQuiet();
    EXPECT_TRUE(wire == head + "\n" + after + "QEL?\nEXITQEL\n" ||
                wire == head + "\nQEL?\n" + after + "QEL?\nEXITQEL\n")
        << wire;
    sim.Stop();
    EXPECT_EQ(sim.Image(), fw.data) << "every record, the refused one included";
}

TEST(Integrity, AnAnswerToTheModeCommandIsNotTakenForTheNextOne) {
    Firmware fw(monitorA);
    const auto& r = fw.records;
    SimulatorProcess sim({"--monitor", monitorA, "--mode-answer", "OK", "--nack-lines", "3"});
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(),
              identification + Transfer(r[0] + "\n" + r[1] + "\n" + r[2] + "\n" + r[2] + "\n" +
                                        r[3] + "\n" + r[4] + "\n" + r[5] + "\n"));
    sim.Stop();
    EXPECT_EQ(sim.Image(), fw.data);
}

TEST(Integrity, XoffForeverEndsInTheFailureBoxAfterThreeBoundedWrites) {
    Firmware fw(monitorA);
    // XOFF right after answering the identification: nothing can be written any more.
    SimulatorProcess sim({"--monitor", monitorA, "--xoff-after", "2"});
    TempFile file(fw.File(), "firmware.hex");
    const auto start = std::chrono::steady_clock::now();
    const auto run = RunProgram(UpgradeOptions(file, "o\nc\n", {"-le", "-c1,115200,8,1,n,s"}));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_SHOWN(run, Box("exclamation",
                          "Unable to transmit command:\n  \"MODEQEL0\"\nConnection timed out" +
                              Without(linkEnding, 1),
                          okCancel));
    EXPECT_GE(seconds, 29.0) << "three attempts, each given 10 s";
    EXPECT_EQ(sim.Received(), identification) << "nothing left once the line was held";
}

TEST(Integrity, FileChangedDuringTheConfirmationIsRefusedAndNothingOfItIsSent) {
    Firmware fw(monitorA);
    Firmware changed = fw;
    changed.records[2] = Record(0x110, 0, "changed data....");
    for (const bool inPlace : {false, true}) {
        SimulatorProcess sim({"--monitor", monitorA});
        TempFile file(fw.File(), "firmware.hex");
        auto options = UpgradeOptions(file, "", {"-le", "-c1,115200,8,1,n,n"});
        options.steps = {{"transmitting following files:\n . \"firmware.hex\"\n" + okCancel,
                          [&] {
                              const std::string path = file.Folder() + "/firmware.hex";
                              if (inPlace) {
                                  std::ofstream(path, std::ios::binary | std::ios::trunc)
                                      << changed.File();
                              } else {
                                  std::ofstream(path + ".new", std::ios::binary) << changed.File();
                                  std::rename((path + ".new").c_str(), path.c_str());
                              }
                          },
                          "o\no\n"}};
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_SHOWN(run, Box("exclamation",
                              "File \"firmware.hex\" is wrong" + englishFailureEnding, okOnly));
        EXPECT_EQ(sim.Received(), identification) << (inPlace ? "rewritten" : "replaced");
        EXPECT_EQ(run.output.find("successfully"), std::string::npos);
    }
}

TEST(Integrity, FileChangedWhileBeingSentIsNotReportedAsSent) {
    // Far larger than what the reader holds at once, so that its end is read from the disk
    // after the change.
    Firmware fw(monitorA, false, 16, 1 << 20);
    const std::string file0 = fw.File();
    // The last data record, still a valid record, with other data.
    const std::string& lastData = fw.records[fw.records.size() - 2];
    const size_t last = file0.rfind(lastData);
    const std::string other =
        Record(static_cast<unsigned>(std::stoul(lastData.substr(3, 4), nullptr, 16)), 0,
               std::string((lastData.size() - 11) / 2, '\x33'));
    ASSERT_EQ(other.size(), lastData.size());
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
    options.steps = {{"---- Transmitting in progress... ----", nullptr, ""},
                     {"1%",
                      [&] {
                          std::fstream f(file.Path(),
                                         std::ios::in | std::ios::out | std::ios::binary);
                          f.seekp(static_cast<std::streamoff>(last));
                          f << other;
                      },
                      ""}};
    options.timeoutSeconds = 120;
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 1) << run.output.substr(
        run.output.size() > 2000 ? run.output.size() - 2000 : 0);
    EXPECT_SHOWN(
        run, Box("exclamation", "File \"firmware.hex\" is wrong" + englishFailureEnding, okOnly));
    const std::string wire = sim.Received();
    EXPECT_EQ(wire.find(endRecord), std::string::npos) << "the end record was held back";
    EXPECT_EQ(wire.find("EXITQEL"), std::string::npos);
}

TEST(Integrity, RecordsThatAreNotIntelHexNeverReachTheInstrument) {
    // Both sum to 0 when "GG" reads as 0 or the count is not compared with the data.
    const std::string nonHexPair = ":02010000GG42BB";
    const std::string wrongCount = ":0201000041BC";
    for (const auto& bad : {nonHexPair, wrongCount}) {
        Firmware fw(monitorA);
        fw.records.insert(fw.records.begin() + 2, bad);
        SimulatorProcess sim({"--monitor", monitorA});
        TempFile file(fw.File(), "firmware.hex");
        const auto run = Upgrade(file, "o\n");
        EXPECT_EQ(run.status, 1) << bad << "\n" << run.output;
        EXPECT_SHOWN(run, Box("exclamation",
                              "File \"firmware.hex\" is wrong" + englishFailureEnding, okOnly));
        EXPECT_EQ(sim.Received(), "") << bad;
    }
}

TEST(Integrity, MoreThan65535RecordsClimbTheGaugeToTheEnd) {
    // 65,540 records: a 16-bit count would make the gauge's range 4.
    auto records = DataRecords(std::string("\x01\x02", 2) + ListBytes(monitorA), 16, 0x100);
    while (records.size() < 65540 - 1)
        records.push_back(":0000000000"); // no data, still a record to acknowledge
    records.push_back(endRecord);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(Lines(records), "firmware.hex");
    auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n", "-w0"});
    options.timeoutSeconds = 600;
    const auto run = RunProgram(options);
    ASSERT_EQ(run.status, 0) << run.output.substr(0, 2000);
    const size_t begin = run.output.find("---- Transmitting in progress... ----");
    const size_t end = run.output.find("successfully done");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string shown = run.output.substr(begin, end - begin);
    std::vector<int> percents;
    const std::regex gauge(R"(\[[^\]\n]*?(\d+)%[^\]\n]*\])");
    for (std::sregex_iterator it(shown.begin(), shown.end(), gauge), last; it != last; ++it)
        percents.push_back(std::stoi((*it)[1]));
    std::vector<int> everyPercent;
    for (int p = 0; p <= 100; ++p)
        everyPercent.push_back(p);
    EXPECT_EQ(percents, everyPercent) << "one line per whole percentage, 100 at the end";
    const std::string wire = sim.Received();
    EXPECT_EQ(std::count(wire.begin(), wire.end(), '\n'), static_cast<long>(records.size()) + 6);
}

} // namespace
