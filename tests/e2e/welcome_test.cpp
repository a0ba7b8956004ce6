// Without options: the language, the read-me, the welcome list of the current folder, the
// About box, the settings dialog, and the upgrade, against the simulator.
#include "../unit/hex_test_files.h"
#include "../unit/simulator_process.h"
#include "program_runner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace testfiles;

const std::string monitor = "12345678A01";

std::string Upgrade(const std::string& filler) {
    auto records = DataRecords(filler + ListBytes(monitor), 32);
    records.push_back(endRecord);
    return Lines(records);
}

// A folder of upgrade files the command is started in, as an installed command is; the program
// lies elsewhere, beside files of its own that it must not take.
class WorkingFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("qel32-folder-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder / "bin");
        fs::copy_file(ProgramPath(), folder / "bin" / "qel32",
                      fs::copy_options::overwrite_existing);
        Put("bin/BESIDE.HEX", Upgrade("beside"));
        Put("bin/README.TXT", "Beside the program\n");
        Put("bin/LISEZMOI.TXT", "A c\xF4t\xE9 du programme\n");
    }
    void TearDown() override { fs::remove_all(folder); }
    void Put(const std::string& name, const std::string& content) {
        std::ofstream(folder / name, std::ios::binary) << content;
    }
    ProgramRun Run(const std::string& input, std::vector<std::string> args = {},
                   const std::string& locale = "en_US.UTF-8", bool terminal = false,
                   uid_t user = 0) {
        ProgramOptions options;
        options.uid = options.gid = user;
        if (user != 0)
            options.unset = {"HOME"};
        options.terminal = terminal;
        options.program = (folder / "bin" / "qel32").string();
        options.args = std::move(args);
        options.input = input;
        options.env["LANG"] = locale;
        options.workingDirectory = folder.string();
        options.timeoutSeconds = 60;
        return RunProgram(options);
    }
    fs::path folder;
};

#define EXPECT_SHOWN(run, text)                                                                    \
    EXPECT_NE((run).output.find(text), std::string::npos) << "missing:\n"                          \
                                                          << (text) << "\nin:\n"                   \
                                                          << (run).output

