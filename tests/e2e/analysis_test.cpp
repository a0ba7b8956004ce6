#include "../unit/hex_test_files.h"
#include "program_runner.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

using namespace testfiles;

const std::string englishEnding = ".\n\nUnable to upgrade the instrument. Contact your resaler\n";
const std::string frenchEnding =
    ".\n\nImpossible d'effectuer la mise à jour. Contactez votre revendeur\n";

std::string SoundFile(size_t filler = 2000) {
    auto lines =
        DataRecords(std::string(filler, '\x42') + ListBytes("12345678A01|12345678B02"), 32);
    lines.push_back(endRecord);
    return Lines(lines);
}

ProgramRun Analyse(const TempFile& file, const std::string& input, const std::string& language,
                   const std::string& nameOption) {
    ProgramOptions options;
    options.args = {"-l" + language, "-h" + nameOption};
    options.input = input;
    options.workingDirectory = file.Folder();
    options.env["QEL32_PORTS"] = file.Folder(); // no port at all: nothing real is touched
    return RunProgram(options);
}

// After a sound analysis the run opens the link: the settings dialog, which the end of the
// input closes (status 2).
const std::string settingsDialog = "---- Opening communication with the instrument ----";
const std::string settingsDialogFrench = "---- Ouverture de la liaison avec l'appareil ----";

TEST(AnalysisE2E, SoundFileAnalysesToOk) {
    TempFile file(SoundFile(), "Firmware.HEX");
    // The name as typed, found as Windows would find it: the only file it can stand for.
    const auto run = Analyse(file, "", "e", "FIRMWARE.HEX");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find(settingsDialog), std::string::npos) << run.output;
    EXPECT_NE(
        run.output.find("---- Analysing in progress... ----\nAnalysing file \"FIRMWARE.HEX\"\n"
                        "In progress...\n"),
        std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("100%"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("---- qel32 ["), std::string::npos) << "no box: " << run.output;
    EXPECT_NE(run.output.find("In progress...\nButtons: Cancel (answer esc or cancel)\n"),
              std::string::npos)
        << "how to press the Cancel of a dialog that never waits:\n"
        << run.output;
}

struct FailureCase {
    const char* what;
    std::string content;
    std::string english;
    std::string french;
};

TEST(AnalysisE2E, EachFailureShowsItsMessageAndEndsWithStatusOne) {
    auto badSum = DataRecords(ListBytes("12345678A01"), 16);
    badSum[0].back() = badSum[0].back() == '0' ? '1' : '0';
    badSum.push_back(endRecord);
    auto noEnd = DataRecords(ListBytes("12345678A01"), 16);
    auto badList = DataRecords(ListBytes("12345678a01"), 16);
    badList.push_back(endRecord);
    const std::vector<FailureCase> cases = {
        {"damaged record", Lines(badSum), "File \"u.hex\" is wrong",
         "Le fichier \"u.hex\" n'est pas intègre"},
        {"no end record", Lines(noEnd), "File \"u.hex\" is wrong",
         "Le fichier \"u.hex\" n'est pas intègre"},
        {"malformed list", Lines(badList), "The compatibility list of the file  \"u.hex\" is wrong",
         "La liste de compatibilité du fichier \"u.hex\" n'est pas intègre"},
        {"no list", Lines({Record(0, 0, "abc"), endRecord}),
         "No compatibility list has been found in the file \"u.hex\"",
         "Aucune liste de compatibilité n'a été trouvée dans le fichier \"u.hex\""},
    };
    for (const auto& c : cases) {
        TempFile file(c.content, "u.hex");
        auto run = Analyse(file, "\n", "e", "u.hex");
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.output.find("---- qel32 [exclamation] ----\n" + c.english + englishEnding +
                                  "Buttons: (o) OK; Enter: OK\n"),
                  std::string::npos)
            << c.what << "\n"
            << run.output;
        run = Analyse(file, "\n", "f", "u.hex");
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.output.find(c.french + frenchEnding), std::string::npos) << c.what << "\n"
                                                                               << run.output;
    }
}

TEST(AnalysisE2E, FileThatCannotBeOpened) {
    TempFile file(SoundFile(), "present.hex");
    const auto run = Analyse(file, "", "e", "absent.hex");
    EXPECT_EQ(run.status, 1);
    const size_t box = run.output.find(
        "Unable to open file \"absent.hex\"\nNo such file or directory" + englishEnding);
    EXPECT_NE(box, std::string::npos) << run.output;
    // The box belongs to the analysis dialog: it comes after that dialog's heading.
    EXPECT_LT(run.output.find("---- Analysing in progress... ----"), box) << run.output;
    // "-h" followed by a blank and another option, in one argument as Windows hands a line:
    // the name is a single blank.
    ProgramOptions options;
    options.args = {"-h -le"};
    options.workingDirectory = file.Folder();
    const auto blank = RunProgram(options);
    EXPECT_EQ(blank.status, 1);
    EXPECT_NE(blank.output.find("Unable to open file \" \""), std::string::npos) << blank.output;
}

