#include "fw/fw.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageBoxRule, NoIconGetsTheExclamationForCommonButtonSets) {
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(0x00), 0x30u);
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(MB_OKCANCEL), MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(MB_YESNO), MB_YESNO | MB_ICONEXCLAMATION);
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(MB_YESNOCANCEL), MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(MB_OK | MB_DEFBUTTON2), 0x130u);
}

TEST(MessageBoxRule, OtherButtonSetsAndGivenIconsAreKept) {
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(MB_ABORTRETRYIGNORE), MB_ABORTRETRYIGNORE);
    EXPECT_EQ(fw::MessageBoxStyleWithIcon(MB_RETRYCANCEL), MB_RETRYCANCEL);
    for (UINT style : {0x11u, 0x24u, 0x30u, 0x31u, 0x40u, 0x41u})
        EXPECT_EQ(fw::MessageBoxStyleWithIcon(style), style) << style;
}

TEST(MessageBoxRule, CaptionIsTheExecutableNameWithoutExtension) {
    EXPECT_EQ(fw::CaptionFromExecutablePath("C:\\Program Files\\Qel\\Qel32.exe"), "Qel32");
    EXPECT_EQ(fw::CaptionFromExecutablePath("Z:\\tmp\\Renamed Tool.EXE"), "Renamed Tool");
    EXPECT_EQ(fw::CaptionFromExecutablePath("/usr/local/bin/qel32"), "qel32");
    EXPECT_EQ(fw::CaptionFromExecutablePath("/opt/x.y/upgrader.bin"), "upgrader");
    EXPECT_EQ(fw::CaptionFromExecutablePath("/opt/.hidden"), ".hidden");
}

} // namespace
