// The upgrade run: identification, matching of the instrument's monitors against the files'
// compatibility lists, confirmation, and one transmission per file; passes start again on the
// user's OK after an error and, with "-r", after every complete transmission.
#include "app/upgrade_app.h"
#include "app/warnings.h"
#include "files/record_check.h"
#include "protocol/transmission_dlg.h"
#include "sys/stop.h"
#include "sys/text.h"
#include "ui/unit_dlg.h"

using res::Msg;

std::string CUpgradeApp::FileListText(Msg message) const {
    std::string text = Message(message);
    for (int i = 0; i < selectedFiles.GetSize(); ++i)
        text += "\n . \"" + sys::OneLine(selectedFiles[i]->fileName) + "\"";
    return text;
}

// An attempt that a stop request ended was cancelled, whatever failed on the way out; unless
// a failure's box was up when it came: then it failed, and the signal is noted. One that ended
// before any file went names the files that would have.
void CUpgradeApp::EndAttempt(UpgradeJournal::Outcome outcome) {
    using Outcome = UpgradeJournal::Outcome;
    const int signal = sys::StopRequest();
    if (signal != 0)
        outcome = journal.HasFailure() ? Outcome::Failed : Outcome::Cancelled;
    journal.SetPlanned(selectedFiles.GetSize() > 0 ? selectedFiles : upgradeFiles);
    journal.End(outcome, language, signal);
    if (repeatRun)
        sys::WarnOnStandardError(journal.UnitLine(outcome, language));
}

bool CUpgradeApp::AskUnit() {
    if (!StationSetting("QEL32_ASK_UNIT"))
        return true;
    journal.SetStage(UpgradeJournal::Stage::Unit);
    CUnitDlg dialog(language, MainFrame());
    const auto asked = UpgradeJournal::Clock::now();
    const int answer = dialog.DoModal();
    journal.AddOperatorTime(UpgradeJournal::Clock::now() - asked);
    if (answer != IDOK)
        return false;
    journal.SetUnit(dialog.serial);
    return true;
}

bool CUpgradeApp::JournalWritable() {
    if (!StationSetting("QEL32_JOURNAL_REQUIRED"))
        return true;
    const std::string path = sys::JournalPath();
    sys::AppendFailure failure;
    if (sys::CheckAppendable(path, failure))
        return true;
    ReportFailure({Msg::None, "", Msg::None, JournalRequiredText(language, path, failure),
                   res::Ending::None, MB_OK | MB_ICONEXCLAMATION});
    return false;
}

int CUpgradeApp::EndRun(UpgradeJournal::Outcome outcome) {
    EndAttempt(outcome);
    SetExitCode(outcome == UpgradeJournal::Outcome::Failed ? exitFailed : exitCancelled);
    return 0;
}

int CUpgradeApp::RunUpgrade() {
    using Outcome = UpgradeJournal::Outcome;
    for (;;) {
        if (sys::StopRequest() != 0) { // between two passes: no new one
            SetExitCode(exitCancelled);
            return 0;
        }
        // A fresh opening and identification for every pass, each one an attempt of the
        // journal.
        journal.Begin();
        link->ClosePort();
        if (!JournalWritable()) {
            return EndRun(Outcome::Failed);
        }
        // The unit on the cable, before anything is asked of it.
        if (!AskUnit()) {
            return EndRun(Outcome::Cancelled);
        }
        journal.SetStage(UpgradeJournal::Stage::Settings);
        std::string answer;
        const int identification = link->OpenAndIdentify(answer);
        const bool settingsChosen =
            identification != CQelComm::cancelled || link->OpenedForIdentification();
        if (settingsChosen) {
            journal.SetStage(UpgradeJournal::Stage::Identification);
            journal.SetLink(link->settings);
            journal.SetPort(sys::DescribePort(link->settings.port));
        }
        switch (identification) {
        case CQelComm::identified:
        case CQelComm::alreadyOpen: break;
        case CQelComm::retryRequested: EndAttempt(Outcome::Failed); continue;
        case CQelComm::portFailed: ExplainPortFailure(); return EndRun(Outcome::Failed);
        default: {
            // Cancel in the settings dialog leaves the port closed; Cancel after a failed
            // identification leaves it open. A close while the instrument identified itself
            // (End task, Alt+F4) stopped it: a cancel.
            const bool failed = link->OpenedForIdentification() && !link->Stopped();
            return EndRun(failed ? Outcome::Failed : Outcome::Cancelled);
        }
        }

        // The monitors the instrument reports (their state codes for the journal alone).
        std::vector<std::uint8_t> stateCodes;
        const bool parsed =
            ParseMonitorList(answer, &instrumentMonitors, &stateCodes, MonitorTrace());
        journal.SetMonitors(instrumentMonitors, stateCodes);
        if (!parsed) {
            const bool again =
                ReportFailure({Msg::UnableToIdentify, "", Msg::None, "", res::Ending::LinkCheck,
                               MB_OKCANCEL | MB_ICONEXCLAMATION}) == IDOK;
            EndAttempt(Outcome::Failed);
            if (again)
                continue;
            SetExitCode(exitFailed);
            return 0;
        }

        // The files that fit, confirmed by the user.
        if (!SelectCompatibleFiles()) {
            return EndRun(Outcome::Failed);
        }
        journal.SetStage(UpgradeJournal::Stage::Confirmation);
        if (AskOperator(FileListText(Msg::Confirmation), MB_OKCANCEL | MB_ICONINFORMATION,
                        "confirmation") != IDOK) {
            return EndRun(Outcome::Cancelled);
        }

        // One transmission per file, in order; a retry starts the whole list again.
        journal.SetStage(UpgradeJournal::Stage::Transfer);
        bool retry = false;
        for (int i = 0; i < selectedFiles.GetSize() && !retry; ++i) {
            CUpgradeFile& file = *selectedFiles[i];
            journal.AddFile(file);
            CTransmissionDlg dialog(file.monitorIndex, file, MainFrame());
            journal.TransferBegins();
            const int result = dialog.DoModal();
            journal.TransferEnds();
            journal.NoteTransfer(dialog.Accepted(), dialog.Counts());
            switch (result) {
            case IDOK: break;
            case IDRETRY: retry = true; break;
            case IDCANCEL: return EndRun(Outcome::Cancelled);
            default: return EndRun(Outcome::Failed);
            }
        }
        if (retry) {
            EndAttempt(Outcome::Failed);
            continue;
        }
        // Done; with "-r" the next instrument.
        EndAttempt(Outcome::Done);
        if (!repeatRun)
            return 1;
    }
}

