#pragma once

#include "fw/fw.h"

#include <cstdint>
#include <string>

// What the analysis read of a file: the text up to and including the end record, as the text
// mode delivers it, by its length and SHA-256. The bytes sent must be these bytes.
struct AnalysedText {
    std::uint64_t length = 0;
    std::string digest; // 32 raw bytes; empty until an analysis succeeded
};

// The record of one upgrade file.
class CUpgradeFile {
  public:
    CUpgradeFile() = default;
    explicit CUpgradeFile(std::string name) : fileName(std::move(name)) {}
    virtual ~CUpgradeFile() = default;

    std::string fileName; // relative to the current directory
    // Valid record lines up to and including the end record; wide enough for any file a disk
    // holds, so that the gauge's range never wraps.
    std::uint32_t recordCount = 0;
    fw::CStringArray compatibleMonitors; // the file's compatibility list, in file order
    std::int32_t monitorIndex = 0; // position of the target monitor in the instrument's answer
    // The reference the instrument reported at that position when the file was matched: the
    // monitor upgrade mode must be found on before anything of the file is written.
    std::string monitorReference;
    AnalysedText analysed;
};
