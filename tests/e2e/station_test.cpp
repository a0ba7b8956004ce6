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
    // Run by an ordinary user (uid, its own group, no HOME): the work folder and the simulator's
    // ports folder open to them.
    ProgramOptions AsOperator(uid_t uid, const std::string& input) {
        ::chmod(file.Folder().c_str(), 0777);
        ::chmod(sim.PortsFolder().c_str(), 0755);
        auto options = Options(input);
        options.uid = options.gid = uid;
        options.unset = {"HOME"};
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
    options.env["QEL32_STATION"] = "line 7";
    options.env["QEL32_UNIT"] = "SN-42";
    options.steps = {
        {"following files", [] { std::this_thread::sleep_for(std::chrono::seconds(2)); }, "o\n"},
        {"successfully done", {}, "o\n"}};
    ASSERT_EQ(RunProgram(options).status, 0);
    const json line = station.OnlyLine();
    EXPECT_EQ(line["run"].get<std::string>().size(), 16u);
    EXPECT_EQ(line["pass"], 1);
    EXPECT_GE(line["end"], line["time"]);
    EXPECT_EQ(line["station"], "line 7");
    EXPECT_EQ(line["unit"], "SN-42");
    EXPECT_EQ(line["stage"], "transfer");
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
        EXPECT_EQ(line["stage"], "transfer");
        EXPECT_EQ(line["message"], 46);
        EXPECT_EQ(line["files"][0]["accepted"], 3) << "three records before the refused one";
        EXPECT_EQ(line["refusals"], 3);
        EXPECT_EQ(line["repeats"], 2);
    }
    {
        Station station({});
        ASSERT_EQ(RunProgram(station.Options("c\n")).status, 2);
        const json line = station.OnlyLine();
        EXPECT_EQ(line["stage"], "confirmation") << "nothing was sent to the unit";
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

// A device the user may not open: the command that adds the user to its group only when that
// group may read and write it (and is not root's); else an administrator must give access.
TEST(Station, APermissionHintNamesAGroupOnlyWhenJoiningItLetsTheUserIn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving the device to other users takes root";
    const uid_t operatorUid = 60003, otherOperator = 60004;
    const gid_t dialout = 60011;
    struct Case {
        uid_t owner;
        gid_t group;
        mode_t mode;
        std::string hint;
        json problem;
    };
    // root's alone (its group is never one to join), another operator's pty, and a group that
    // may use it.
    const Case cases[] = {
        {0,
         0,
         0660,
         " (root:root 0660), which this user may not use: an administrator must give "
         "access to it\n",
         {{"kind", "access"}, {"owner", "root"}, {"group", "root"}, {"mode", "0660"}}},
        {otherOperator,
         otherOperator,
         0600,
         " (60004:60004 0600), which this user may not use: an administrator must give access "
         "to it\n",
         {{"kind", "access"}, {"owner", "60004"}, {"group", "60004"}, {"mode", "0600"}}},
        {0,
         dialout,
         0660,
         ", which only the group 60011 may use: sudo usermod -aG 60011 60003, then log in again\n",
         {{"kind", "permission"}, {"group", "60011"}}},
    };
    for (const auto& c : cases) {
        Station station({});
        const std::string device = RealPath(station.sim.Device());
        ASSERT_EQ(::chown(device.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod(device.c_str(), c.mode), 0);
        const auto run = RunProgram(station.AsOperator(operatorUid, "o\n"));
        EXPECT_EQ(run.status, 1);
        EXPECT_SHOWN(run, "qel32: COM1 is " + device + c.hint);
        EXPECT_EQ(station.OnlyLine()["portProblem"], c.problem);
    }
}

// An unattended loop: each unit's serial read from the input (as a barcode reader types it), the
// boxes answered by kind from the station's settings. The second unit fails: its failure box is
// answered with the failure's answer, never with a confirmation's, and the loop stops there. One
// line per unit on standard error.
TEST(Station, AnUnattendedLoopTracesEachUnitAndStopsAtTheFirstFailure) {
    const Firmware fw(monitorA);
    const std::string n = std::to_string(fw.records.size());
    // The second unit's second record line, three times refused.
    const std::string refused = std::to_string(fw.records.size() + 2) + "," +
                                std::to_string(fw.records.size() + 3) + "," +
                                std::to_string(fw.records.size() + 4);
    for (const bool french : {false, true}) {
        Station station({"--nack-lines", refused}, fw);
        auto options = station.Options("SN-1\nSN-2\nSN-3\n", {french ? "-lf" : "-le", "-r"});
        options.env["QEL32_ASK_UNIT"] = "1";
        options.env["QEL32_ANSWERS"] = "confirmation=o,failure=c";
        options.env["QEL32_STATION"] = "line1";
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << run.output;
        const auto lines = JournalLines(station.journal);
        ASSERT_EQ(lines.size(), 2u) << run.output;
        EXPECT_EQ(lines[0]["unit"], "SN-1");
        EXPECT_EQ(lines[0]["outcome"], "done");
        EXPECT_EQ(lines[1]["unit"], "SN-2");
        EXPECT_EQ(lines[1]["outcome"], "failed");
        EXPECT_EQ(lines[0]["run"], lines[1]["run"]);
        EXPECT_EQ(lines[1]["pass"], 2);
        EXPECT_EQ(lines[1]["station"], "line1");
        const std::string total = "/" + n;
        EXPECT_SHOWN(run, french ? "qel32 : passage 1 : réussi, firmware.hex vers " + monitorA +
                                       ", " + n + total + " enregistrements, "
                                 : "qel32: pass 1: done, firmware.hex to " + monitorA + ", " + n +
                                       total + " records, ");
        EXPECT_SHOWN(run, french ? "qel32 : passage 2 : échoué, firmware.hex vers " + monitorA +
                                       ", 1" + total + " enregistrements, "
                                 : "qel32: pass 2: failed, firmware.hex to " + monitorA + ", 1" +
                                       total + " records, ");
        EXPECT_SHOWN(run, french ? ", appareil SN-2\n" : ", unit SN-2\n");
        EXPECT_EQ(run.output.find("SN-3"), std::string::npos) << "no unit after the failure";
    }
}

// A station journal that cannot be written loses no record: the operator's own journal takes
// the line, and says where. A station that requires its journal begins nothing it could not
// record.
TEST(Station, AStationJournalThatCannotBeWrittenLosesNoRecord) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a journal of root's group and an operator outside it take root";
    const uid_t outsider = 60005;
    for (const bool required : {false, true}) {
        Station station({});
        ::chmod(RealPath(station.sim.Device()).c_str(), 0666);
        std::ofstream(station.journal).close();
        ASSERT_EQ(::chown(station.journal.c_str(), 0, 60010), 0);
        ASSERT_EQ(::chmod(station.journal.c_str(), 0660), 0);
        const std::string own = station.file.Folder() + "/state";
        auto options = station.AsOperator(outsider, "o\no\n");
        options.env["XDG_STATE_HOME"] = own;
        if (required)
            options.env["QEL32_JOURNAL_REQUIRED"] = "1";
        const auto run = RunProgram(options);
        const auto lines = JournalLines(own + "/qel32/journal.jsonl");
        ASSERT_EQ(lines.size(), 1u) << run.output;
        EXPECT_EQ(JournalLines(station.journal).size(), 0u);
        const std::string warning = "qel32: the upgrade journal " + station.journal +
                                    " cannot be written (Permission denied)";
        EXPECT_SHOWN(run,
                     warning + ": this attempt's line went to " + own + "/qel32/journal.jsonl\n");
        if (!required) {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(lines[0]["outcome"], "done");
            continue;
        }
        EXPECT_EQ(run.status, 1);
        EXPECT_SHOWN(run, "The upgrade journal " + station.journal +
                              " cannot be written (Permission denied), and this station requires "
                              "it (QEL32_JOURNAL_REQUIRED): nothing was sent\n");
        EXPECT_EQ(station.sim.Received(), "") << "nothing sent";
        EXPECT_EQ(lines[0]["outcome"], "failed");
        EXPECT_EQ(lines[0]["stage"], "settings");
    }
}

} // namespace