// After the box, one line for whoever started the program from a terminal: the device behind
// the number, and what to do about it.
void CUpgradeApp::ExplainPortFailure() {
    const int port = link->settings.port;
    const sys::PortOpenDiagnosis diagnosis = sys::DiagnosePortOpen(port, link->LastOpenError());
    journal.SetPortProblem(diagnosis);
    sys::WarnOnStandardError(PortFailureLine(language, port, sys::DescribePort(port), diagnosis));
}

std::string CUpgradeApp::SessionEndReason() const {
    return language == 0 ? "Mise à jour de l'appareil en cours : l'arrêter maintenant le "
                           "laisserait hors d'usage."
                         : "Upgrading the instrument: stopping now would leave it not "
                           "operational.";
}

void CUpgradeApp::SessionEnds() {
    journal.NoteSessionEnd();
    EndAttempt(UpgradeJournal::Outcome::Cancelled);
    link->ClosePort();
}

void CUpgradeApp::TransmissionStarts(fw::CDialog* transmission) {
    transmissionUnderWay = transmission;
    if (mainFrame_)
        mainFrame_->BlockSessionEnd(SessionEndReason());
}

void CUpgradeApp::TransmissionEnds(fw::CDialog* transmission) {
    if (transmissionUnderWay != transmission)
        return;
    transmissionUnderWay = nullptr;
    if (mainFrame_)
        mainFrame_->AllowSessionEnd();
}

int CUpgradeApp::AskOperator(const std::string& text, UINT style, const std::string& kind) {
    const auto asked = UpgradeJournal::Clock::now();
    const int answer = DoMessageBox(text, style, kind.empty() ? "" : ScriptedAnswer(kind));
    journal.AddOperatorTime(UpgradeJournal::Clock::now() - asked);
    return answer;
}

int CUpgradeApp::SelectCompatibleFiles() {
    fw::CWaitCursor wait;
    selectedFiles.RemoveAll();
    for (size_t k = 0; k < instrumentMonitors.size(); ++k) {
        bool found = false;
        for (int i = 0; i < upgradeFiles.GetSize() && !found; ++i) {
            const CUpgradeFile& candidate = *upgradeFiles[i];
            for (const auto& entry : candidate.compatibleMonitors) {
                if (traceMode)
                    ShowTrace(Message(Msg::CompareReferences, instrumentMonitors[k], entry));
                if (entry == instrumentMonitors[k] ||
                    (forceByPosition && static_cast<size_t>(i) == k)) {
                    auto copy = std::make_unique<CUpgradeFile>(candidate.fileName);
                    copy->recordCount = candidate.recordCount;
                    copy->analysed = candidate.analysed;
                    copy->monitorIndex = static_cast<std::int32_t>(k);
                    copy->monitorReference = instrumentMonitors[k];
                    selectedFiles.Add(std::move(copy));
                    found = true;
                    break;
                }
            }
        }
    }
    if (selectedFiles.GetSize() > 0)
        return 1;
    ReportFailure(
        {Msg::NoFileFits, "", Msg::None, "", res::Ending::None, MB_OK | MB_ICONEXCLAMATION});
    return 0;
}
