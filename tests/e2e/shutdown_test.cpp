// The program ends cleanly whatever stops it, and trusts nothing another user placed: signals
// in the middle of a transfer, a reader that goes away, closed standard descriptors, the lock
// folder and the journal's way as another user may have set them up, names that would be
// commands to a terminal.
#include "upgrade_helpers.h"

#include <nlohmann/json.hpp>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace testfiles;
using namespace upgrade;

// A firmware long enough at 1200 baud to be stopped in the middle, a line preset as a freshly
// plugged adapter's, a lock folder and a journal of the test's own.
class Stop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(std::system(("stty -F " + sim.Device() + " sane").c_str()), 0);
        lineBefore = CommandOutput("stty -F " + sim.Device() + " -g");
        fs::create_directories(locks);
    }
    ProgramOptions Options(const std::string& input, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"-le", "-c1,1200,8,1,n,n"};
        args.insert(args.end(), extra.begin(), extra.end());
        auto options = UpgradeOptions(file, input, args);
        options.env["QEL32_LOCKDIR"] = locks;
        options.env["QEL32_JOURNAL"] = journal;
        return options;
    }
    // The line as it was found, the lock folder empty, one journal line with this outcome.
    void ExpectCleanEnd(const std::string& outcome) {
        EXPECT_EQ(CommandOutput("stty -F " + sim.Device() + " -g"), lineBefore);
        EXPECT_TRUE(fs::is_empty(locks)) << "a lock file stayed";
        const auto lines = JournalLines(journal);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["outcome"], outcome);
    }

    Firmware fw{monitorA, false, 16, 600};
    SimulatorProcess sim{{"--monitor", monitorA, "--baud", "1200"}};
    TempFile file{fw.File(), "firmware.hex"};
    std::string locks = file.Folder() + "/locks";
    std::string journal = file.Folder() + "/journal.jsonl";
    std::string lineBefore;
};

const std::string transmitting = "Transmitting file \"firmware.hex\"";

TEST_F(Stop, EachSignalInTheMiddleOfATransferEndsThroughTheProgramsOwnPaths) {
    for (const int signal : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
        fs::remove(journal);
        auto options = Options("o\no\n");
        options.steps = {{transmitting, {}, "", signal}};
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 128 + signal) << strsignal(signal) << "\n" << run.output;
        ExpectCleanEnd("cancelled");
        EXPECT_EQ(run.output.find("Unable to"), std::string::npos) << "no failure box";
    }
}

TEST_F(Stop, ASignalWhileTheInstrumentIsSilentEndsTheWaitAsACancel) {
    // Published as COM1 in place of the fixture's instrument while it lives.
    SimulatorProcess silent(
        {"--monitor", monitorA, "--baud", "1200", "--silent-queries", "1,2,3,4"});
    ASSERT_EQ(std::system(("stty -F " + silent.Device() + " sane").c_str()), 0);
    const std::string silentLine = CommandOutput("stty -F " + silent.Device() + " -g");
    auto options = Options("");
    // 1.5 s into the first of the identification's 5 s reads, which follow the analysis.
    options.steps = {{"100%", [] { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); },
                      "", SIGTERM}};
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 128 + SIGTERM) << run.output;
    EXPECT_EQ(silent.Received(), "QEL?\n") << "the wait ended at the signal";
    EXPECT_EQ(run.output.find("Unable to"), std::string::npos) << "no failure box";
    EXPECT_EQ(CommandOutput("stty -F " + silent.Device() + " -g"), silentLine);
    EXPECT_TRUE(fs::is_empty(locks)) << "a lock file stayed";
    const auto lines = JournalLines(journal);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["outcome"], "cancelled");
}

