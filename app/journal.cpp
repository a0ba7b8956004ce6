#include "app/journal.h"

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
    *this = UpgradeJournal();
    startedAt_ = std::chrono::system_clock::now();
    started_ = std::chrono::steady_clock::now();
}

void UpgradeJournal::SetMonitors(const fw::CStringArray& references,
                                 const std::vector<std::uint8_t>& stateCodes) {
    monitors_.clear();
    for (size_t i = 0; i < references.size(); ++i)
        monitors_.push_back({references[i], i < stateCodes.size() ? stateCodes[i] : 0u});
}

void UpgradeJournal::AddFile(const CUpgradeFile& file) {
    files_.push_back(
        {file.fileName, file.recordCount, file.monitorIndex, sys::FileSha256(file.fileName)});
}

void UpgradeJournal::NoteFailure(int shownId, int shownReasonId, const std::string& systemText) {
    message_ = shownId;
    reason_ = shownReasonId;
    systemText_ = sys::TrimSystemText(systemText);
}

std::string UpgradeJournal::Line(Outcome outcome) const {
    nlohmann::ordered_json line;
    line["time"] = UtcText(startedAt_);
    line["version"] = VersionText();
    if (haveLink_) {
        line["port"] = link_.port;
        line["baud"] = BaudRateOfIndex(link_.baudIndex);
        line["dataBits"] = link_.eightDataBits != 0 ? 8 : 7;
        line["stopBits"] = link_.twoStopBits != 0 ? 2 : 1;
        line["parity"] = link_.parity >= 0 && link_.parity <= 3 ? parities[link_.parity] : "none";
        line["handshake"] =
            link_.handshake >= 0 && link_.handshake <= 2 ? handshakes[link_.handshake] : "none";
    }
    line["monitors"] = nlohmann::ordered_json::array();
    for (const auto& m : monitors_)
        line["monitors"].push_back({{"reference", m.reference}, {"state", m.state}});
    line["files"] = nlohmann::ordered_json::array();
    for (const auto& f : files_)
        line["files"].push_back({{"name", f.name},
                                 {"records", f.records},
                                 {"monitor", f.monitorIndex},
                                 {"sha256", f.sha256}});
    line["outcome"] = outcome == Outcome::Done     ? "done"
                      : outcome == Outcome::Failed ? "failed"
                                                   : "cancelled";
    if (outcome == Outcome::Failed) {
        if (message_ != 0)
            line["message"] = message_;
        if (reason_ != 0)
            line["reason"] = reason_;
        if (!systemText_.empty())
            line["error"] = systemText_;
    }
    line["seconds"] =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    // Names from the disk may hold any byte: never let one stop the line from being written.
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool UpgradeJournal::End(Outcome outcome) {
    const std::string path = sys::JournalPath();
    std::string reason;
    if (sys::AppendLine(path, Line(outcome), reason))
        return true;
    sys::WarnOnStandardError("qel32: the upgrade journal " + path + " cannot be written (" +
                             reason + ")");
    return false;
}
