#pragma once

#include "fw/fw.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// True when line (an Intel HEX record line, its line end allowed) has at least 10 characters
// after the colon, an even number of them, all hexadecimal digits, a byte count equal to the
// number of data bytes, and bytes that sum to 0 modulo 256. The record type is not checked.
// When data is given, a valid record's data bytes are appended to it, a zero byte as '|'.
bool CheckHexRecord(std::string line, std::string* data);

// True for exactly 8 decimal digits, one upper-case letter and 2 decimal digits.
bool IsValidMonitorReference(std::string reference);

// Reads an identification answer ("1,12345678A01,0,12345678B02") into its monitor references
// and, when asked, their state codes. True when at least one reference was read and none was
// malformed. onMonitor, when given, sees every well-formed reference before it is kept (the
// trace shows it there).
bool ParseMonitorList(std::string answer, fw::CStringArray* monitors,
                      std::vector<std::uint8_t>* stateCodes,
                      const std::function<void(const std::string&)>& onMonitor = {});
