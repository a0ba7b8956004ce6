#include "protocol/file_records.h"

#include "sys/text.h"

#include <algorithm>
#include <utility>

namespace {

// A file's line as it goes on the wire: without its line end.
std::string WithoutLineEnd(std::string line) {
    line.resize(std::min(line.size(), line.find_first_of("\r\n")));
    return line;
}

// The records that set where the data of the records after them goes: the extended segment
// (02) and extended linear (04) address records.
int AddressKind(const std::string& record) {
    if (record.size() < 9 || record[7] != '0')
        return -1;
    return record[8] == '2' ? 0 : record[8] == '4' ? 1 : -1;
}

} // namespace

FileRecords::FileRecords(sys::TextFile& file, const AnalysedText& analysed)
    : file_(file), lines_(file), analysed_(analysed) {}

bool FileRecords::Check(std::uint64_t sliceBytes, bool& ok) {
    std::string piece;
    const std::uint64_t sliceEnd = lines_.Length() + sliceBytes;
    while (lines_.Length() < analysed_.length && lines_.Length() < sliceEnd) {
        const auto read = lines_.Next(piece);
        if (read == UpgradeFileLines::Read::Error) {
            ok = false;
            return true;
        }
        if (read == UpgradeFileLines::Read::End)
            break;
    }
    if (lines_.Length() < analysed_.length && lines_.Length() >= sliceEnd)
        return false;
    const AnalysedText read = lines_.Seal();
    ok = !analysed_.digest.empty() && read.length == analysed_.length &&
         read.digest == analysed_.digest && lines_.Rewind();
    return true;
}

FileRecords::Read FileRecords::ReadLine(Record& record) {
    std::string line;
    const auto read = lines_.Next(line);
    if (read == UpgradeFileLines::Read::Error)
        return Read::Error;
    if (read != UpgradeFileLines::Read::Line)
        return Read::Changed; // the end of the file before its end record
    // The end record leaves only once the whole text has proved to be the one analysed: a file
    // changed while it was being sent is not reported as sent.
    if (lines_.Length() >= analysed_.length) {
        const AnalysedText sent = lines_.Seal();
        if (sent.length != analysed_.length || sent.digest != analysed_.digest)
            return Read::Changed;
    }
    if (!IsRecordLine(line))
        return Read::Text;
    record.text = WithoutLineEnd(line);
    record.index = next_++;
    return Read::Record;
}

FileRecords::Read FileRecords::Next(Record& record) {
    if (!queued_.empty()) {
        record = queued_.front();
        queued_.pop_front();
        return Read::Record;
    }
    const Read read = ReadLine(record);
    if (read == Read::Record) {
        // A record sent before goes again in upper case, as any repeat.
        if (record.index < sent_)
            record.text = sys::UpperCase(record.text);
        sent_ = std::max(sent_, next_);
        const int kind = AddressKind(record.text);
        if (kind >= 0 && !firstAddress_[kind])
            firstAddress_[kind] = record.index;
    }
    return read;
}

bool FileRecords::Again(std::uint32_t index) {
    static const std::string startOf[2] = {":020000020000FC", ":020000040000FA"};
    queued_.clear();
    if (!lines_.Rewind())
        return false;
    next_ = 0;
    std::optional<Record> address[2];
    Record record;
    for (;;) {
        const Read read = ReadLine(record);
        if (read == Read::Error || read == Read::Changed)
            return false;
        if (read != Read::Record)
            continue;
        record.text = sys::UpperCase(record.text);
        if (record.index == index)
            break;
        const int kind = AddressKind(record.text);
        if (kind >= 0)
            address[kind] = record;
    }
    // Those set to the start first: the last one the file set before the record is the one in
    // effect where one base serves both kinds.
    for (int kind = 0; kind < 2; ++kind)
        if (!address[kind] && firstAddress_[kind] && *firstAddress_[kind] < sent_)
            queued_.push_back(Record{startOf[kind], index, true});
    if (address[0] && address[1] && address[1]->index < address[0]->index)
        std::swap(address[0], address[1]);
    for (auto& a : address)
        if (a)
            queued_.push_back(Record{a->text, index, true});
    queued_.push_back(record);
    return true;
}
