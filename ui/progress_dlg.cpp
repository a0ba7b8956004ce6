#include "ui/progress_dlg.h"

#include "app/upgrade_app.h"
#include "sys/stop.h"
#include "sys/text.h"

#include <vector>

#include <chrono>

CProgressDlg::CProgressDlg(int templateId, fw::CWnd* parent, UINT failedMessage,
                           res::Msg cancelQuestion)
    : CDialog(templateId, parent), failedMessage_(failedMessage), cancelQuestion_(cancelQuestion) {
    worksWithoutInput = true;
}

void CProgressDlg::SetUpperText(const std::string& text) {
    SetDlgItemText(IDC_UPPER_TEXT, text);
    if (!IsDlgItemVisible(IDC_UPPER_TEXT))
        ShowDlgItem(IDC_UPPER_TEXT, true);
}

void CProgressDlg::SetUpperTextNaming(res::Msg message, const std::string& fileName) {
    const std::string name = sys::OneLine(fileName);
    std::vector<std::string> letters; // whole UTF-8 characters, so that none is cut
    for (const char c : name) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 || letters.empty())
            letters.emplace_back();
        letters.back() += c;
    }
    const auto join = [&](size_t from, size_t to) {
        std::string text;
        for (size_t i = from; i < to; ++i)
            text += letters[i];
        return text;
    };
    const auto shown = [&](size_t head, size_t tail) {
        return App().Message(message, join(0, head) + "\xE2\x80\xA6" +
                                          join(letters.size() - tail, letters.size()));
    };
    std::string text = App().Message(message, name);
    if (!DlgItemTextFits(IDC_UPPER_TEXT, text)) {
        // The end keeps about two thirds of what stays.
        size_t head = letters.size() / 2, tail = letters.size() - head;
        while (!DlgItemTextFits(IDC_UPPER_TEXT, text = shown(head, tail))) {
            if (head > 0 && head * 2 >= tail)
                --head;
            else if (tail > 1)
                --tail;
            else
                break;
        }
    }
    SetUpperText(text);
}

void CProgressDlg::SetLowerText(const std::string& text) {
    SetDlgItemText(IDC_LOWER_TEXT, text);
    if (!IsDlgItemVisible(IDC_LOWER_TEXT))
        ShowDlgItem(IDC_LOWER_TEXT, true);
}

// A stop request is served at once, whenever the queue was last looked at.
bool CProgressDlg::PumpDue() const {
    return std::chrono::steady_clock::now() - lastPump_ >= pumpInterval || sys::StopRequest() != 0;
}

void CProgressDlg::End(int result) {
    ended_ = true;
    EndDialog(result);
}

bool CProgressDlg::PumpMessages() {
    if (!PumpDue())
        return true;
    lastPump_ = std::chrono::steady_clock::now();
    bool quit = false;
    fw::Msg msg;
    while (fw::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the request for the application's own loop.
            fw::PostQuitMessage(0);
            quit = true;
            break;
        }
        if (!fw::PreTranslateMessage(&msg)) {
            fw::TranslateMessage(&msg);
            fw::DispatchMessage(&msg);
        }
    }
    return !quit;
}

void CProgressDlg::PostSuccess() {
    succeeded_ = true;
    PostMessage(WM_COMMAND, IDOK, 0);
}

void CProgressDlg::PostFailure(const res::Failure& failure) {
    App().ReportFailure(failure);
    PostMessage(failedMessage_);
}

// Enter reaches the hidden OK button too; it must not pass half-done work off as done.
void CProgressDlg::OnOK() {
    if (succeeded_)
        End(IDOK);
}

LRESULT CProgressDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == failedMessage_) {
        End(IDABORT); // whoever posted it has shown the error
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

// No is the default: a single key press must not abort the work (a transmission cut short leaves
// the instrument not operational).
void CProgressDlg::OnCancel() {
    if (asking_ || ended_)
        return; // one question at a time, whoever asks to cancel
    asking_ = true;
    const int answer = App().AskOperator(App().Message(cancelQuestion_),
                                          MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    asking_ = false;
    if (answer == IDYES)
        End(IDCANCEL);
}

void CProgressDlg::OnDestroy() {
    stream.reset();
}
