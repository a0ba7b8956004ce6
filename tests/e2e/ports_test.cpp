// The serial port as a Linux user finds it: in any state another program left it, used run
// after run, paced before every line, and hung up.
#include "upgrade_helpers.h"

#include <cstdio>
#include <fstream>

namespace {

using namespace testfiles;
using namespace upgrade;

TEST(Ports, ALinePresetLikeANewTerminalUpgradesAndIsGivenBack) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA});
    // Canonical input, echo, CR/LF mapping, output processing: a freshly plugged adapter.
    ASSERT_EQ(std::system(("stty -F " + sim.Device() + " sane").c_str()), 0);
    const std::string before = CommandOutput("stty -F " + sim.Device() + " -g");
    ASSERT_FALSE(before.empty());
    TempFile file(fw.File(), "firmware.hex");
    const auto run = Upgrade(file, "o\no\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), WholePass(fw));
    EXPECT_EQ(CommandOutput("stty -F " + sim.Device() + " -g"), before)
        << "the line as it was found";
    sim.Stop();
    EXPECT_EQ(sim.Image(), fw.data);
}

TEST(Ports, RunAfterRunOnOnePort) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    for (int run = 1; run <= 2; ++run) {
        const auto result = Upgrade(file, "o\no\n");
        EXPECT_EQ(result.status, 0) << "run " << run << "\n" << result.output;
    }
    const std::string pass = WholePass(fw);
    EXPECT_EQ(sim.Received(), pass + pass);
}

TEST(Ports, EveryLineWaitsItsCharacterTimes) {
    // -w300 keeps 44 (8 bits); at 600 baud 44 character times of 10 bits are 733 ms.
    Firmware fw(monitorA, false, 64, 0);
    TempFile file(fw.File(), "firmware.hex");
    const std::string timeline = file.Folder() + "/timeline.txt";
    SimulatorProcess sim({"--monitor", monitorA, "--timeline", timeline});
    const auto run =
        RunProgram(UpgradeOptions(file, "o\no\n", {"-le", "-c1,600,8,1,n,n", "-w300"}));
    EXPECT_EQ(run.status, 0) << run.output;
    sim.Stop();
    std::ifstream in(timeline);
    std::vector<double> seconds;
    double at;
    std::string line;
    while (in >> at && std::getline(in, line))
        seconds.push_back(at);
    ASSERT_GE(seconds.size(), 8u);
    for (size_t i = 1; i < seconds.size(); ++i)
        EXPECT_GE(seconds[i] - seconds[i - 1], 0.7) << "before line " << i + 1;
}

TEST(Ports, AHungUpLineEndsInTheFailureBox) {
    Firmware fw(monitorA);
    // The first record line is left unanswered and the line closed for good.
    SimulatorProcess sim({"--monitor", monitorA, "--silent-lines", "1", "--hangup-after", "5"});
    TempFile file(fw.File(), "firmware.hex");
    const std::string locks = file.Folder() + "/locks";
    std::filesystem::create_directories(locks);
    auto options = UpgradeOptions(file, "o\n", {"-le", "-c1,115200,8,1,n,n"});
    options.env["QEL32_LOCKDIR"] = locks;
    // While the box is shown the port is closed already: an adapter plugged back in meanwhile
    // gets its own name back.
    bool lockedDuringBox = true;
    options.steps = {{"Input/output error",
                      [&] { lockedDuringBox = !std::filesystem::is_empty(locks); }, "c\n"}};
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_SHOWN(run,
                 Box("exclamation",
                     "Unable to transmit line:\n  \"" + fw.records[0] + "\"\nInput/output error" +
                         linkEnding.substr(0, linkEnding.size() - 1),
                     okCancel));
    EXPECT_FALSE(lockedDuringBox) << "the port was still held while the box was shown";
}

} // namespace
