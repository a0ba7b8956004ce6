#pragma once

#include "fw/types.h"

#include <cstdint>

// The communication parameters, with the codes shared by the command line, the settings
// dialog and the link.
struct LinkSettings {
    std::int32_t port;          // n of COMn, 1-based; 0 in the command-line copy: not given
    std::int32_t baudIndex;     // 0..8: 600 .. 115200; any other index opens at 9600
    std::int32_t eightDataBits; // 0 = 7 data bits, otherwise 8
    std::int32_t twoStopBits;   // 0 = 1 stop bit, otherwise 2
    std::int32_t parity;        // 0 even, 1 odd, 2 none, 3 ignored
    std::int32_t handshake;     // 0 Xon/Xoff, 1 hardware, 2 none
};

// Bits per second for a baud-rate index; any index outside 0..8 is 9600.
DWORD BaudRateOfIndex(std::int32_t baudIndex);
// The index of a rate in bits per second; a rate that has none is 9600's.
std::int32_t BaudIndexOfRate(long bitsPerSecond);