// The system's reason speaks the locale's language; the program's own texts keep the language
// chosen.
TEST(AnalysisE2E, TheSystemsReasonIsInTheUsersLanguage) {
    TempFile file(SoundFile(), "present.hex");
    ProgramOptions options;
    options.workingDirectory = file.Folder();
    options.env["LANG"] = "fr_FR.UTF-8";
    for (const auto& [language, box] :
         {std::pair<std::string, std::string>{"-lf", "Impossible d'ouvrir le fichier"},
          {"-le", "Unable to open file"}}) {
        options.args = {language, "-habsent.hex"};
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(box + " \"absent.hex\"\nAucun fichier ou dossier de ce type" +
                                  (language == "-lf" ? frenchEnding : englishEnding)),
                  std::string::npos)
            << run.output << "\n(is the fr_FR.UTF-8 locale installed? scripts/setup.sh makes it)";
    }
    // LC_ALL rules over LANG, as everywhere.
    options.env["LC_ALL"] = "C";
    EXPECT_NE(RunProgram(options).output.find("\nNo such file or directory" + englishEnding),
              std::string::npos);
}

TEST(AnalysisE2E, WhatIsNotAFileIsRefusedAtOnceWithTheSystemsReason) {
    TempFile file(SoundFile(), "present.hex");
    const std::string fifo = file.Folder() + "/pipe.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(file.Folder() + "/folder.hex");
    const std::pair<std::string, std::string> cases[] = {
        {"pipe.hex", "Invalid argument"},  // nobody will ever write into it
        {"/dev/zero", "Invalid argument"}, // endless, and no line ever begins with ':'
        {"folder.hex", "Is a directory"},
    };
    for (const auto& [name, reason] : cases) {
        ProgramOptions options;
        options.args = {"-le", "-h" + name};
        options.workingDirectory = file.Folder();
        options.timeoutSeconds = 20;
        const auto run = RunProgram(options);
        EXPECT_EQ(run.status, 1) << name << "\n" << run.output;
        EXPECT_NE(
            run.output.find("Unable to open file \"" + name + "\"\n" + reason + englishEnding),
            std::string::npos)
            << name << "\n"
            << run.output;
    }
}

TEST(AnalysisE2E, CancelIsServedInAFileOfLinesThatAreNoRecords) {
    // 16 MB of comments and no end record: read in one step, Cancel would come too late and
    // the damaged file would be reported instead.
    std::string comments;
    const std::string line(200, ';');
    while (comments.size() < (16u << 20))
        comments += line + "\n";
    TempFile file(comments, "notes.hex");
    const auto run = Analyse(file, "esc\ny\n", "e", "notes.hex");
    EXPECT_EQ(run.status, 2) << run.output.substr(0, 4000);
    EXPECT_EQ(run.output.find("100%"), std::string::npos);
    EXPECT_EQ(run.output.find("is wrong"), std::string::npos);
}

TEST(AnalysisE2E, CancelAsksAndYesEndsWithStatusTwo) {
    TempFile file(SoundFile(200000), "big.hex");
    const auto run = Analyse(file, "esc\ny\n", "e", "big.hex");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("---- qel32 [question] ----\nDo you want to abort the upgrading "
                              "process ?\nButtons: (y) Yes, (n) No; Enter: No\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("100%"), std::string::npos) << "stopped before the end";
}

TEST(AnalysisE2E, CancelThenNoGoesOn) {
    TempFile file(SoundFile(200000), "big.hex");
    const auto run = Analyse(file, "annuler\nn\n", "f", "big.hex");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find(settingsDialogFrench), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Voulez-vous vraiment annuler la procédure de mise à jour ?"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("100%"), std::string::npos);
}

TEST(AnalysisE2E, LinesMeantForLaterBoxesAreNotTakenAsCancel) {
    TempFile file(SoundFile(20000), "f.hex");
    // "c" is the Cancel of the settings dialog that follows, not of the analysis.
    const auto run = Analyse(file, "c\n", "e", "f.hex");
    EXPECT_EQ(run.output.find("[question]"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(settingsDialog + "\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("> c\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.status, 2);
}

} // namespace