TEST_F(Stop, CtrlCOnATerminalIsTheCancelQuestionAndASecondOneEndsAtOnce) {
    const std::string question = "the instrument will not be operational";
    // No: the transfer goes on to its end.
    auto options = Options("");
    options.terminal = options.terminalInput = true;
    options.steps = {{"(o) OK", {}, "o\n"},
                     {transmitting, {}, "", SIGINT},
                     {question, {}, "n\n"},
                     {"successfully done", {}, "o\n"}};
    auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    ExpectCleanEnd("done");
    // A second Ctrl-C while it asks.
    fs::remove(journal);
    options.steps = {
        {"(o) OK", {}, "o\n"}, {transmitting, {}, "", SIGINT}, {question, {}, "", SIGINT}};
    run = RunProgram(options);
    EXPECT_EQ(run.status, 128 + SIGINT) << run.output;
    ExpectCleanEnd("cancelled");
}

// Ctrl-C suspends the wait under way (here an answer that takes 2 s, then the pause before the
// next line) for the question; No resumes it with the time it had left. Nothing is sent again,
// nothing is skipped: the wire is that of a run without Ctrl-C.
TEST(StopDeclined, CtrlCAnsweredNoChangesNothingOnTheWire) {
    const Firmware fw(monitorA);
    const std::string question = "the instrument will not be operational";
    std::string wires[2];
    for (const bool interrupted : {false, true}) {
        TempFile file(fw.File(), "firmware.hex");
        const std::string timeline = file.Folder() + "/timeline";
        SimulatorProcess sim({"--monitor", monitorA, "--late-lines", "2", "--late-ms", "2000",
                              "--timeline", timeline});
        // 100 character times at 1200 baud: 833 ms before each line.
        auto options = UpgradeOptions(file, "", {"-le", "-c1,1200,8,1,n,n", "-w100"});
        options.terminal = options.terminalInput = true;
        const std::string record2 = fw.records[1] + "\n";
        std::chrono::steady_clock::time_point received{}; // the second record reached the monitor
        options.steps = {{"(o) OK", {}, "o\n"}};
        if (interrupted) {
            // Inside the wait for the second record's answer (due 2 s after it), then inside the
            // pause after that answer.
            const auto receivedThen = [&sim, &received, record2] {
                for (int i = 0; i < 3000 && sim.Received().find(record2) == std::string::npos; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                received = std::chrono::steady_clock::now();
                std::this_thread::sleep_for(std::chrono::milliseconds(700));
            };
            const auto inThePause = [&received] {
                std::this_thread::sleep_until(received + std::chrono::milliseconds(2400));
            };
            options.steps.push_back({transmitting, receivedThen, "", SIGINT});
            options.steps.push_back({question, {}, "n\n"});
            options.steps.push_back({"", inThePause, "", SIGINT});
            options.steps.push_back({question, {}, "n\n"});
        }
        options.steps.push_back({"successfully done", {}, "o\n"});
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 0) << run.output;
        wires[interrupted] = sim.Received();
        // The third record left no sooner than the second's answer (2 s) and the whole pause
        // (833 ms) after the second arrived: a declined stop does not cut a wait short.
        std::ifstream times(timeline);
        std::map<std::string, double> arrived;
        double at = 0;
        for (std::string line; times >> at && std::getline(times >> std::ws, line);)
            arrived.emplace(line, at);
        EXPECT_GE(arrived[fw.records[2]] - arrived[fw.records[1]], 2.833) << interrupted;
        if (interrupted) {
            const auto first = run.output.find(question);
            ASSERT_NE(first, std::string::npos) << run.output;
            EXPECT_NE(run.output.find(question, first + 1), std::string::npos) << run.output;
        }
    }
    EXPECT_EQ(wires[1], wires[0]);
    EXPECT_EQ(wires[0], WholePass(fw));
}

