#include "files/analysis_dlg.h"

#include "app/upgrade_app.h"
#include "sys/sys.h"
#include "sys/text.h"

using res::Msg;

CAnalysisDlg::CAnalysisDlg(int position, CUpgradeFile& file, fw::CWnd* parent)
    : CProgressDlg(App().language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent, WM_ANALYSIS_FAILED,
                   Msg::AbortAnalysisQuestion),
      position_(position), file_(file) {}

BOOL CAnalysisDlg::OnInitDialog() {
    CProgressDlg::OnInitDialog();
    CUpgradeApp& app = App();
    SetUpperTextNaming(Msg::Analysing, file_.fileName);
    SetLowerText(app.Message(Msg::InProgress));
    CenterWindow();
    file_.recordCount = 0;
    file_.compatibleMonitors.clear();

    stream = std::make_unique<sys::TextFile>();
    if (!stream->Open(file_.fileName)) {
        // The system's reason tells a missing file from a folder, a device or a FIFO.
        const DWORD error = stream->ErrorCode();
        stream.reset();
        Fail(Msg::CannotOpenFile, sys::SystemErrorText(error));
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
        std::string text = a.Message(Msg::CompatibilityList) + ":\n";
        for (const auto& monitor : monitors)
            text += monitor + "\n";
        a.ShowTrace(text);
    };
    PostMessage(WM_ANALYSIS_STEP);
    return TRUE;
}

void CAnalysisDlg::Fail(Msg message, const std::string& systemText) {
    PostFailure({message, file_.fileName, Msg::None, systemText});
}

void CAnalysisDlg::OnAnalysisStep() {
    using Outcome = HexFileAnalysis::Outcome;
    const Outcome outcome = analysis_->NextStep();
    switch (outcome) {
    case Outcome::BadRecord:
    case Outcome::NotText: Fail(Msg::FileWrong); return;
    case Outcome::BadList: Fail(Msg::ListWrong); return;
    case Outcome::ReadError: // not the end of the file: what is left of it cannot be trusted
        Fail(Msg::FileWrong, sys::SystemErrorText(stream->ErrorCode()));
        return;
    default: break;
    }
    if (!PumpMessages()) {
        PostMessage(WM_ANALYSIS_FAILED);
        return;
    }
    switch (outcome) {
    case Outcome::Continue: PostMessage(WM_ANALYSIS_STEP); break;
    case Outcome::NoEndRecord: Fail(Msg::FileWrong); break;
    case Outcome::NoList: Fail(Msg::NoList); break;
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
