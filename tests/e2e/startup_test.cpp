#include "program_runner.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char* const languageDialog = "---- QEL ----\n"
                                   "Sélectionnez votre langue\n"
                                   "Select your language\n";

ProgramRun Start(const std::string& lang, const std::string& input,
                 std::vector<std::string> args = {}) {
    ProgramOptions options;
    options.args = std::move(args);
    options.input = input;
    if (!lang.empty())
        options.env["LANG"] = lang;
    return RunProgram(options);
}

TEST(StartUp, HelpAndVersionAsALinuxCommandGivesThem) {
    // The version as scripts read it: the name, then the dotted version as the last word.
    auto run = Start("", "", {"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "qel32 2.1.0.0\nQel32 Version B.01 (2,1,0,0)\n");
    // Every option, the files' folder, the statuses, the journal and an example.
    ProgramOptions options;
    options.args = {"--help"};
    options.env["LANG"] = "en_US.UTF-8";
    options.env["QEL32_JOURNAL"] = "/somewhere/journal.jsonl";
    run = RunProgram(options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("Usage: qel32 [options]\n\nqel32: Command Line Options\n\n"
                               "-r\n    . repeats last downloading without checking\n",
                               0),
              0u)
        << run.output;
    for (const char* shown :
         {"\n-l(f|e)\n", "\n-c(1|2|3|4|5|6|7|8),(600|", "\n-w(X)\n", "\n-h(file)\n", "\n-s\n",
          "\n-d\n", "\n-f\n", "\n--help\n", "\n--version\n", "taken from the\ncurrent directory",
          "Exit status: 0 upgrade done; 1 ", "3 trace ended with Cancel; 128 + n ended by signal n",
          ":\n    /somewhere/journal.jsonl\n",
          "Example:\n    qel32 -le -c 1,9600,8,1,n,n -h fw.hex\n"})
        EXPECT_NE(run.output.find(shown), std::string::npos) << shown << "\nin:\n" << run.output;
    options.env["LANG"] = "fr_CA.UTF-8";
    run = RunProgram(options);
    EXPECT_EQ(run.status, 0);
    for (const char* shown : {"Utilisation : qel32 [options]\n\nqel32: Options de la ligne de "
                              "commande\n\n-r\n    . répète",
                              "\n-h(fichier)\n", "dans le répertoire courant", "Code de sortie : 0",
                              "Exemple :\n    qel32 "})
        EXPECT_NE(run.output.find(shown), std::string::npos) << shown << "\nin:\n" << run.output;
}

// On a terminal the help is in the terminal's character set: an ASCII one gets no byte it
// cannot show; a pipe gets UTF-8 as every other text.
TEST(StartUp, HelpOnATerminalIsInItsCharacterSet) {
    ProgramOptions options;
    options.args = {"--help"};
    options.env["LANG"] = "C"; // French, in ASCII
    options.terminal = true;
    auto run = RunProgram(options);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("Utilisation : qel32 [options]"), std::string::npos) << run.output;
    EXPECT_TRUE(std::all_of(run.output.begin(), run.output.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    })) << run.output;
    options.terminal = false;
    EXPECT_NE(RunProgram(options).output.find("dans le répertoire courant"), std::string::npos);
}

// An option letter alone takes the next argument as its value, as on every Linux command.
TEST(StartUp, AnOptionsValueMayBeTheNextArgument) {
    ProgramOptions options;
    options.args = {"-l", "e", "-h", "missing file.hex"};
    auto run = RunProgram(options);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Unable to open file \"missing file.hex\""), std::string::npos)
        << run.output;
}

TEST(StartUp, OnlyTheWholeArgumentListIsTakenForHelp) {
    // "--help -le" goes through the options' rules: "-h" with the value "elp", then "-le".
    const auto run = Start("", "", {"--help", "-le"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Unable to open file \"elp\""), std::string::npos) << run.output;
}

TEST(StartUp, FrenchLocaleProposesFrench) {
    const auto run = Start("fr_FR.UTF-8", "\n");
    EXPECT_NE(run.output.find(languageDialog), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Buttons: (f) Français, (e) English; Enter: Français\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("==== Mise à jour des appareils ===="), std::string::npos)
        << run.output;
    // Next comes the read-me, in French; the end of the input closes what follows.
    EXPECT_NE(run.output.find("---- Lisez-moi ----"), std::string::npos) << run.output;
    EXPECT_EQ(run.status, 2);
}

TEST(StartUp, EnglishLocaleProposesEnglish) {
    const auto run = Start("en_US.UTF-8", "\n");
    EXPECT_NE(run.output.find("Enter: English\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("==== Upgrading instruments ===="), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("---- Read me ----"), std::string::npos) << run.output;
    EXPECT_EQ(run.status, 2) << "the end of the input closes what follows";
}

TEST(StartUp, NoLocaleProposesFrench) {
    EXPECT_NE(Start("", "\n").output.find("Enter: Français\n"), std::string::npos);
    EXPECT_NE(Start("C", "\n").output.find("Enter: Français\n"), std::string::npos);
    // A French region other than France and Canada proposes English.
    EXPECT_NE(Start("fr_BE.UTF-8", "\n").output.find("Enter: English\n"), std::string::npos);
}

TEST(StartUp, ButtonsAnswerToLetterAndText) {
    EXPECT_NE(Start("fr_FR.UTF-8", "e\n").output.find("==== Upgrading instruments"),
              std::string::npos);
    EXPECT_NE(Start("en_US.UTF-8", "FRANÇAIS\n").output.find("==== Mise à jour des appareils"),
              std::string::npos);
    const auto run = Start("en_US.UTF-8", "maybe\nf\n");
    EXPECT_NE(run.output.find("? Buttons:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("==== Mise à jour des appareils"), std::string::npos) << run.output;
}

TEST(StartUp, EndOfInputEndsSilentlyAsCancelled) {
    const auto run = Start("en_US.UTF-8", "");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output.find("Upgrading instruments"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("---- qel32"), std::string::npos) << "no message box";
    // Escape is the close box too.
    EXPECT_EQ(Start("en_US.UTF-8", "esc\n").status, 2);
}

TEST(StartUp, LanguageOptionSkipsTheDialog) {
    const auto run = Start("fr_FR.UTF-8", "", {"-le"});
    EXPECT_EQ(run.output.find("---- QEL ----"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("==== Upgrading instruments ===="), std::string::npos) << run.output;
    EXPECT_EQ(run.status, 2) << "the end of the input closes the read-me and the welcome";
    EXPECT_NE(Start("", "", {"-LF"}).output.find("==== Mise à jour des appareils"),
              std::string::npos);
}

TEST(StartUp, BackdropIsCaptionedWithTheProgramName) {
    const auto run = Start("", "", {"-le"});
    EXPECT_EQ(run.output.rfind("\n==== qel32 ====\n", 0), 0u) << run.output;
}

} // namespace
