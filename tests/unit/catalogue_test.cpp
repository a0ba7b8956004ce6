#include "app/messages.h"
#include "app/upgrade_app.h"
#include "res/catalogue.h"

#include <gtest/gtest.h>

namespace {

using res::Msg;

TEST(Catalogue, LanguagePicksOddOrEvenIdentifier) {
    for (int id = 3; id <= 83; id += 2) {
        const auto message = static_cast<Msg>(id);
        EXPECT_EQ(CatalogueText(message, 0), res::LoadString(id)) << id;
        EXPECT_EQ(CatalogueText(message, 1), res::LoadString(id + 1)) << id;
        EXPECT_EQ(CatalogueText(message, 7), res::LoadString(id + 1)) << "any non-zero is English";
        EXPECT_FALSE(res::LoadString(id).empty()) << "no gap at " << id;
        EXPECT_FALSE(res::LoadString(id + 1).empty()) << "no gap at " << id + 1;
    }
    EXPECT_EQ(CatalogueText(Msg::Version, 0), "Version");
    EXPECT_EQ(CatalogueText(Msg::Version, 1), "Version");
    EXPECT_EQ(res::LoadString(86), "");
    EXPECT_EQ(res::LoadString(1), "");
    EXPECT_EQ(res::LoadString(101), "&A propos de Qel32...");
}

// Texts whose spacing and punctuation are easy to get wrong.
TEST(Catalogue, DelicateTextsAreExact) {
    const std::pair<int, const char*> table[] = {
        {60, "The compatibility list of the file  \"%1\" is wrong"},
        {45, "Impossible de transmettre la ligne:\n  \"%1\""},
        {46, "Unable to transmit line:\n  \"%1\""},
        {51, "Impossible de transmettre la commande \"%1\""},
        {52, "Unable to transmit command:\n  \"%1\""},
        {57, "Voulez-vous vraiment annuler la procédure de mise à jour ?"},
        {58, "Do you want to abort the upgrading process ?"},
        {62, "The instrument cant be upgraded without intervention in the factory"},
        {69, "En arrêtant maintenant la procédure de mise à jour, l'appareil ne sera pas "
             "opérationnel.\n\nVoulez-vous vraiment interrompre la procédure de mise à jour ?"},
        {75, "Comparaison références:\nMoniteur appareil:\t\"%1\"\nMoniteurs compatibles:\t "
             "\"%2\""},
        {76, "Compare references:\nInstrument Monitor:\t\"%1\"\nCompatibles Monitors:\t \"%2\""},
        {21, "N° d'ID invalide ou non supporté"},
        {36, "Unsupported baudrate"},
        {13, "Impossible d'allouer le chronomètre"},
        {83, "Mise à jour des appareils"},
        {84, "Upgrading instruments"},
    };
    for (const auto& [id, text] : table)
        EXPECT_EQ(res::LoadString(id), text) << id;
}

TEST(Catalogue, PlaceholdersAreReplacedInOnePass) {
    EXPECT_EQ(FormatCatalogueText("File \"%1\" is wrong", "a%2b", "X"), "File \"a%2b\" is wrong");
    EXPECT_EQ(FormatCatalogueText("%2-%1", "one", "two"), "two-one");
    EXPECT_EQ(FormatCatalogueText("100%", "x"), "100%");
    EXPECT_EQ(FormatCatalogueText("%1%1", "\"\n"), "\"\n\"\n");
}

class Endings : public ::testing::Test {
  protected:
    CUpgradeApp app;
};

TEST_F(Endings, FailureEndingInBothLanguages) {
    app.language = 1;
    std::string message = app.Message(Msg::NoUpgradeFile);
    app.AppendFailureEnding(message);
    EXPECT_EQ(message, "No upgrading file (.HEX) has been found in the current directory.\n\n"
                       "Unable to upgrade the instrument. Contact your resaler");
    app.language = 0;
    message = app.Message(Msg::FileWrong, "A.HEX");
    app.AppendFailureEnding(message);
    EXPECT_EQ(message, "Le fichier \"A.HEX\" n'est pas intègre.\n\n"
                       "Impossible d'effectuer la mise à jour. Contactez votre revendeur");
}

TEST_F(Endings, LinkCheckEndingInBothLanguages) {
    app.language = 0;
    std::string message = app.Message(Msg::UnableToIdentify);
    app.AppendLinkCheckEnding(message);
    EXPECT_EQ(message, "Impossible d'identifier l'appareil.\n\n"
                       "Vérifiez le cordon de liaison et les paramètres de communication\n"
                       "ou bien fermez les autres applications utilisant ce port.");
    app.language = 1;
    message = app.Message(Msg::UnableToIdentify);
    app.AppendLinkCheckEnding(message);
    EXPECT_EQ(message, "Unable to identify the instrument.\n\n"
                       "Verify the link cable and the communication parameters\n"
                       "or close other applications using this port.");
}

// Every box of a failure is made one way: the message, the reason and the system's text each on
// a line of its own, the system's own line end and period dropped before the ending's period.
TEST_F(Endings, AFailureIsMessageReasonSystemTextAndEnding) {
    app.language = 1;
    EXPECT_EQ(app.FailureText({Msg::CannotSendLine, ":00000001FF", Msg::LineRefused, "",
                               res::Ending::LinkCheck}),
              "Unable to transmit line:\n  \":00000001FF\"\n"
              "The line has not be accepted by the instrument.\n\n"
              "Verify the link cable and the communication parameters\n"
              "or close other applications using this port.");
    EXPECT_EQ(app.FailureText({Msg::None, "", Msg::None, "File not found.\r\n"}),
              "File not found.\n\nUnable to upgrade the instrument. Contact your resaler");
    app.language = 0;
    EXPECT_EQ(app.FailureText({Msg::CannotOpenFile, "a.hex", Msg::None, "Permission denied"}),
              "Impossible d'ouvrir le fichier \"a.hex\"\nPermission denied.\n\n"
              "Impossible d'effectuer la mise à jour. Contactez votre revendeur");
    EXPECT_EQ(app.FailureText({Msg::NoFileFits, "", Msg::None, "", res::Ending::None}),
              "L'appareil ne peut être mis à jour sans un retour à l'usine");
}

} // namespace
