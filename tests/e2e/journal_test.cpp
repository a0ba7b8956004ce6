// The upgrade journal: one JSON line per attempt, read back with a JSON parser.
#include "upgrade_helpers.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <regex>

namespace {

using namespace testfiles;
using namespace upgrade;
using json = nlohmann::json;

std::string Sha256sum(const std::string& path) {
    std::string out;
    if (std::FILE* p = ::popen(("sha256sum " + path).c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr)
            out += buffer;
        ::pclose(p);
    }
    return out.substr(0, out.find(' '));
}

TEST(Journal, ASuccessfulUpgradeIsOneLineWithEverythingAboutIt) {
    Pass p({"--monitor", monitorA, "--monitor", monitorB, "--state-codes", "0,7"},
           Firmware(monitorB), "o\no\n");
    ASSERT_EQ(p.run.status, 0) << p.run.output;
    const auto lines = p.Journal();
    ASSERT_EQ(lines.size(), 1u);
    const json& line = lines[0];
    EXPECT_TRUE(std::regex_match(line["time"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
        << line["time"];
    EXPECT_EQ(line["version"], "B.01 (2.1.0.0)");
    EXPECT_EQ(line["port"], 1);
    EXPECT_EQ(line["baud"], 115200);
    EXPECT_EQ(line["dataBits"], 8);
    EXPECT_EQ(line["stopBits"], 1);
    EXPECT_EQ(line["parity"], "none");
    EXPECT_EQ(line["handshake"], "none");
    EXPECT_EQ(line["monitors"], json::parse(R"([{"reference":"12345678A01","state":0},
                                                {"reference":"12345678B02","state":7}])"));
    ASSERT_EQ(line["files"].size(), 1u);
    EXPECT_EQ(line["files"][0]["name"], "firmware.hex");
    EXPECT_EQ(line["files"][0]["records"], p.fw.records.size());
    EXPECT_EQ(line["files"][0]["monitor"], 1);
    EXPECT_EQ(line["files"][0]["sha256"], Sha256sum(p.file.Path()));
    EXPECT_EQ(line["outcome"], "done");
    EXPECT_FALSE(line.contains("message"));
    EXPECT_GE(line["seconds"].get<double>(), 0.0);
}

TEST(Journal, AFailureNamesTheMessageShownAndACancelIsACancel) {
    Firmware fw(monitorA);
    {
        Pass p({"--monitor", monitorA, "--nack-lines", "2,3,4"}, fw, "o\nc\n");
        EXPECT_EQ(p.run.status, 1) << p.run.output;
        const auto lines = p.Journal();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["outcome"], "failed");
        EXPECT_EQ(lines[0]["message"], 46) << "Unable to transmit line, in English";
        EXPECT_EQ(lines[0]["reason"], 44) << "not accepted by the instrument";
    }
    {
        Pass p({"--monitor", monitorA}, fw, "c\n");
        EXPECT_EQ(p.run.status, 2) << p.run.output;
        const auto lines = p.Journal();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["outcome"], "cancelled");
        EXPECT_TRUE(lines[0]["files"].empty()) << "nothing was sent";
    }
    {
        // A port that cannot be opened: the system's own text.
        SimulatorProcess sim({"--monitor", monitorA});
        TempFile file(fw.File(), "firmware.hex");
        const std::string journal = file.Folder() + "/journal.jsonl";
        auto options = UpgradeOptions(file, "o\n", {"-le", "-c7,115200,8,1,n,n"});
        options.env["QEL32_JOURNAL"] = journal;
        EXPECT_EQ(RunProgram(options).status, 1);
        const auto lines = JournalLines(journal);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["outcome"], "failed");
        EXPECT_EQ(lines[0]["port"], 7);
        EXPECT_EQ(lines[0]["error"], "No such file or directory");
    }
}

TEST(Journal, EachInstrumentOfARepeatedRunHasItsLine) {
    Pass p({"--monitor", monitorA, "--identities", "12345678B02;12345678A01"},
           Firmware(monitorA + "|" + monitorB), "o\no\nc\n", {"-r"});
    EXPECT_EQ(p.run.status, 2) << p.run.output;
    const auto lines = p.Journal();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["outcome"], "done");
    EXPECT_EQ(lines[0]["monitors"][0]["reference"], monitorA);
    EXPECT_EQ(lines[1]["outcome"], "done");
    EXPECT_EQ(lines[1]["monitors"][0]["reference"], monitorB) << "the second instrument";
    EXPECT_EQ(lines[2]["outcome"], "cancelled");
}

TEST(Journal, AJournalThatCannotBeWrittenChangesNothing) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    // A folder where the journal should be: no file can be made there.
    const std::string journal = file.Folder() + "/journal.jsonl";
    ASSERT_EQ(::mkdir(journal.c_str(), 0700), 0);
    auto options = UpgradeOptions(file, "o\no\n", {"-le", "-c1,115200,8,1,n,n"});
    options.env["QEL32_JOURNAL"] = journal;
    const std::string own = file.Folder() + "/state";
    options.env["XDG_STATE_HOME"] = own;
    const auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(sim.Received(), WholePass(fw));
    // The line goes to the user's own journal, and the warning says so.
    EXPECT_SHOWN(run, "qel32: the upgrade journal " + journal +
                          " cannot be written (Is a directory): this attempt's line went to " +
                          own + "/qel32/journal.jsonl\n");
    EXPECT_EQ(JournalLines(own + "/qel32/journal.jsonl").size(), 1u);
    EXPECT_SHOWN(run, "successfully done");
    // Neither can be written: the warning alone, in French with the system's reason in the
    // user's locale.
    options.env["XDG_STATE_HOME"] = file.Path();
    EXPECT_SHOWN(RunProgram(options),
                 "qel32: the upgrade journal " + journal + " cannot be written (Is a directory)\n");
    options.args[0] = "-lf";
    options.env["LANG"] = "fr_FR.UTF-8";
    EXPECT_SHOWN(RunProgram(options), "qel32 : le journal des mises à jour " + journal +
                                          " ne peut être écrit (est un dossier)\n");
}

TEST(Journal, ByDefaultInTheUsersStateFolder) {
    Firmware fw(monitorA);
    SimulatorProcess sim({"--monitor", monitorA});
    TempFile file(fw.File(), "firmware.hex");
    auto options = UpgradeOptions(file, "c\n", {"-le", "-c1,115200,8,1,n,n"});
    options.env["QEL32_JOURNAL"] = "";
    options.env["XDG_STATE_HOME"] = file.Folder() + "/state";
    EXPECT_EQ(RunProgram(options).status, 2);
    EXPECT_EQ(JournalLines(file.Folder() + "/state/qel32/journal.jsonl").size(), 1u);
    // Without XDG_STATE_HOME: ~/.local/state.
    options.env["XDG_STATE_HOME"] = "";
    options.env["HOME"] = file.Folder() + "/home";
    EXPECT_EQ(RunProgram(options).status, 2);
    EXPECT_EQ(JournalLines(file.Folder() + "/home/.local/state/qel32/journal.jsonl").size(), 1u);
}

} // namespace
