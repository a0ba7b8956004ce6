#pragma once

#include "sys/serial.h"

#include <termios.h>

namespace sys {

// The termios that carries a Windows port state: speed, character size, parity, stop bits,
// XON/XOFF and CTS flow control, raw bytes. 0, or the errno for a value the line cannot take.
int TermiosForCommState(const CommState& state, termios& tio);
// Bits per second of a termios speed; 0 for one the Windows state has no rate for.
DWORD RateOfSpeed(speed_t speed);

} // namespace sys
