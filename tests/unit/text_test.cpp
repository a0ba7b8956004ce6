#include "app/upgrade_app.h"
#include "ui/about_dlg.h"
#include "fw/dialog_template.h"
#include "sys/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(CaseMapping, AsciiAndLatinLettersOnly) {
    EXPECT_EQ(sys::LowerCase("ABC-Éé×Ø09:;"), "abc-éé×ø09:;");
    EXPECT_EQ(sys::UpperCase(":10abcdef"), ":10ABCDEF");
    EXPECT_EQ(sys::UpperCase("çà÷ÿ"), "ÇÀ÷ÿ"); // ÿ has no Latin-1 capital
    const std::string broken = "\xC3";         // a cut sequence is left alone
    EXPECT_EQ(sys::LowerCase(broken), broken);
}

TEST(Accelerators, LetterAfterAmpersand) {
    EXPECT_EQ(fw::AcceleratorOf("&Continue"), 'C');
    EXPECT_EQ(fw::AcceleratorOf("Pa&rité"), 'r');
    EXPECT_EQ(fw::AcceleratorOf("R&&D"), 0);
    EXPECT_EQ(fw::AcceleratorOf("English"), 0);
    EXPECT_EQ(fw::StripAccelerator("&Quitter"), "Quitter");
    EXPECT_EQ(fw::StripAccelerator("R&&D"), "R&D");
}

TEST(FileText, EachEncodingIsReadAsWhatItIs) {
    EXPECT_EQ(sys::DecodeFileText("mise \xE0 jour, \xE9t\xE9 \x80"), "mise à jour, été €")
        << "Windows code page 1252";
    EXPECT_EQ(sys::DecodeFileText("mise à jour"), "mise à jour") << "UTF-8";
    EXPECT_EQ(sys::DecodeFileText("\xEF\xBB\xBFmise à jour"), "mise à jour") << "with its BOM";
    EXPECT_EQ(sys::DecodeFileText("\xC3\x28"), "Ã(") << "not UTF-8: read as 1252";
    EXPECT_EQ(sys::DecodeFileText(std::string(1000, '\xE9')).size(), 2000u) << "in several pieces";
#ifndef _WIN32
    EXPECT_EQ(sys::DecodeFileText("a\x81"
                                  "b\x9D"),
              "a\uFFFDb\uFFFD")
        << "undefined in 1252";
#endif
    EXPECT_FALSE(sys::IsUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(sys::IsUtf8("\xED\xA0\x80")) << "a surrogate";
    EXPECT_FALSE(sys::IsUtf8("abc\xE2\x82")) << "cut short";
    EXPECT_TRUE(sys::IsUtf8("\xF0\x9F\x98\x80"));
}

TEST(FileText, TheReadMeInTheWindowsCodePage) {
    CUpgradeApp app;
    app.language = 0;
    const auto folder = std::filesystem::temp_directory_path() / "qel32-readme-1252";
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    std::ofstream("LISEZMOI.TXT", std::ios::binary) << "Mise \xE0 jour\r\nl'\xE9t\xE9\r\n";
    const std::string text = CReadMeDlg::ReadMeText();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(text, "Mise à jour\r\nl'été\r\n");
}

} // namespace
