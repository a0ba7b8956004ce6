#pragma once

#include "files/upgrade_file.h"
#include "files/upgrade_lines.h"

#include <cstdint>
#include <functional>
#include <string>

// The analysis of one upgrade file, one record at a time: every record checked and counted up
// to the end record, and the compatibility list that follows "___LIST_COMP_HEX|" in the data
// bytes extracted. It shows nothing; the analysis dialog reports what it finds.
class HexFileAnalysis {
  public:
    enum class Outcome {
        Continue,    // more to read; call NextStep again
        Sound,       // end record reached with a compatibility list
        BadRecord,   // a line beginning with ':' is not a valid record
        NotText,     // a line holds a zero byte or a control character: no text file
        NoEndRecord, // the file ended before its end record
        BadList,     // a reference of the compatibility list is malformed
        NoList,      // end record reached without a compatibility list
        ReadError,   // the file could not be read to its end
    };

    // A step ends after its first record line or after this many bytes, whichever comes first,
    // so that Cancel is served within a fraction of a second whatever the file holds.
    static constexpr std::uint64_t maxStepBytes = 64 * 1024;

    // file must be open; record receives the count and the list.
    HexFileAnalysis(sys::TextFile& file, CUpgradeFile& record);

    // Called with each new whole percentage of the file consumed.
    std::function<void(int percent)> onPercent;
    // Called once the list has been read, with the record's compatible monitors.
    std::function<void(const fw::CStringArray& monitors)> onListComplete;

    // Reads up to and including the next record line, or maxStepBytes.
    Outcome NextStep();

  private:
    void SearchTag();
    bool CollectList(const std::string& line); // false on a malformed reference

    UpgradeFileLines lines_;
    CUpgradeFile& record_;
    std::int64_t fileSize_;
    std::int64_t bytesConsumed_ = 0;
    int lastPercent_ = 0;
    bool tagFound_ = false;
    bool matching_ = false;
    int matched_ = 0;
    std::string pending_;
    std::string listText_;
    bool listComplete_ = false;
    std::string line_;
};
