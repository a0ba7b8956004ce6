#include "files/hex_analysis.h"

#include "files/record_check.h"
#include "sys/text.h"

namespace {
const std::string listTag = "___LIST_COMP_HEX|";
// Extended segment and linear address records: their data never belongs to the list text.
const std::string addressRecordPrefix = ":0200000";
} // namespace

HexFileAnalysis::HexFileAnalysis(sys::TextFile& file, CUpgradeFile& record)
    : lines_(file), record_(record), fileSize_(file.Size()) {
    record_.recordCount = 0;
    record_.compatibleMonitors.clear();
    record_.analysed = AnalysedText{};
}

HexFileAnalysis::Outcome HexFileAnalysis::NextStep() {
    std::uint64_t stepBytes = 0;
    for (;;) {
        if (stepBytes >= maxStepBytes)
            return Outcome::Continue;
        switch (lines_.Next(line_)) {
        case UpgradeFileLines::Read::Error: return Outcome::ReadError;
        case UpgradeFileLines::Read::End: return Outcome::NoEndRecord;
        case UpgradeFileLines::Read::Line: break;
        }
        if (!IsTextLine(line_))
            return Outcome::NotText;
        stepBytes += line_.size();
        // The run-time counted one more byte per line than text mode delivers.
        bytesConsumed_ += static_cast<std::int64_t>(line_.size()) + 1;
        if (bytesConsumed_ > fileSize_)
            bytesConsumed_ = fileSize_;
        const int percent =
            fileSize_ > 0 ? static_cast<int>(bytesConsumed_ * 100.0 / fileSize_ + 0.5) : 100;
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            if (onPercent)
                onPercent(percent);
        }

        line_ = sys::UpperCase(std::move(line_));
        if (!IsRecordLine(line_))
            continue;
        if (!CheckHexRecord(line_, listComplete_ ? nullptr : &pending_))
            return Outcome::BadRecord;
        if (!listComplete_) {
            if (!tagFound_)
                SearchTag();
            if (tagFound_ && !CollectList(line_))
                return Outcome::BadList;
        }
        ++record_.recordCount;
        if (!IsEndRecord(line_))
            return Outcome::Continue;
        if (record_.compatibleMonitors.empty())
            return Outcome::NoList;
        record_.analysed = lines_.Seal();
        return Outcome::Sound;
    }
}

// A partial match survives the end of a record, so the tag may span records; a broken partial
// match does not back up over the characters it consumed.
void HexFileAnalysis::SearchTag() {
    while (!pending_.empty()) {
        const size_t found = pending_.find(listTag[static_cast<size_t>(matched_)]);
        if (found == std::string::npos) {
            matching_ = false;
            matched_ = 0;
            pending_.clear();
            return;
        }
        if (found != 0 && matching_) {
            matching_ = false;
            matched_ = 0;
            continue;
        }
        matching_ = true;
        pending_.erase(0, found + 1);
        if (++matched_ == static_cast<int>(listTag.size())) {
            tagFound_ = true;
            return;
        }
    }
}

bool HexFileAnalysis::CollectList(const std::string& line) {
    const bool addressRecord =
        line.compare(0, addressRecordPrefix.size(), addressRecordPrefix) == 0;
    const size_t terminator = pending_.find("||");
    // The list ends at the first "||" of the data stream, which may straddle two records: one
    // ending with the separator after the last reference, the next beginning with a zero byte.
    const bool straddles = terminator == std::string::npos && !addressRecord &&
                           !listText_.empty() && listText_.back() == '|' && !pending_.empty() &&
                           pending_[0] == '|';
    if (terminator == std::string::npos && !straddles) {
        if (!addressRecord)
            listText_ += pending_;
        pending_.clear();
        return true;
    }
    if (straddles)
        listText_ += '|';
    else
        listText_.append(pending_, 0, terminator + 2);
    listComplete_ = true;
    for (;;) {
        const size_t bar = listText_.find('|');
        if (bar == std::string::npos)
            break;
        std::string reference = listText_.substr(0, bar);
        if (!IsValidMonitorReference(reference))
            return false;
        record_.compatibleMonitors.push_back(std::move(reference));
        listText_.erase(0, bar + 1);
        if (!listText_.empty() && listText_[0] == '|')
            break;
    }
    if (onListComplete)
        onListComplete(record_.compatibleMonitors);
    pending_.clear();
    return true;
}
