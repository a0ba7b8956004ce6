#include "files/analysis_dlg.h"

#include "app/upgrade_app.h"

#include <cstring>

namespace {
constexpr int msgInProgress = 39;
constexpr int msgAnalysingFile = 55;
constexpr int msgCannotOpen = 5;
constexpr int msgFileWrong = 7;
constexpr int msgListWrong = 59;
constexpr int msgNoList = 81;
constexpr int msgAbortQuestion = 57;
constexpr int msgCompatibilityList = 79;
} // namespace

CAnalysisDlg::CAnalysisDlg(int position, CUpgradeFile& file, fw::CWnd* parent)
    : CProgressDlg(App().language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent, WM_ANALYSIS_FAILED,
                   msgAbortQuestion),
      position_(position), file_(file) {}

BOOL CAnalysisDlg::OnInitDialog() {
    CProgressDlg::OnInitDialog();
    CUpgradeApp& app = App();
    SetUpperText(app.Message(msgAnalysingFile, file_.fileName));
    SetLowerText(app.Message(msgInProgress));
    CenterWindow();
    file_.recordCount = 0;
    file_.compatibleMonitors.clear();

    stream = std::make_unique<sys::TextFile>();
    if (!stream->Open(file_.fileName)) {
        // The system's reason tells a missing file from a folder, a device or a FIFO.
        const int error = stream->ErrorCode();
        stream.reset();
        PostFailure(app.Message(msgCannotOpen, file_.fileName) + "\n" + std::strerror(error));
        return TRUE;
    }
    gauge.Attach(IDC_GAUGE, this, 100, RGB(0, 0, 255), RGB(255, 255, 255));

    analysis_ = std::make_unique<HexFileAnalysis>(*stream, file_);
    analysis_->onPercent = [this](int percent) {
        gauge.SetPos(static_cast<std::uint32_t>(percent));
        gauge.UpdateWindow();
    };
    analysis_->onListComplete = [](const fw::CStringArray& monitors) {
        CUpgradeApp& a = App();
        if (!a.traceMode)
            return;
        std::string text = a.Message(msgCompatibilityList) + ":\n";
        for (const auto& monitor : monitors)
            text += monitor + "\n";
        a.ShowTrace(text);
    };
    PostMessage(WM_ANALYSIS_STEP);
    return TRUE;
}

void CAnalysisDlg::Fail(int frenchMessageId) {
    PostFailure(App().Message(frenchMessageId, file_.fileName));
}

void CAnalysisDlg::OnAnalysisStep() {
    using Outcome = HexFileAnalysis::Outcome;
    const Outcome outcome = analysis_->NextStep();
    switch (outcome) {
    case Outcome::BadRecord:
    case Outcome::NotText: Fail(msgFileWrong); return;
    case Outcome::BadList: Fail(msgListWrong); return;
    case Outcome::ReadError: {
        // Not the end of the file: what is left of it cannot be trusted.
        PostFailure(App().Message(msgFileWrong, file_.fileName) + "\n" +
                    std::strerror(stream->ErrorCode()));
        return;
    }
    default: break;
    }
    if (!PumpMessages()) {
        PostMessage(WM_ANALYSIS_FAILED);
        return;
    }
    switch (outcome) {
    case Outcome::Continue: PostMessage(WM_ANALYSIS_STEP); break;
    case Outcome::NoEndRecord: Fail(msgFileWrong); break;
    case Outcome::NoList: Fail(msgNoList); break;
    case Outcome::Sound: PostSuccess(); break;
    default: break;
    }
}

LRESULT CAnalysisDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ANALYSIS_STEP: OnAnalysisStep(); return 0;
    default: return CProgressDlg::WindowProc(message, wParam, lParam);
    }
}
