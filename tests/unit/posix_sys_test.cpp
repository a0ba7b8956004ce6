#include "sys/posix/locale_language.h"
#include "sys/sys.h"
#include "ui/language_dlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(ProfileLanguage, LocalesGiveWindowsCodes) {
    const std::pair<const char*, const char*> table[] = {
        {"fr_FR.UTF-8", "FRA"},      {"fr_CA.UTF-8", "FRC"}, {"fr_BE", "FRB"},
        {"fr_CH.ISO-8859-1", "FRS"}, {"en_US.UTF-8", "ENU"}, {"en_GB.UTF-8", "ENG"},
        {"de_DE.UTF-8@euro", "DEU"}, {"eo", "EOO"},          {"xx_YY.UTF-8", "XXY"},
    };
    for (const auto& [locale, code] : table)
        EXPECT_EQ(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, locale).value_or("-"),
                  code)
            << locale;
}

TEST(ProfileLanguage, FirstSetVariableWinsAndCIsAbsent) {
    EXPECT_EQ(sys::posix::ProfileLanguageFromLocale("en_US.UTF-8", "fr_FR", "fr_FR").value(),
              "ENU");
    EXPECT_EQ(sys::posix::ProfileLanguageFromLocale("", "fr_CA", "en_US").value(), "FRC");
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, nullptr));
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale("C", "fr_FR", nullptr));
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, "POSIX"));
    EXPECT_FALSE(sys::posix::ProfileLanguageFromLocale(nullptr, nullptr, "C.UTF-8"));
}

TEST(ProfileLanguage, ProposalComparesInUpperCase) {
    EXPECT_EQ(ProposedLanguage("FRA"), 0);
    EXPECT_EQ(ProposedLanguage("frc"), 0);
    EXPECT_EQ(ProposedLanguage("FRB"), 1); // other French regions propose English
    EXPECT_EQ(ProposedLanguage("ENU"), 1);
    EXPECT_EQ(ProposedLanguage(""), 1);
}

TEST(ProfileLanguage, ProfileValueIsTruncatedAndDefaulted) {
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(sys::GetProfileString("intl", "sLanguage", "FRA", 10), "FRA");
    ::setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(sys::GetProfileString("intl", "sLanguage", "FRA", 10), "ENG");
    EXPECT_EQ(sys::GetProfileString("intl", "sLanguage", "FRA", 3), "EN");
    EXPECT_EQ(sys::GetProfileString("intl", "sCountry", "none", 10), "none");
    ::unsetenv("LC_ALL");
}

class WindowsNames : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("qel32-names-" + std::to_string(::getpid()));
        fs::create_directories(root / "Upgrades");
        std::ofstream(root / "Upgrades" / "Firmware.HEX") << ":00000001FF\n";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(WindowsNames, ComponentsMatchWithoutRegardToCase) {
    const std::string expected = (root / "Upgrades" / "Firmware.HEX").string();
    EXPECT_EQ(sys::ResolveUserFileName((root / "upgrades" / "firmware.hex").string()), expected);
    // The command line keeps a blank before the next option; Windows drops it, and dots too.
    EXPECT_EQ(sys::ResolveUserFileName((root / "upgrades" / "firmware.hex ").string()), expected);
    EXPECT_EQ(sys::ResolveUserFileName((root / "upgrades" / "firmware.hex. .").string()), expected);
    EXPECT_EQ(sys::ResolveUserFileName(expected), expected);
}

TEST_F(WindowsNames, NoMatchLeavesTheNameToFail) {
    const std::string missing = (root / "upgrades" / "other.hex").string();
    EXPECT_EQ(sys::ResolveUserFileName(missing), missing);
    EXPECT_EQ(sys::ResolveUserFileName(" "), " ");
}

} // namespace