// A declined Ctrl-C resumes the wait it came in, the time its question took given back: a record
// left unanswered goes again one time limit after it left, not one limit after the Ctrl-C.
TEST(StopDeclined, ADeclinedCtrlCResumesTheWaitItCameIn) {
    const Firmware fw(monitorA);
    TempFile file(fw.File(), "firmware.hex");
    const std::string timeline = file.Folder() + "/timeline";
    SimulatorProcess sim({"--monitor", monitorA, "--silent-lines", "2", "--timeline", timeline});
    auto options = UpgradeOptions(file, "", {"-le", "-c1,115200,8,1,n,n"});
    options.terminal = options.terminalInput = true;
    using Clock = std::chrono::steady_clock;
    Clock::time_point signalled{}, answered{};
    const std::string record = fw.records[1] + "\n";
    options.steps = {
        {"(o) OK", {}, "o\n"},
        {transmitting,
         [&] { // 2.5 s into the 3 s that the record's first copy waits for its answer
             for (int i = 0; i < 3000 && sim.Received().find(record) == std::string::npos; ++i)
                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
             std::this_thread::sleep_for(std::chrono::milliseconds(2500));
             signalled = Clock::now();
         },
         "", SIGINT},
        {"the instrument will not be operational", [&] { answered = Clock::now(); }, "n\n"},
        {"successfully done", {}, "o\n"}};
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    std::ifstream times(timeline);
    std::vector<double> copies;
    double at = 0;
    for (std::string line; times >> at && std::getline(times >> std::ws, line);)
        if (line == fw.records[1])
            copies.push_back(at);
    ASSERT_EQ(copies.size(), 2u);
    const double asked = std::chrono::duration<double>(answered - signalled).count();
    EXPECT_GE(copies[1] - copies[0], 3.0);
    EXPECT_LT(copies[1] - copies[0], 3.0 + asked + 1.0) << "restarted, it would be 2.5 s more";
}

TEST_F(Stop, CancelInATraceBoxGivesTheLineBackAndTheLock) {
    auto options = Options("o\n", {"-d"}); // the compatibility list, then the first line sent
    options.steps = {{"Following line has just been sent:\nQEL?", {}, "c\n"}};
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_EQ(CommandOutput("stty -F " + sim.Device() + " -g"), lineBefore);
    EXPECT_TRUE(fs::is_empty(locks));
}

TEST(Output, AReaderThatGoesAwayNeverStopsTheUpgrade) {
    Firmware fw(monitorA, false, 16, 300);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    const std::string journal = file.Folder() + "/journal.jsonl";
    auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
    options.env["QEL32_JOURNAL"] = journal;
    options.outputReadLimit = 300; // as | head -c 300
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), WholePass(fw));
    sim.Stop();
    EXPECT_EQ(sim.Image(), fw.data);
    const auto lines = JournalLines(journal);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["outcome"], "done");
}

// A closed descriptor would be taken by the next file opened: the port, the firmware, the
// journal, whose bytes would then go where the console's do.
TEST(Output, ClosedStandardDescriptorsAreNoOnesToTake) {
    Firmware fw(monitorA);
    const std::string whole = WholePass(fw);
    for (const int fd : {0, 1, 2}) {
        SimulatorProcess sim({"--monitor", monitorA});
        TempFile file(fw.File(), "firmware.hex");
        auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = "/proc/no/journal"; // its warning goes to standard error
        options.closed = {fd};
        options.timeoutSeconds = 30;
        const auto run = RunProgram(options);
        // Without input the confirmation is the close box: nothing is sent after identifying.
        EXPECT_EQ(run.status, fd == 0 ? 2 : 0) << "descriptor " << fd << "\n" << run.output;
        EXPECT_EQ(sim.Received(), fd == 0 ? identification : whole) << "descriptor " << fd;
    }
}

TEST(Locks, WhatAnotherUserLeftInTheLockFolderNeverHoldsTheProgram) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    const std::string locks = file.Folder() + "/locks";
    fs::create_directories(locks);
    const std::string lock = locks + "/LCK.." +
                             fs::path(sim.Device()).parent_path().filename().string() + "_" +
                             fs::path(sim.Device()).filename().string();
    auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
    options.env["QEL32_LOCKDIR"] = locks;
    options.timeoutSeconds = 30;
    // A FIFO under the lock's name: no lock, and no wait for a writer.
    ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0);
    auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(fs::is_empty(locks)) << "the FIFO is no lock and goes";
    // A live process's lock in the short ASCII form, four bytes as a binary one would be: the
    // port is that process's (init's, which is always there).
    std::ofstream(lock) << "  1\n";
    run = RunProgram(options);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_SHOWN(run, "Permission denied");
    EXPECT_TRUE(fs::exists(lock)) << "another's lock is left alone";
    // A link under the lock's name, to that same live lock: no lock of the port's. The link
    // goes, never what it points to.
    const std::string target = file.Folder() + "/planted";
    fs::rename(lock, target);
    fs::create_symlink(target, lock);
    run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(fs::is_empty(locks)) << "the link is no lock and goes";
    std::ifstream planted(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(planted), {}), "  1\n");
}

