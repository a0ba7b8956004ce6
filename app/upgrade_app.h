#pragma once

#include "app/command_line.h"
#include "app/journal.h"
#include "app/main_frame.h"
#include "files/upgrade_file.h"
#include "fw/fw.h"
#include "link/link_host.h"
#include "link/qel_comm.h"
#include "res/messages.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum ExitStatus : int {
    exitDone = 0,      // upgrade done and reported
    exitFailed = 1,    // ended on a failure that was shown
    exitCancelled = 2, // cancelled or refused by the user
    // Cancel in a trace box ends the program at once, in the middle of any step: a script that
    // traces a run tells that apart from the operator's cancel.
    exitTraceCancel = 3,
};

// The application object: it runs the whole upgrade procedure inside InitInstance.
class CUpgradeApp : public fw::CWinApp, public CommandLineValues, public LinkHost {
  public:
    CUpgradeApp();
    ~CUpgradeApp() override;

    BOOL InitInstance() override;
    // "--help": the command-line help page in the language of the environment; "--version":
    // the version line of the About dialog.
    std::string ConsoleCommandLine(const std::vector<std::string>& arguments) override;
    bool ConsoleRequest(const std::string& commandLine, std::string& text) override;

    // The catalogue text of a message in the program's language, its placeholders replaced.
    std::string Message(res::Msg message, const std::string& arg1 = std::string(),
                        const std::string& arg2 = std::string()) const;
    // The number under which a message is shown in the program's language; 0 for none.
    int Shown(res::Msg message) const;
    // ".\n\n" + 9/10 + ". " + 65/66: the upgrade is impossible, see the reseller.
    void AppendFailureEnding(std::string& message) const;
    // ".\n\n" + 67/68: check the cable, the parameters and other programs.
    void AppendLinkCheckEnding(std::string& message) const;
    // The text of a failure's box.
    std::string FailureText(const res::Failure& failure) const;
    // A trace box: OK goes on, anything else ends the program at once.
    void ShowTrace(const std::string& text);
    // In trace mode, a box for each monitor an identification answer names; else nothing.
    std::function<void(const std::string&)> MonitorTrace();

    // What the link asks of the program.
    int Language() const override { return language; }
    unsigned ReadyWaitCount() const override { return readyWaitCount; }
    bool TraceMode() const override { return traceMode != 0; }
    void ShowTrace(res::Msg message, const std::string& text) override;
    bool ChooseSettings(LinkSettings& settings) override;
    // The one place a failure is reported: its box, and the same numbers in the journal.
    int ReportFailure(const res::Failure& failure) override;
    // A box that waits for the operator: their time is not the upgrade's in the journal. kind
    // names the box for an unattended station's answers (QEL32_ANSWERS): "confirmation",
    // "failure", "trace", "report"; an answer given for one kind never answers another.
    int AskOperator(const std::string& text, UINT style, const std::string& kind = "");
    std::string ScriptedAnswer(const std::string& kind) const;
    // A station setting of the environment that is on: set, and neither empty nor "0".
    static bool StationSetting(const std::string& name);
    // Why the session should not end now, shown by the system's shutdown while a file is sent.
    std::string SessionEndReason() const;
    // The session ends all the same in the middle of a file: the journal line, the port given
    // back, before the system ends the program.
    void SessionEnds();
    // A transmission under way holds the session open; the backdrop may be absent (fuzzing).
    void TransmissionStarts(fw::CDialog* transmission);
    void TransmissionEnds(fw::CDialog* transmission);

    std::unique_ptr<CQelComm> link;
    std::int32_t language = 0; // 0 French, 1 English
    fw::COwningArray<CUpgradeFile> upgradeFiles;
    fw::CStringArray instrumentMonitors;
    fw::COwningArray<CUpgradeFile> selectedFiles;
    UpgradeJournal journal; // the attempt under way
    // The transmission under way: closing the backdrop asks its cancel question first.
    fw::CDialog* transmissionUnderWay = nullptr;

    CMainFrame* MainFrame() const { return mainFrame_.get(); }

    // Step 1: the names to work on, as upgrade file records. 0 ends the procedure.
    int ChooseUpgradeFiles();
    // Step 2: every file analysed in its own dialog, in order. 0 ends the procedure.
    int AnalyseUpgradeFiles();
    // Step 3: 1 when every file of the transmit list was transmitted (never with "-r").
    int RunUpgrade();
    // The transmit list: for each monitor of the instrument, the first file that lists it.
    int SelectCompatibleFiles();
    // A catalogue text followed by the transmit list's names, one a line.
    std::string FileListText(res::Msg message) const;

  private:
    // The attempt under way ends: its journal line, and in a "-r" loop a line for its operator.
    void EndAttempt(UpgradeJournal::Outcome outcome);
    // The attempt ends the run, failed or cancelled: its journal line and the exit code that
    // says which; 0 for RunUpgrade to return.
    int EndRun(UpgradeJournal::Outcome outcome);
    // A station that asks for each unit's serial number: false when the operator cancelled.
    bool AskUnit();
    // A station whose journal is required refuses to begin an attempt it could not record.
    bool JournalWritable();
    // The line on standard error, and the journal's account, of a port that would not open.
    void ExplainPortFailure();
    bool SettleLanguage();
    void EndProcedure(int exitStatus);

    std::unique_ptr<CMainFrame> mainFrame_;
    bool argumentsRead_ = false; // the console's arguments, read before InitInstance
};

// The one application object.
CUpgradeApp& App();
