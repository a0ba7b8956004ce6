// A station that runs all shift: a journal line that traces each unit, failures of the port that
// say what to do, a journal shared by several operators, a start without HOME.
#include "upgrade_helpers.h"

#include <nlohmann/json.hpp>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace testfiles;
using namespace upgrade;
using json = nlohmann::json;

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

std::string UserName() {
    const passwd* user = ::getpwuid(::geteuid());
    return user != nullptr ? user->pw_name : std::to_string(::geteuid());
}

// One upgrade with its own journal, on the simulator as COM1 at 115200 baud.
struct Station {
    explicit Station(std::vector<std::string> simArgs,
                     const Firmware& firmware = Firmware(monitorA))
        : fw(firmware), sim([&] {
              simArgs.insert(simArgs.begin(), {"--monitor", monitorA});
              return simArgs;
          }()),
          file(fw.File(), "firmware.hex") {}
    ProgramOptions Options(const std::string& input, std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"-le", "-c1,115200,8,1,n,n"});
        auto options = UpgradeOptions(file, input, args);
        options.env["QEL32_JOURNAL"] = journal;
        return options;
    }
    json OnlyLine() {
        const auto lines = JournalLines(journal);
        EXPECT_EQ(lines.size(), 1u);
        return lines.empty() ? json() : lines.back();
    }
    Firmware fw;
    SimulatorProcess sim;
    TempFile file;
    std::string journal = file.Folder() + "/journal.jsonl";
};

// Who, where, through what, which file as opened, how far, what it took, and whose time.
TEST(Station, TheJournalTracesTheUnit) {
    // The second record line received is refused, the fourth goes unanswered: each is sent
    // again, and the silence is read through before the next record.
    Station station({"--nack-lines", "2", "--silent-lines", "4"});
    auto options = station.Options("");
    options.steps = {
        {"following files", [] { std::this_thread::sleep_for(std::chrono::seconds(2)); }, "o\n"},
        {"successfully done", {}, "o\n"}};
    ASSERT_EQ(RunProgram(options).status, 0);
    const json line = station.OnlyLine();
    EXPECT_EQ(line["user"], UserName());
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(line["host"], host);
    EXPECT_EQ(line["device"], RealPath(station.sim.Device()));
    EXPECT_FALSE(line.contains("adapter")) << "a pseudo-terminal is no USB adapter";
    ASSERT_EQ(line["files"].size(), 1u);
    EXPECT_EQ(line["files"][0]["path"], RealPath(station.file.Path()));
    EXPECT_EQ(line["files"][0]["accepted"], station.fw.records.size());
    EXPECT_EQ(line["refusals"], 1);
    EXPECT_EQ(line["timeouts"], 1);
    EXPECT_EQ(line["repeats"], 2);
    EXPECT_EQ(line["readThroughs"], 1);
    EXPECT_FALSE(line.contains("planned"));
    // The operator's two seconds at the confirmation are theirs, not the transfer's.
    const double seconds = line["seconds"], waited = line["operatorSeconds"],
                 transfer = line["transferSeconds"];
    EXPECT_GE(waited, 2.0);
    EXPECT_GE(transfer, 3.0) << "the line left unanswered waited its 3 s";
    EXPECT_LE(transfer + waited, seconds);
}

// A failed attempt says how far the file got; one that ended before any file went names the
// files that would have, with their digests.
TEST(Station, AnAttemptSaysHowFarItGot) {
    {
        Station station({"--nack-lines", "4,5,6"});
        ASSERT_EQ(RunProgram(station.Options("o\nc\n")).status, 1);
        const json line = station.OnlyLine();
        EXPECT_EQ(line["outcome"], "failed");
        EXPECT_EQ(line["message"], 46);
        EXPECT_EQ(line["files"][0]["accepted"], 3) << "three records before the refused one";
        EXPECT_EQ(line["refusals"], 3);
        EXPECT_EQ(line["repeats"], 2);
    }
    {
        Station station({});
        ASSERT_EQ(RunProgram(station.Options("c\n")).status, 2);
        const json line = station.OnlyLine();
        EXPECT_TRUE(line["files"].empty());
        ASSERT_EQ(line["planned"].size(), 1u);
        EXPECT_EQ(line["planned"][0]["name"], "firmware.hex");
        EXPECT_EQ(line["planned"][0]["path"], RealPath(station.file.Path()));
        EXPECT_EQ(line["planned"][0]["sha256"].get<std::string>().size(), 64u);
    }
}

// A signal that comes while a failure's box waits does not turn the failure into a cancel.
TEST(Station, ASignalWhileAFailureBoxWaitsLeavesTheFailure) {
    Station station({"--nack-lines", "4,5,6"});
    auto options = station.Options("o\n");
    options.steps = {{"Unable to transmit line", {}, "", SIGTERM}};
    EXPECT_EQ(RunProgram(options).status, 128 + SIGTERM);
    const json line = station.OnlyLine();
    EXPECT_EQ(line["outcome"], "failed");
    EXPECT_EQ(line["message"], 46);
    EXPECT_EQ(line["reason"], 44);
    EXPECT_EQ(line["signal"], SIGTERM);
}

