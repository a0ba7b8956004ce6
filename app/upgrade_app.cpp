#include "app/upgrade_app.h"

#include "app/console_help.h"
#include "app/messages.h"
#include "fw/dialog_template.h"
#include "files/analysis_dlg.h"
#include "files/welcome_dlg.h"
#include "sys/sys.h"
#include "sys/stop.h"
#include "sys/text.h"
#include "ui/about_dlg.h"
#include "ui/comm_settings_dlg.h"
#include "ui/language_dlg.h"

using res::Msg;

CUpgradeApp& App() {
    return *static_cast<CUpgradeApp*>(fw::AfxGetApp());
}

CUpgradeApp::CUpgradeApp() = default;

CUpgradeApp::~CUpgradeApp() {
    upgradeFiles.RemoveAll();
    selectedFiles.RemoveAll();
    link.reset();
}

std::string CUpgradeApp::Message(Msg message, const std::string& arg1,
                                 const std::string& arg2) const {
    return FormatCatalogueText(CatalogueText(message, language), arg1, arg2);
}

int CUpgradeApp::Shown(Msg message) const {
    return message == Msg::None ? 0 : CatalogueNumber(message, language);
}

void CUpgradeApp::AppendFailureEnding(std::string& message) const {
    message += ".\n\n" + Message(Msg::UnableToUpgrade) + ". " + Message(Msg::ContactReseller);
}

void CUpgradeApp::AppendLinkCheckEnding(std::string& message) const {
    message += ".\n\n" + Message(Msg::CheckLink);
}

// The system's text loses its own line end and final period: the ending brings its period.
std::string CUpgradeApp::FailureText(const res::Failure& failure) const {
    std::string text;
    if (failure.message != Msg::None)
        text = Message(failure.message, sys::OneLine(failure.subject));
    if (failure.reason != Msg::None)
        text += "\n" + Message(failure.reason);
    const std::string why = sys::TrimSystemText(failure.systemText);
    if (!why.empty())
        text += (text.empty() ? "" : "\n") + why;
    switch (failure.ending) {
    case res::Ending::Upgrade: AppendFailureEnding(text); break;
    case res::Ending::LinkCheck: AppendLinkCheckEnding(text); break;
    case res::Ending::None: break;
    }
    return text;
}

std::string CUpgradeApp::ScriptedAnswer(const std::string& kind) const {
    // "kind=answer" pairs, separated by commas or blanks.
    const std::string all = sys::EnvironmentValue("QEL32_ANSWERS").value_or("");
    for (size_t start = 0; start < all.size();) {
        const size_t end = std::min(all.find_first_of(", ", start), all.size());
        const std::string pair = all.substr(start, end - start);
        const size_t equal = pair.find('=');
        if (equal != std::string::npos && sys::LowerCase(pair.substr(0, equal)) == kind)
            return pair.substr(equal + 1);
        start = end + 1;
    }
    return std::string();
}

bool CUpgradeApp::StationSetting(const std::string& name) {
    const std::string value = sys::EnvironmentValue(name).value_or("");
    return !value.empty() && value != "0";
}

// A failure met while the program is asked to stop is no news: the stop is what was asked. One
// whose box is shown is the attempt's, even when a stop ends the box.
int CUpgradeApp::ReportFailure(const res::Failure& failure) {
    if (sys::StopRequest() != 0)
        return IDCANCEL;
    journal.NoteFailure(Shown(failure.message), Shown(failure.reason),
                        sys::TrimSystemText(failure.systemText));
    return AskOperator(FailureText(failure), failure.style, "failure");
}

void CUpgradeApp::ShowTrace(const std::string& text) {
    // A box ended by a stop request leaves the ending to the program's own paths.
    if (AskOperator(text, MB_OKCANCEL | MB_ICONHAND, "trace") != IDOK && sys::StopRequest() == 0)
        sys::TerminateAbnormally();
}

std::function<void(const std::string&)> CUpgradeApp::MonitorTrace() {
    if (!traceMode)
        return {};
    return [this](const std::string& reference) {
        ShowTrace(Message(Msg::InstrumentMonitor, reference));
    };
}

void CUpgradeApp::ShowTrace(Msg message, const std::string& text) {
    ShowTrace(Message(message, text));
}

bool CUpgradeApp::ChooseSettings(LinkSettings& settings) {
    if (commandLineLink.port != 0) {
        settings = commandLineLink;
        return true;
    }
    CCommSettingsDlg dialog(link.get());
    dialog.SetFrom(settings);
    const auto asked = UpgradeJournal::Clock::now();
    const int answer = dialog.DoModal();
    journal.AddOperatorTime(UpgradeJournal::Clock::now() - asked);
    if (answer != IDOK)
        return false;
    settings = dialog.Settings();
    return true;
}

