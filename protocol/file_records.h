#pragma once

#include "files/upgrade_file.h"
#include "files/upgrade_lines.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// The record lines of the file being sent, each with its place among them (from 0), read as they
// go and read again from a record the answers put in doubt: the file is never held in memory.
class FileRecords {
  public:
    enum class Read { Record, Text, Changed, Error };
    struct Record {
        std::string text; // without its line end
        std::uint32_t index = 0;
        bool context = false; // an address record sent again for the record at index
    };

    FileRecords(sys::TextFile& file, const AnalysedText& analysed);

    // Reads on in the check that the file is still the one analysed: true once the check is
    // over, ok telling whether it passed; false when a slice of it is left for another call.
    bool Check(std::uint64_t sliceBytes, bool& ok);
    // The next record (or a line of text, read and not to be sent). Changed: the file is no
    // longer the one analysed, or ended before its end record; Error: it cannot be read.
    Read Next(Record& record);
    // From record `index` again, and every record after it, after the address records that put
    // its data where the file does: the last of each kind before it, or, where the file set
    // none before it but did since, the record that sets that kind to 0, the file's start.
    // False when the file cannot be read again (ErrorCode).
    bool Again(std::uint32_t index);
    // The record Again starts from, before any other is read.
    const Record& Doubted() const { return queued_.back(); }
    DWORD ErrorCode() const { return file_.ErrorCode(); }

  private:
    Read ReadLine(Record& record);

    sys::TextFile& file_;
    UpgradeFileLines lines_;
    const AnalysedText& analysed_;
    std::uint32_t next_ = 0; // the index of the next record in the file
    std::uint32_t sent_ = 0; // records read for sending so far: those below go again
    // The first record of each address kind (02, 04) the file holds, once read.
    std::optional<std::uint32_t> firstAddress_[2];
    std::deque<Record> queued_;
};
