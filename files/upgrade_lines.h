#pragma once

#include "files/upgrade_file.h"
#include "sys/digest.h"
#include "sys/text_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The lines of an upgrade file, read one way for the analysis and for the transmission, so that
// every record the analysis counted is a line the transmission sends, and nothing else: pieces
// of at most maxLineChars characters (their LF included) in the text file's reading, and the
// length and SHA-256 of all that was delivered, which prove the text sent to be the one analysed.
class UpgradeFileLines {
  public:
    using Read = sys::TextFile::Read;
    static constexpr std::size_t maxLineChars = 254;

    explicit UpgradeFileLines(sys::TextFile& file) : file_(file) {}

    // The next line. An editor's UTF-8 mark before the first line is no part of it: the
    // file's first record would otherwise begin with it and be skipped as text.
    Read Next(std::string& line);
    // Bytes delivered since the start.
    std::uint64_t Length() const { return length_; }
    // What has been delivered, by length and digest; the digest starts again empty.
    AnalysedText Seal();
    // Back to the first line; false (with the file's ErrorCode()) when the file cannot seek.
    bool Rewind();

  private:
    sys::TextFile& file_;
    sys::Sha256 digest_;
    std::uint64_t length_ = 0;
};

// A line that holds only text: no zero byte and no control character but tab and LF. Zeros in
// place of lines are what a torn copy holds, and Intel HEX has no whole-file sum to show it.
bool IsTextLine(const std::string& line);
// A record line begins with ':'; any other line is text that is neither checked nor sent.
inline bool IsRecordLine(const std::string& line) {
    return !line.empty() && line[0] == ':';
}
// The end record, ":00000001FF", in a line already in upper case.
bool IsEndRecord(const std::string& upperLine);
