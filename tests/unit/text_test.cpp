#include "fw/dialog_template.h"
#include "sys/text.h"

#include <gtest/gtest.h>

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

} // namespace
