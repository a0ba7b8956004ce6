// The upgrade journal: one JSON line per upgrade attempt (a pass of the run, one instrument
// with "-r"), appended to a file that outlives the program, so that a production line knows
// which instrument got which file, when, and how it ended. A journal that cannot be written
// never changes an upgrade.
#pragma once

#include "files/upgrade_file.h"
#include "link/link_settings.h"
#include "protocol/transmission_sequence.h"
#include "sys/sys.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class UpgradeJournal {
  public:
    enum class Outcome { Done, Failed, Cancelled };
    // How far an attempt got: a loop's closing Cancel at the unit or the confirmation is told
    // apart from a unit aborted in its transfer.
    enum class Stage { Unit, Settings, Identification, Confirmation, Transfer };
    using Clock = std::chrono::steady_clock;

    // An attempt begins, the next pass of the run: the clock starts, and what the last one
    // recorded is forgotten.
    void Begin();
    void SetStage(Stage stage) { stage_ = stage; }
    // The unit's serial number, as the operator or the environment gave it.
    void SetUnit(const std::string& unit) { unit_ = unit; }
    const std::string& Unit() const { return unit_; }
    int Pass() const { return pass_; }
    void SetLink(const LinkSettings& settings) { link_ = settings, haveLink_ = true; }
    // The device behind the port and, for a USB adapter, its identity.
    void SetPort(const sys::PortDescription& port) { port_ = port, havePort_ = true; }
    // Why the port could not be opened, as far as the system tells.
    void SetPortProblem(const sys::PortOpenDiagnosis& problem) { portProblem_ = problem; }
    // The monitors the instrument reported, with their state codes.
    void SetMonitors(const fw::CStringArray& references,
                     const std::vector<std::uint8_t>& stateCodes);
    // A file whose transmission begins.
    void AddFile(const CUpgradeFile& file);
    // What the transmission of the file added last came to: its record lines accepted, and
    // what it took.
    void NoteTransfer(std::uint32_t accepted, const TransmissionSequence::Counts& counts);
    // The files that would have gone, for an attempt that ends before any transmission began.
    void SetPlanned(const fw::COwningArray<CUpgradeFile>& files);
    // The box that ended the attempt: a catalogue message as shown (its number in the shown
    // language), the reason it named, and the system's own text when there was one. A port
    // that cannot be opened shows only the system's text (shownId 0).
    void NoteFailure(int shownId, int shownReasonId = 0, const std::string& systemText = "");
    bool HasFailure() const { return message_ != 0 || reason_ != 0 || !systemText_.empty(); }
    // Time the program spent waiting for the operator (a box, a dialog), and the transfers,
    // apart from the operator's time inside them.
    void AddOperatorTime(Clock::duration waited) { operatorTime_ += waited; }
    // The system's session ended in the middle of the attempt.
    void NoteSessionEnd() { sessionEnded_ = true; }
    void TransferBegins();
    void TransferEnds();
    // The attempt ends: one line in the journal; signal, when one ended it. When the journal
    // named cannot take it, the user's own does, and the warning says where it went. False
    // when neither could (the warning has then been given, in language).
    bool End(Outcome outcome, int language, int signal = 0);
    // For a loop's operator: the pass's outcome, file and monitor, records, time and unit.
    std::string UnitLine(Outcome outcome, int language) const;

    // The line End writes, for the tests.
    std::string Line(Outcome outcome, int signal = 0) const;

  private:
    struct Monitor {
        std::string reference;
        unsigned state;
    };
    struct File {
        std::string name;
        std::uint32_t records;
        std::int32_t monitorIndex;
        std::string sha256;
        std::string path;
        std::optional<std::uint32_t> accepted;
    };

    std::string run_; // one for the program's run
    int pass_ = 0;
    Stage stage_ = Stage::Settings;
    std::string unit_;
    std::chrono::system_clock::time_point startedAt_{};
    Clock::time_point started_{};
    LinkSettings link_{};
    bool haveLink_ = false;
    sys::PortDescription port_;
    bool havePort_ = false;
    std::optional<sys::PortOpenDiagnosis> portProblem_;
    std::vector<Monitor> monitors_;
    std::vector<File> files_, planned_;
    TransmissionSequence::Counts counts_;
    int message_ = 0, reason_ = 0;
    std::string systemText_;
    Clock::duration operatorTime_{}, transferTime_{};
    Clock::time_point transferStarted_{};
    bool sessionEnded_ = false;
    bool ended_ = false; // its line is written: once an attempt
    Clock::duration operatorAtTransferStart_{};
};
