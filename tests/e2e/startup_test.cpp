#include "program_runner.h"

#include <gtest/gtest.h>

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
    auto run = Start("", "", {"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Qel32 Version B.01 (2,1,0,0)\n");
    run = Start("en_US.UTF-8", "", {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "QEL.EXE: Command Line Options\n\n"
              "-r\n    . repeats last downloading without checking\n"
              "-l(f|e)\n    . forces french (f) or english (e) language\n"
              "-c(1|2|3|4|5|6|7|8),(600|1200|2400|4800|9600|19200|38400|57600|115200),(7|8),"
              "(1|2),(e|o|n|i),(s|h|n)\n    . forces communication parameters\n"
              "-w(X)\n    . force waiting for target ready characters quantity (default 5)\n");
    run = Start("fr_CA.UTF-8", "", {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("QEL.EXE: Options de la ligne de commande\n\n-r\n    . répète", 0),
              0u)
        << run.output;
}

TEST(StartUp, OnlyTheWholeArgumentListIsTakenForHelp) {
    // "--help -le" goes through the Windows rules: "-h" with the value "elp".
    const auto run = Start("", "", {"--help", "-le"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Unable to open file \"elp \""), std::string::npos) << run.output;
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
