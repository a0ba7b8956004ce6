#include "protocol/transmission_dlg.h"

#include "app/upgrade_app.h"
#include "app/warnings.h"
#include "protocol/link_exchange.h"
#include "sys/sys.h"
#include "sys/text.h"

using res::Msg;
using Kind = TransmissionSequence::Result::Kind;

CTransmissionDlg::CTransmissionDlg(std::int32_t monitorIndex, CUpgradeFile& file, fw::CWnd* parent)
    : CProgressDlg(App().language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent, WM_TRANSMIT_FAILED,
                   Msg::StopTransmissionQuestion),
      monitorIndex_(monitorIndex), file_(file) {}

CTransmissionDlg::~CTransmissionDlg() = default;

BOOL CTransmissionDlg::OnInitDialog() {
    CUpgradeApp& app = App();
    SetUpperTextNaming(Msg::Transmitting, file_.fileName);
    SetLowerText(app.Message(Msg::InProgress));
    CProgressDlg::OnInitDialog();
    CenterWindow();
    app.TransmissionStarts(this);
    awake_.emplace();
    gauge.Attach(IDC_GAUGE, this, file_.recordCount, RGB(0, 0, 255), RGB(255, 255, 255));
    app.link->DiscardInput();

    stream = std::make_unique<sys::TextFile>();
    if (!stream->Open(file_.fileName)) {
        const std::string reason = sys::SystemErrorText(stream->ErrorCode());
        stream.reset();
        PostFailure({Msg::CannotOpenFile, file_.fileName, Msg::None, reason});
        return TRUE;
    }
    port_ = std::make_unique<LinkExchangePort>(*app.link);
    sequence_ = std::make_unique<TransmissionSequence>(*port_, *stream, file_, monitorIndex_);
    sequence_->onMonitor = app.MonitorTrace();
    PostMessage(WM_TRANSMIT_CHECK);
    return TRUE;
}

void CTransmissionDlg::OnDestroy() {
    App().TransmissionEnds(this);
    awake_.reset();
    CProgressDlg::OnDestroy();
}

LRESULT CTransmissionDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TRANSMIT_CHECK: OnCheckStep(); return 0;
    case WM_TRANSMIT_MODE: OnModeStep(); return 0;
    case WM_TRANSMIT_VERIFY: OnVerifyStep(); return 0;
    case WM_TRANSMIT_LINE: OnLineStep(); return 0;
    case WM_TRANSMIT_EXIT: OnExitStep(); return 0;
    case WM_TRANSMIT_RETRY: End(IDRETRY); return 0;
    default: return CProgressDlg::WindowProc(message, wParam, lParam);
    }
}

void CTransmissionDlg::Follow(const Result& result) {
    if (!PumpMessages()) {
        PostMessage(WM_TRANSMIT_FAILED);
        return;
    }
    if (Ended())
        return;
    switch (result.kind) {
    case Kind::Stopped: PostMessage(WM_TRANSMIT_FAILED); return;
    case Kind::Skipped: PostMessage(WM_TRANSMIT_LINE); return;
    case Kind::Failed:
        if (App().link->LinkBroken())
            App().link->DropBrokenPort();
        if (!result.retry) {
            PostFailure(result.failure);
        } else {
            const bool runAgain = App().ReportFailure(result.failure) == IDOK;
            PostMessage(runAgain ? WM_TRANSMIT_RETRY : WM_TRANSMIT_FAILED);
        }
        return;
    case Kind::Again:
    case Kind::Next: break;
    }
    if (!result.next) {
        PostSuccess();
        return;
    }
    // The word parameter carries the failed attempts of the step that follows.
    const auto attempts = static_cast<WPARAM>(sequence_->Failures());
    switch (*result.next) {
    case Step::Check: PostMessage(WM_TRANSMIT_CHECK, attempts); break;
    case Step::Mode: PostMessage(WM_TRANSMIT_MODE, attempts); break;
    case Step::Verify: PostMessage(WM_TRANSMIT_VERIFY, attempts); break;
    case Step::Line: PostMessage(WM_TRANSMIT_LINE, attempts); break;
    case Step::Exit: PostMessage(WM_TRANSMIT_EXIT, attempts); break;
    }
}

void CTransmissionDlg::OnCheckStep() {
    Follow(sequence_->Check());
}

void CTransmissionDlg::OnModeStep() {
    Follow(sequence_->Mode());
}

// The journal names the instrument that answered the verification when another one than the
// identification's is on the cable, and the operator reads it once on standard error: the box
// that follows speaks of the link.
void CTransmissionDlg::OnVerifyStep() {
    const Result result = sequence_->Verify();
    CUpgradeApp& app = App();
    const auto& verified = sequence_->VerifiedMonitors();
    if (!verified.empty() && verified != app.instrumentMonitors && verified != otherInstrument_) {
        app.journal.SetMonitors(verified, sequence_->VerifiedStateCodes());
        sys::WarnOnStandardError(
            OtherInstrumentLine(app.language, app.instrumentMonitors, verified));
        otherInstrument_ = verified;
    }
    Follow(result);
}

// Lines follow each other within one step until the interface is due a turn: under Wine a
// message per line costs more than a line's whole exchange at 115200 baud. Trace mode takes
// one line a step.
void CTransmissionDlg::OnLineStep() {
    const bool tracing = App().traceMode != 0;
    for (;;) {
        const Result result = sequence_->Line();
        ShowProgress();
        const bool onward = (result.kind == Kind::Skipped ||
                             (result.kind == Kind::Next && result.next == Step::Line));
        if (onward && !tracing && !PumpDue())
            continue;
        Follow(result);
        return;
    }
}

void CTransmissionDlg::OnExitStep() {
    Follow(sequence_->Exit());
}

// Painted at once when that shows something new.
void CTransmissionDlg::ShowProgress() {
    const std::uint32_t progress = sequence_->Progress();
    if (gauge.WorthPainting(progress)) {
        gauge.SetPos(progress);
        gauge.UpdateWindow();
    }
}
