#pragma once

#include "fw/fw.h"

#include <cstdint>
#include <string>

// The record of one upgrade file.
class CUpgradeFile {
  public:
    CUpgradeFile() = default;
    explicit CUpgradeFile(std::string name) : fileName(std::move(name)) {}
    virtual ~CUpgradeFile() = default;

    std::string fileName;                // relative to the current directory
    std::uint16_t recordCount = 0;       // valid record lines up to and including the end record
    fw::CStringArray compatibleMonitors; // the file's compatibility list, in file order
    std::int32_t monitorIndex = 0; // position of the target monitor in the instrument's answer
};