// Started without HOME (cron, a udev rule, env -i): the home the password database gives.
TEST(Station, WithoutHomeTheJournalGoesToThePasswordDatabasesHome) {
    ProgramOptions options;
    options.args = {"--help"};
    options.unset = {"HOME", "XDG_STATE_HOME", "QEL32_JOURNAL"};
    const auto run = RunProgram(options);
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    EXPECT_SHOWN(run, "    " + std::string(user->pw_dir) + "/.local/state/qel32/journal.jsonl\n");
}

// After the box of a port that would not open, one line on standard error in the program's
// language: the device behind the number, and what to do.
TEST(Station, APortThatWillNotOpenSaysWhatToDo) {
    for (const bool french : {false, true}) {
        // Not there.
        Station station({});
        auto options = station.Options("o\n", {french ? "-lf" : "-le", "-c7,115200,8,1,n,n"});
        auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1);
        const std::string com7 = station.sim.PortsFolder() + "/COM7";
        const std::string listed = "COM1 (" + RealPath(station.sim.Device()) + ")";
        EXPECT_SHOWN(run, french ? "qel32 : COM7 est " + com7 +
                                       ", qui n'est pas là : branchez l'adaptateur, ou choisissez"
                                       " un autre port (présents : " +
                                       listed + ")\n"
                                 : "qel32: COM7 is " + com7 +
                                       ", which is not there: plug the adapter in, or choose "
                                       "another port (present: " +
                                       listed + ")\n");
        EXPECT_EQ(station.OnlyLine()["portProblem"], json::parse(R"({"kind":"absent"})"));
        // Held by another program, by its lock file.
        fs::remove(station.journal);
        const std::string locks = station.file.Folder() + "/locks";
        fs::create_directories(locks);
        const pid_t holder = ::fork();
        if (holder == 0) {
            ::execlp("sleep", "sleep", "30", nullptr);
            ::_exit(127);
        }
        std::string name = RealPath(station.sim.Device()).substr(5);
        std::replace(name.begin(), name.end(), '/', '_');
        std::ofstream(locks + "/LCK.." + name)
            << std::string(10 - std::to_string(holder).size(), ' ') << holder << "\n";
        options = station.Options("o\n", {french ? "-lf" : "-le"});
        options.env["QEL32_LOCKDIR"] = locks;
        run = RunProgram(options);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        EXPECT_EQ(run.status, 1);
        const std::string held = std::to_string(holder) + " (sleep)";
        EXPECT_SHOWN(run, french
                              ? "qel32 : COM1 est " + RealPath(station.sim.Device()) +
                                    ", tenu par le processus " + held + " : fermez ce programme\n"
                              : "qel32: COM1 is " + RealPath(station.sim.Device()) +
                                    ", held by process " + held + ": close that program\n");
        EXPECT_EQ(station.OnlyLine()["portProblem"],
                  (json{{"kind", "held"}, {"pid", holder}, {"program", "sleep"}}));
    }
}

// A device the user may not open: its group and the command that adds the user to it. Root
// opens anything, so this is the ordinary user's case.
TEST(Station, ADeviceTheUserMayNotOpenNamesItsGroup) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may open any device";
    Station station({});
    const std::string device = RealPath(station.sim.Device());
    struct stat st {};
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    const auto run = RunProgram(station.Options("o\n"));
    ::chmod(device.c_str(), st.st_mode & 07777);
    EXPECT_EQ(run.status, 1);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string group = owner->gr_name;
    EXPECT_SHOWN(run, "qel32: COM1 is " + device + ", which only the group " + group +
                          " may use: sudo usermod -aG " + group + " " + UserName() +
                          ", then log in again\n");
    EXPECT_EQ(station.OnlyLine()["portProblem"], (json{{"kind", "permission"}, {"group", group}}));
}

// A station journal that an administrator set up for several operators: a file of root's that
// their group may write, in a folder of root's. Each operator's attempts are appended.
TEST(Station, TwoOperatorsAppendToAStationJournal) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "setting up other users takes root";
    const uid_t operators[] = {60001, 60002};
    const gid_t station = 60010;
    Firmware fw(monitorA);
    TempFile file(fw.File(), "firmware.hex");
    ::chmod(file.Folder().c_str(), 0755);
    const std::string folder = file.Folder() + "/station";
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0755);
    const std::string journal = folder + "/journal.jsonl";
    std::ofstream(journal).close();
    ASSERT_EQ(::chown(journal.c_str(), 0, station), 0);
    ASSERT_EQ(::chmod(journal.c_str(), 0660), 0);
    for (const uid_t uid : operators) {
        SimulatorProcess sim({"--monitor", monitorA});
        ::chmod(RealPath(sim.Device()).c_str(), 0666);
        ::chmod(sim.PortsFolder().c_str(), 0755);
        auto options = UpgradeOptions(file, "c\n", {"-le", "-c1,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = journal;
        options.unset = {"HOME"};
        options.uid = uid;
        options.gid = uid;
        options.groups = {station};
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_EQ(run.output.find("cannot be written"), std::string::npos) << run.output;
    }
    const auto lines = JournalLines(journal);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["user"], "60001");
    EXPECT_EQ(lines[1]["user"], "60002");
}

} // namespace