// Run as root, with the journal's way through what an ordinary user owns.
class SharedJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "another user's files: as root only";
    }
    ProgramRun UpgradeWith(const std::string& journal) {
        SimulatorProcess sim({"--monitor", monitorA});
        auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = journal;
        options.timeoutSeconds = 30;
        auto run = RunProgram(options);
        wire = sim.Received();
        return run;
    }
    void ExpectUnchangedUpgrade(const ProgramRun& run) {
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(wire, WholePass(fw));
    }
    Firmware fw{monitorA};
    TempFile file{fw.File(), "firmware.hex"};
    std::string wire;
    static constexpr uid_t nobody = 65534;
};

TEST_F(SharedJournal, ALinkAnotherUserPlacedIsNotFollowed) {
    const fs::path target = fs::path(file.Folder()) / "root-only";
    std::ofstream(target) << "root's own\n";
    ::chmod(target.c_str(), 0600);
    // A folder the user owns, and in a folder of root's a link the user owns.
    for (const bool usersFolder : {true, false}) {
        const fs::path state = fs::path(file.Folder()) / (usersFolder ? "users" : "roots");
        fs::create_directories(state / "qel32");
        if (usersFolder) {
            ::chown(state.c_str(), nobody, nobody);
            ::chown((state / "qel32").c_str(), nobody, nobody);
        }
        fs::create_symlink(target, state / "qel32" / "journal.jsonl");
        ::lchown((state / "qel32" / "journal.jsonl").c_str(), nobody, nobody);
        const auto run = UpgradeWith((state / "qel32" / "journal.jsonl").string());
        ExpectUnchangedUpgrade(run);
        std::ifstream in(target);
        const std::string content((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(content, "root's own\n") << (usersFolder ? "user's folder" : "user's link");
        EXPECT_SHOWN(run, usersFolder ? "its folder belongs to another user"
                                      : "is a link that another user owns");
    }
}

TEST_F(SharedJournal, AFullDiskNeverChangesAnUpgrade) {
    // A disk with no room left.
    const fs::path disk = fs::path(file.Folder()) / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "no tmpfs here";
    const std::string journal = (disk / "journal.jsonl").string();
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        filler << std::string(16 * 1024, 'x'); // as much as it takes, the rest refused
    }
    std::ofstream(journal) << "";
    const auto full = UpgradeWith(journal);
    ExpectUnchangedUpgrade(full);
    EXPECT_SHOWN(full, "No space left on device");
    fs::remove(disk / "filler");
    ExpectUnchangedUpgrade(UpgradeWith(journal));
    const auto lines = JournalLines(journal);
    ::umount(disk.c_str());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["outcome"], "done");
}

TEST(TornJournal, AFifoIsNeverWaitedFor) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    const std::string fifo = file.Folder() + "/fifo.jsonl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
    options.env["QEL32_JOURNAL"] = fifo;
    options.timeoutSeconds = 30;
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), WholePass(fw));
    EXPECT_SHOWN(run, "it is not a regular file");
}

TEST(TornJournal, ALineAfterATornOneStartsOnALineOfItsOwn) {
    Firmware fw(monitorA);
    TempFile file(fw.File(), "firmware.hex");
    const std::string journal = file.Folder() + "/journal.jsonl";
    std::ofstream(journal, std::ios::binary) << "{\"time\":\"2026-12-08T00:00:00Z\",\"outc";
    for (const long limit : {200L, -1L}) { // a size limit that tears the line, then none
        SimulatorProcess sim({"--monitor", monitorA});
        auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = journal;
        options.fileSizeLimit = limit;
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 0) << run.output;
    }
    bool allParse = true;
    const auto lines = JournalLines(journal, &allParse);
    EXPECT_FALSE(allParse) << "the torn lines stay as they are";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["outcome"], "done");
}

} // namespace
