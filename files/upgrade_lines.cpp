#include "files/upgrade_lines.h"

namespace {
const std::string utf8Mark = "\xEF\xBB\xBF";
const std::string endRecord = ":00000001FF";
} // namespace

UpgradeFileLines::Read UpgradeFileLines::Next(std::string& line) {
    const Read read = file_.ReadLine(line, maxLineChars + 1);
    if (read != Read::Line)
        return read;
    const bool first = length_ == 0;
    length_ += line.size();
    digest_.Update(line);
    if (first && line.compare(0, utf8Mark.size(), utf8Mark) == 0)
        line.erase(0, utf8Mark.size());
    return read;
}

AnalysedText UpgradeFileLines::Seal() {
    return AnalysedText{length_, digest_.Final()};
}

bool UpgradeFileLines::Rewind() {
    if (!file_.Rewind())
        return false;
    digest_.Final();
    length_ = 0;
    return true;
}

bool IsTextLine(const std::string& line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F)
            return false;
    }
    return true;
}

bool IsEndRecord(const std::string& upperLine) {
    return upperLine.find(endRecord) != std::string::npos;
}