TEST_F(WorkingFolder, NoOptionsFromTheLanguageToTheSuccessReport) {
    SimulatorProcess sim({"--monitor", monitor});
    Put("b.hex", Upgrade("bbbb"));
    Put("A.HEX", Upgrade("aaaa"));
    Put("c.Hex", Upgrade("cccc"));
    Put("firmware.bin", "not listed");
    fs::create_directory(folder / "dir.hex");
    Put(".hidden.hex", Upgrade("hidden"));
    // A release protected against writing is listed; a file this user cannot read is not. Root
    // reads it all the same: as root, an ordinary user runs the program.
    Put("d.hex", Upgrade("dddd"));
    fs::permissions(folder / "d.hex",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Put("e.hex", Upgrade("eeee"));
    fs::permissions(folder / "e.hex", fs::perms::none);
    Put("README.TXT", "Welcome!\n");
    const bool root = ::geteuid() == 0;
    if (root) {
        fs::permissions(folder, fs::perms::all);
        ::chmod(sim.Device().c_str(), 0666);
        ::chmod(sim.PortsFolder().c_str(), 0755);
    }
    // Language (proposal), read-me OK, Continue, settings OK, confirmation, report.
    const auto run = Run("\no\nc\n\no\no\n", {}, "en_US.UTF-8", false, root ? 60006 : 0);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_SHOWN(run, "---- Read me ----\nWelcome!\n");
    // Those of the current folder only: no BESIDE.HEX, no folder, no hidden file.
    EXPECT_SHOWN(run,
                 "Upgrading files list:\n    A.HEX\n    b.hex\n    c.Hex\n    d.hex\nButtons:");
    EXPECT_SHOWN(run, "Analysing file \"A.HEX\"");
    EXPECT_SHOWN(run, "Analysing file \"b.hex\"");
    EXPECT_SHOWN(run, "Analysing file \"c.Hex\"");
    // The first file that lists the monitor is sent to it.
    EXPECT_SHOWN(run, "following files:\n . \"A.HEX\"\nButtons");
    EXPECT_SHOWN(run, "successfully done for the files:\n . \"A.HEX\"\n");
    EXPECT_NE(sim.Received().find("EXITQEL\n"), std::string::npos);
}

// C0 and C1 controls, bytes that are no UTF-8 and line ends would be commands to the terminal
// or lines of their own (a success that never was): each is shown as \xHH.
TEST_F(WorkingFolder, NamesFromTheDiskCannotSendEscapeSequencesToTheTerminal) {
    Put("a\x1b]0;owned\x07.hex", Upgrade("a"));
    Put("b\xC2\x9B"
        "2J.hex",
        Upgrade("b"));
    Put("c\xFF.hex", Upgrade("c"));
    Put("d\nUpgrading has been successfully done.hex", Upgrade("d"));
    const auto run = Run("\no\ne\n");
    EXPECT_SHOWN(run, "Upgrading files list:\n    a\\x1B]0;owned\\x07.hex\n    b\\xC2\\x9B2J.hex\n"
                      "    c\\xFF.hex\n    d\\x0AUpgrading has been successfully done.hex\n");
    for (const char* raw : {"\x1b", "\xC2\x9B", "\xFF", "\nUpgrading has been"})
        EXPECT_EQ(run.output.find(raw), std::string::npos) << testing::PrintToString(raw);
    // In a box, a name is one line too.
    const auto named = Run("\no\n", {"-hd\nfake.hex"});
    EXPECT_SHOWN(named, "Unable to open file \"d\\x0Afake.hex\"");
}

TEST_F(WorkingFolder, SelectionModeSendsOnlyTheChosenFile) {
    SimulatorProcess sim({"--monitor", monitor});
    Put("b.hex", Upgrade("bbbb"));
    Put("A.HEX", Upgrade("aaaa"));
    Put("c.Hex", Upgrade("cccc"));
    const auto run = Run("\no\nu b.hex\nc\n\no\no\n", {"-s"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_SHOWN(run, "Upgrading files list:\n  > A.HEX\n    b.hex\n    c.Hex\n");
    EXPECT_EQ(run.output.find("Analysing file \"A.HEX\""), std::string::npos);
    EXPECT_SHOWN(run, "successfully done for the files:\n . \"b.hex\"\n");
    sim.Stop();
    EXPECT_NE(sim.Image().find("bbbb"), std::string::npos);
}

TEST_F(WorkingFolder, NoUpgradeFileEndsWithItsMessage) {
    Put("README.TXT", "r\n");
    const auto run = Run("\no\nc\n\n");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_SHOWN(run, "No upgrading file (.HEX) has been found in the current directory.\n\n"
                      "Unable to upgrade the instrument. Contact your resaler\n");
}

TEST_F(WorkingFolder, NoUpgradeFileInFrench) {
    Put("LISEZMOI.TXT", "r\n");
    const auto run = Run("o\nc\n\n", {"-lf"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_SHOWN(run, "---- qel32 [exclamation] ----\n"
                      "Aucun fichier de mise à jour (.HEX) n'a été trouvé dans le répertoire "
                      "courant de l'application.\n\n"
                      "Impossible d'effectuer la mise à jour. Contactez votre revendeur\n"
                      "Boutons : (o) OK ; Entrée : OK\n");
}

TEST_F(WorkingFolder, ExitEndsSilently) {
    Put("a.hex", Upgrade("a"));
    const auto run = Run("\no\ne\n");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_EQ(run.output.find("---- qel32 ["), std::string::npos) << "no box";
}

TEST_F(WorkingFolder, ReadMeAbsentOrWithLongLinesAndTabs) {
    Put("a.hex", Upgrade("a"));
    // Absent: the pane says so; the dialog still opens and closes.
    auto run = Run("\no\ne\n");
    EXPECT_SHOWN(run, "---- Read me ----\nUnable to open file \"README.TXT\"\nButtons: (o) OK");
    // LF-only line ends, a tab, a line longer than 254 characters, a last line without LF.
    const std::string longLine(300, 'x');
    Put("README.TXT", "first\n\tindented\n" + longLine + "\nlast");
    run = Run("\no\ne\n");
    EXPECT_SHOWN(run, "---- Read me ----\nfirst\n\tindented\n" + longLine + "\nlast\nButtons");
}

TEST_F(WorkingFolder, ReadMeInEachEncodingShowsItsText) {
    Put("a.hex", Upgrade("a"));
    const std::string shown = "---- Lisez-moi ----\nMise à jour, été €\n";
    for (const std::string& bytes :
         {std::string("Mise \xE0 jour, \xE9t\xE9 \x80\r\n"), // the Windows code page
          std::string("Mise à jour, été €\r\n"), std::string("\xEF\xBB\xBFMise à jour, été €\n")}) {
        Put("LISEZMOI.TXT", bytes);
        const auto run = Run("\nq\n", {"-lf"});
        EXPECT_SHOWN(run, shown);
        EXPECT_EQ(run.status, 2) << run.output;
    }
}

TEST_F(WorkingFolder, TerminalGetsTheTextInItsOwnCharacterSet) {
    Put("a.hex", Upgrade("a"));
    Put("LISEZMOI.TXT", "Mise \xE0 jour.\r\n");
    // A UTF-8 terminal gets UTF-8; one whose locale names no character set (ASCII) gets no
    // byte it cannot show.
    auto run = Run("\nq\n", {"-lf"}, "C.UTF-8", true);
    EXPECT_SHOWN(run, "Mise à jour.\n");
    EXPECT_SHOWN(run, "Boutons : (c) Continuer");
    run = Run("\nq\n", {"-lf"}, "C", true);
    EXPECT_SHOWN(run, "Boutons : (c) Continuer");
    EXPECT_TRUE(std::all_of(run.output.begin(), run.output.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    })) << run.output;
    EXPECT_SHOWN(run, "Mise ");
    // A pipe or a file gets UTF-8 whatever the locale.
    run = Run("\nq\n", {"-lf"}, "C", false);
    EXPECT_SHOWN(run, "Mise à jour.\n");
}

TEST_F(WorkingFolder, AboutShowsTheVersionAndHidesAnAbsentReadMe) {
    Put("a.hex", Upgrade("a"));
    Put("LISEZMOI.TXT", "en français\n"); // the English read-me is absent
    const auto run = Run("\no\na\nok\ne\n");
    EXPECT_SHOWN(run, "---- About... ----\nDownloading utility for upgrading instruments\n"
                      "Qel32 Version B.01 (2,1,0,0)\nButtons: (o) OK, (p) Options...; Enter: OK\n");
    EXPECT_EQ(run.status, 2) << run.output;
    // Back in the welcome dialog, which is shown again.
    EXPECT_NE(run.output.rfind("---- Upgrading instruments ----"),
              run.output.find("---- Upgrading instruments ----"));
}

} // namespace
