// The console's answering rules, through scripted input.
#include "app/upgrade_app.h"
#include "console_script.h"
#include "ui/comm_settings_dlg.h"
#include "ui/progress_dlg.h"

#include <gtest/gtest.h>

namespace {

constexpr UINT WM_SHOW_BOX = WM_USER + 7;

// The settings dialog's template (OK and Cancel) with a box it shows once it has started.
class AskingDialog : public fw::CDialog {
  public:
    AskingDialog() : CDialog(120, nullptr) {}
    int boxAnswer = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_SHOW_BOX) {
            boxAnswer = fw::AfxMessageBox("Go on?", MB_OKCANCEL);
            return 0;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }

  protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        PostMessage(WM_SHOW_BOX);
        return TRUE;
    }
};

class Console : public ::testing::Test {
  protected:
    CUpgradeApp app;
};

TEST_F(Console, OnlyADialogAtWorkTakesAPendingCancel) {
    // "esc" is the box's answer, "o" the dialog's: a dialog that waits for input must not
    // take a line meant for a box it shows.
    ConsoleScript console("esc\no\n");
    AskingDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK) << console.Shown();
    EXPECT_EQ(dialog.boxAnswer, IDCANCEL);
}

// The settings dialog as the console draws it: the settings' choices marked, in reading order
// (top to bottom, then left to right).
TEST_F(Console, TheSettingsDialogIsDrawnInReadingOrder) {
    app.language = 1;
    ConsoleScript console("c\n");
    CCommSettingsDlg dialog(nullptr);
    dialog.SetFrom({1, 2, 0, 1, LinkSettings::parityEven, LinkSettings::handshakeXonXoff});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    const std::string shown = console.Shown();
    EXPECT_NE(shown.find("---- Opening communication with the instrument ----\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("[Baudrate]\n  ( ) 600\n  ( ) 1200\n  (*) 2400\n"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("[Parity]\n  (*) Even\n"), std::string::npos) << shown;
    EXPECT_LT(shown.find("[Baudrate]"), shown.find("Ports\n")) << shown;
    EXPECT_LT(shown.find("Ports\n"), shown.find("[Data Bits]")) << shown;
    EXPECT_LT(shown.find("[Data Bits]"), shown.find("[Stop Bits]")) << shown;
    EXPECT_LT(shown.find("[Stop Bits]"), shown.find("[Parity]")) << shown;
    EXPECT_LT(shown.find("[Handshake]"), shown.find(". Define the communication")) << shown;
}

TEST_F(Console, EscapeInABoxIsItsCloseBox) {
    // Each followed by the other answer, which a box that refused "esc" would take.
    {
        ConsoleScript console("esc\no\n");
        EXPECT_EQ(fw::AfxMessageBox("Stop?", MB_OKCANCEL), IDCANCEL);
    }
    {
        ConsoleScript console("ESC\ny\n");
        EXPECT_EQ(fw::AfxMessageBox("Stop?", MB_YESNO | MB_ICONQUESTION), IDNO);
    }
    {
        ConsoleScript console("esc\n");
        EXPECT_EQ(fw::AfxMessageBox("Done."), IDOK) << "a box with OK alone";
    }
}

TEST_F(Console, BoxButtonsInFrenchAlsoAnswerToTheirEnglishNames) {
    fw::SetInterfaceLanguage(0);
    {
        ConsoleScript console("a\n");
        EXPECT_EQ(fw::AfxMessageBox("Arrêter ?", MB_OKCANCEL), IDCANCEL);
        EXPECT_NE(console.Shown().find("Boutons : (o) OK, (a) Annuler ; Entrée : OK\n"),
                  std::string::npos)
            << console.Shown();
    }
    {
        ConsoleScript console("c\n");
        EXPECT_EQ(fw::AfxMessageBox("Arrêter ?", MB_OKCANCEL), IDCANCEL);
    }
    {
        ConsoleScript console("o\n");
        EXPECT_EQ(fw::AfxMessageBox("Arrêter ?", MB_YESNO), IDYES) << "o is Oui";
    }
    fw::SetInterfaceLanguage(1);
}

TEST_F(Console, WhatComesFromOutsideIsPrintedEscaped) {
    ConsoleScript console("o\n");
    fw::AfxMessageBox("name\x1b[2Jnext\x07 end\n\ttab");
    EXPECT_NE(console.Shown().find("name\\x1B[2Jnext\\x07 end\n\ttab\n"), std::string::npos)
        << console.Shown();
}

// A progress dialog whose work takes three steps, and an OK command (Enter reaching the hidden
// OK button) posted before the first.
class WorkingDialog : public CProgressDlg {
  public:
    static constexpr UINT WM_STEP = WM_USER + 100, WM_FAILED = WM_USER + 105;
    WorkingDialog() : CProgressDlg(122, nullptr, WM_FAILED, res::Msg::StopTransmissionQuestion) {}
    int steps = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_STEP)
            return CProgressDlg::WindowProc(message, wParam, lParam);
        if (++steps < 3)
            PostMessage(WM_STEP);
        else
            PostMessage(WM_FAILED);
        return 0;
    }

  protected:
    BOOL OnInitDialog() override {
        CProgressDlg::OnInitDialog();
        PostMessage(WM_COMMAND, IDOK, 0);
        PostMessage(WM_STEP);
        return TRUE;
    }
};

TEST_F(Console, EnterDoesNotPassWorkUnderWayOffAsDone) {
    ConsoleScript console("");
    WorkingDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDABORT);
    EXPECT_EQ(dialog.steps, 3);
}

} // namespace
