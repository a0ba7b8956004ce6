#pragma once

#include "fw/types.h"

#include <cstdint>

// The communication parameters, with the codes shared by the command line, the settings
// dialog and the link.
struct LinkSettings {
    // The parity and handshake codes, in the order of the settings dialog's buttons.
    static constexpr std::int32_t parityEven = 0, parityOdd = 1, parityNone = 2, parityIgnored = 3;
    static constexpr std::int32_t handshakeXonXoff = 0, handshakeHardware = 1, handshakeNone = 2;
    static constexpr std::int32_t baudIndex9600 = 4;

    std::int32_t port;          // n of COMn, 1-based; 0 in the command-line copy: not given
    std::int32_t baudIndex;     // 0..8: 600 .. 115200; any other index opens at 9600
    std::int32_t eightDataBits; // 0 = 7 data bits, otherwise 8
    std::int32_t twoStopBits;   // 0 = 1 stop bit, otherwise 2
    std::int32_t parity;        // parityEven .. parityIgnored
    std::int32_t handshake;     // handshakeXonXoff .. handshakeNone
};

// Bits per second for a baud-rate index; any index outside 0..8 is 9600.
DWORD BaudRateOfIndex(std::int32_t baudIndex);
// The index of a rate in bits per second; a rate that has none is 9600's.
std::int32_t BaudIndexOfRate(long bitsPerSecond);