// A console program's arguments are read as such: a value may be an argument of its own, and
// a file name keeps its case.
std::string CUpgradeApp::ConsoleCommandLine(const std::vector<std::string>& arguments) {
    ParseArguments(arguments, *this);
    argumentsRead_ = true;
    return CWinApp::ConsoleCommandLine(arguments);
}

bool CUpgradeApp::ConsoleRequest(const std::string& line, std::string& text) {
    if (line == "--version") {
        text = ConsoleVersion();
        return true;
    }
    if (line != "--help")
        return false;
    text = ConsoleHelp(ProposedLanguage(sys::GetProfileString("intl", "sLanguage", "FRA", 10)));
    return true;
}

bool CUpgradeApp::SettleLanguage() {
    if (languageOption != -1) {
        language = languageOption;
        return true;
    }
    CLanguageDlg dialog(nullptr);
    if (dialog.DoModal() != IDOK)
        return false;
    language = dialog.languageChoice;
    return true;
}

void CUpgradeApp::EndProcedure(int exitStatus) {
    SetExitCode(exitStatus);
    if (mainFrame_)
        mainFrame_->DestroyWindow();
}

BOOL CUpgradeApp::InitInstance() {
    // The look of the dialogs.
    SetDialogBkColor(RGB(192, 192, 192), RGB(0, 0, 0));
    Enable3dControls();

    // The backdrop, captioned with the program's name until the language is known.
    mainFrame_ = std::make_unique<CMainFrame>();
    mainFrame_->Create(fw::CaptionFromExecutablePath(sys::ExecutablePath()));
    mainWnd = mainFrame_.get();
    mainFrame_->ShowWindow(SW_SHOWMAXIMIZED);
    mainFrame_->UpdateWindow();

    // The one link object.
    link = std::make_unique<CQelComm>(mainFrame_.get(), *this);

    // 4, 5. Options, then the language.
    if (!argumentsRead_)
        ParseCommandLine(commandLine, *this);
    if (!SettleLanguage()) {
        EndProcedure(exitCancelled);
        return FALSE;
    }

    // The class library's own texts follow the language too.
    fw::SetInterfaceLanguage(language);
    mainFrame_->SetWindowText(Message(Msg::UpgradingInstruments));

    // The files, each proven sound before anything is sent, then the run.
    if (!ChooseUpgradeFiles() || !AnalyseUpgradeFiles() || !RunUpgrade()) {
        mainFrame_->DestroyWindow();
        return FALSE;
    }

    // What was done.
    DoMessageBox(FileListText(Msg::Success), MB_OK | MB_ICONINFORMATION, ScriptedAnswer("report"));
    EndProcedure(exitDone);
    return FALSE;
}

namespace {

// Why a name given with "-h" names no one file: on a disk that tells case apart, several files
// differ from it only in case, and sending one of them would be a guess.
std::string CaseTwinsReason(int language, const std::vector<std::string>& twins) {
    std::string names;
    for (const auto& twin : twins)
        names += (names.empty() ? "\"" : ", \"") + sys::OneLine(twin) + "\"";
    return language == 0 ? "Plusieurs fichiers portent ce nom à la casse près : " + names +
                               " ; nommez-en un tel qu'il est écrit."
                         : "Several files bear this name but for its case: " + names +
                               "; name one as it is written.";
}

} // namespace

int CUpgradeApp::ChooseUpgradeFiles() {
    fw::CStringArray names;
    if (!givenFileName.empty()) {
        if (const auto twins = sys::CaseTwins(givenFileName); !twins.empty()) {
            ReportFailure(
                {Msg::CannotOpenFile, givenFileName, Msg::None, CaseTwinsReason(language, twins)});
            SetExitCode(exitFailed);
            return 0;
        }
        names.push_back(givenFileName);
    } else {
        CWelcomeDlg welcome(mainFrame_.get());
        if (welcome.DoModal() != IDOK) {
            SetExitCode(exitCancelled);
            return 0;
        }
        names = welcome.chosenNames;
    }
    if (names.empty()) {
        ReportFailure(
            {Msg::NoUpgradeFile, "", Msg::None, "", res::Ending::Upgrade, MB_ICONEXCLAMATION});
        SetExitCode(exitFailed);
        return 0;
    }
    for (const auto& name : names)
        upgradeFiles.Add(std::make_unique<CUpgradeFile>(name));
    return 1;
}

int CUpgradeApp::AnalyseUpgradeFiles() {
    for (int i = 0; i < upgradeFiles.GetSize(); ++i) {
        CAnalysisDlg dialog(i, *upgradeFiles[i], mainFrame_.get());
        const int result = dialog.DoModal();
        if (result != IDOK) {
            SetExitCode(result == IDCANCEL ? exitCancelled : exitFailed);
            return 0;
        }
    }
    return 1;
}
