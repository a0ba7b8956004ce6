#include "app/journal.h"

#include "app/warnings.h"
#include "link/link_settings.h"
#include "sys/sys.h"
#include "sys/text.h"
#include "ui/about_dlg.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

namespace {

const char* const parities[] = {"even", "odd", "none", "ignored"};
const char* const handshakes[] = {"xon/xoff", "hardware", "none"};

std::string UtcText(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    char text[32] = {};
    if (const std::tm* utc = std::gmtime(&t)) // one thread: its static result is ours
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

std::string VersionText() {
    const CVersionInfo version;
    char text[64];
    std::snprintf(text, sizeof text, "%s (%lu.%lu.%lu.%lu)", version.ProductVersion().c_str(),
                  version.FileVersionMs() >> 16, version.FileVersionMs() & 0xFFFF,
                  version.FileVersionLs() >> 16, version.FileVersionLs() & 0xFFFF);
    return text;
}

} // namespace

void UpgradeJournal::Begin() {
    std::string run = run_.empty() ? sys::RandomHex(8) : run_;
    const int pass = pass_ + 1;
    *this = UpgradeJournal();
    run_ = std::move(run);
    pass_ = pass;
    startedAt_ = std::chrono::system_clock::now();
    started_ = Clock::now();
    if (const auto unit = sys::EnvironmentValue("QEL32_UNIT"))
        unit_ = *unit;
}

void UpgradeJournal::SetMonitors(const fw::CStringArray& references,
                                 const std::vector<std::uint8_t>& stateCodes) {
    monitors_.clear();
    for (size_t i = 0; i < references.size(); ++i)
        monitors_.push_back({references[i], i < stateCodes.size() ? stateCodes[i] : 0u});
}

namespace {

// The file as it is on the disk: its name, record count, digest and full path.
template <class File> File Describe(const CUpgradeFile& file) {
    return {file.fileName,
            file.recordCount,
            file.monitorIndex,
            sys::FileSha256(file.fileName),
            sys::FullPath(file.fileName),
            std::nullopt};
}

nlohmann::ordered_json FileJson(const std::string& name, std::uint32_t records,
                                std::int32_t monitor, const std::string& sha256,
                                const std::string& path) {
    return {{"name", name},
            {"records", records},
            {"monitor", monitor},
            {"sha256", sha256},
            {"path", path}};
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

void UpgradeJournal::AddFile(const CUpgradeFile& file) {
    files_.push_back(Describe<File>(file));
}

void UpgradeJournal::NoteTransfer(std::uint32_t accepted,
                                  const TransmissionSequence::Counts& counts) {
    if (!files_.empty())
        files_.back().accepted = accepted;
    counts_.refusals += counts.refusals;
    counts_.timeouts += counts.timeouts;
    counts_.repeats += counts.repeats;
    counts_.readThroughs += counts.readThroughs;
}

void UpgradeJournal::SetPlanned(const fw::COwningArray<CUpgradeFile>& files) {
    planned_.clear();
    for (int i = 0; i < files.GetSize(); ++i)
        planned_.push_back(Describe<File>(*files[i]));
}

void UpgradeJournal::TransferBegins() {
    transferStarted_ = Clock::now();
    operatorAtTransferStart_ = operatorTime_;
}

void UpgradeJournal::TransferEnds() {
    transferTime_ += (Clock::now() - transferStarted_) - (operatorTime_ - operatorAtTransferStart_);
}

void UpgradeJournal::NoteFailure(int shownId, int shownReasonId, const std::string& systemText) {
    message_ = shownId;
    reason_ = shownReasonId;
    systemText_ = sys::TrimSystemText(systemText);
}

std::string UpgradeJournal::Line(Outcome outcome, int signal) const {
    static const char* const stages[] = {"unit", "settings", "identification", "confirmation",
                                         "transfer"};
    nlohmann::ordered_json line;
    line["time"] = UtcText(startedAt_);
    line["end"] = UtcText(std::chrono::system_clock::now());
    line["run"] = run_;
    line["pass"] = pass_;
    line["version"] = VersionText();
    line["user"] = sys::UserName();
    const std::string host = sys::HostName();
    line["host"] = host;
    const auto station = sys::EnvironmentValue("QEL32_STATION");
    line["station"] = station && !station->empty() ? *station : host;
    if (!unit_.empty())
        line["unit"] = unit_;
    if (haveLink_) {
        line["port"] = link_.port;
        line["baud"] = BaudRateOfIndex(link_.baudIndex);
        line["dataBits"] = link_.eightDataBits != 0 ? 8 : 7;
        line["stopBits"] = link_.twoStopBits != 0 ? 2 : 1;
        line["parity"] = link_.parity >= 0 && link_.parity <= LinkSettings::parityIgnored
                             ? parities[link_.parity]
                             : "none";
        line["handshake"] = link_.handshake >= 0 && link_.handshake <= LinkSettings::handshakeNone
                                ? handshakes[link_.handshake]
                                : "none";
    }
    if (havePort_) {
        line["device"] = port_.device;
        if (port_.usb)
            line["adapter"] = {
                {"vendor", port_.vendorId}, {"product", port_.productId}, {"serial", port_.serial}};
    }
    line["monitors"] = nlohmann::ordered_json::array();
    for (const auto& m : monitors_)
        line["monitors"].push_back({{"reference", m.reference}, {"state", m.state}});
    line["files"] = nlohmann::ordered_json::array();
    for (const auto& f : files_) {
        auto file = FileJson(f.name, f.records, f.monitorIndex, f.sha256, f.path);
        if (f.accepted)
            file["accepted"] = *f.accepted;
        line["files"].push_back(file);
    }
    // An attempt that ended before any file went: what would have gone.
    if (files_.empty() && !planned_.empty()) {
        line["planned"] = nlohmann::ordered_json::array();
        for (const auto& f : planned_)
            line["planned"].push_back(
                FileJson(f.name, f.records, f.monitorIndex, f.sha256, f.path));
    }
    line["outcome"] = outcome == Outcome::Done     ? "done"
                      : outcome == Outcome::Failed ? "failed"
                                                   : "cancelled";
    line["stage"] = stages[static_cast<int>(stage_)];
    if (outcome == Outcome::Failed) {
        if (message_ != 0)
            line["message"] = message_;
        if (reason_ != 0)
            line["reason"] = reason_;
        if (!systemText_.empty())
            line["error"] = systemText_;
        if (portProblem_) {
            const auto& p = *portProblem_;
            if (p.absent)
                line["portProblem"] = {{"kind", "absent"}};
            else if (p.holderPid != 0)
                line["portProblem"] = {
                    {"kind", "held"}, {"pid", p.holderPid}, {"program", p.holderName}};
            else if (p.groupMayUse)
                line["portProblem"] = {{"kind", "permission"}, {"group", p.group}};
            else if (!p.group.empty())
                line["portProblem"] = {{"kind", "access"},
                                       {"owner", p.owner},
                                       {"group", p.group},
                                       {"mode", ModeText(p.mode)}};
        }
    }
    if (signal != 0)
        line["signal"] = signal;
    if (sessionEnded_)
        line["sessionEnded"] = true;
    line["refusals"] = counts_.refusals;
    line["timeouts"] = counts_.timeouts;
    line["repeats"] = counts_.repeats;
    line["readThroughs"] = counts_.readThroughs;
    line["seconds"] = Seconds(Clock::now() - started_);
    line["operatorSeconds"] = Seconds(operatorTime_);
    line["transferSeconds"] = Seconds(transferTime_);
    // Names from the disk may hold any byte: never let one stop the line from being written.
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool UpgradeJournal::End(Outcome outcome, int language, int signal) {
    if (ended_)
        return true;
    ended_ = true;
    const std::string path = sys::JournalPath(), own = sys::OwnJournalPath();
    const std::string line = Line(outcome, signal);
    sys::AppendFailure failure, ownFailure;
    if (sys::AppendLine(path, line, failure))
        return true;
    // A record is never lost for want of the station's journal: the user's own takes it.
    if (path != own && sys::AppendLine(own, line, ownFailure)) {
        sys::WarnOnStandardError(JournalWarning(language, path, failure, own));
        return true;
    }
    sys::WarnOnStandardError(JournalWarning(language, path, failure));
    return false;
}

std::string UpgradeJournal::UnitLine(Outcome outcome, int language) const {
    LoopPass pass{pass_, static_cast<int>(outcome), unit_, Seconds(Clock::now() - started_), {}};
    for (const auto& f : files_) {
        const auto at = static_cast<size_t>(f.monitorIndex);
        pass.files.push_back({f.name, at < monitors_.size() ? monitors_[at].reference : "",
                              f.accepted.value_or(0), f.records});
    }
    return LoopPassLine(language, pass);
}
