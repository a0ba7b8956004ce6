// The Windows port state as termios carries it.
#include "sys/posix/termios_state.h"

#include <cerrno>

namespace sys {

namespace {

struct Speed {
    DWORD rate;
    speed_t code;
};

constexpr Speed speeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};
} // namespace

DWORD RateOfSpeed(speed_t speed) {
    for (const auto& s : speeds)
        if (s.code == speed)
            return s.rate;
    return 0;
}

int TermiosForCommState(const CommState& state, termios& tio) {
    speed_t speed = 0;
    bool known = false;
    for (const auto& s : speeds)
        if (s.rate == state.baudRate) {
            speed = s.code;
            known = true;
        }
    if (!known)
        return EINVAL;

    // Binary bytes both ways, as the Windows driver moves them.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXANY | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ECHOCTL | ECHOKE |
                                          ICANON | ISIG | IEXTEN | TOSTOP);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (state.byteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return EINVAL;
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    if (state.parity == ODDPARITY)
        tio.c_cflag |= PARENB | PARODD;
    else if (state.parity == EVENPARITY)
        tio.c_cflag |= PARENB;
    if (state.stopBits == TWOSTOPBITS)
        tio.c_cflag |= CSTOPB;
    else
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    if (state.outxCtsFlow)
        tio.c_cflag |= CRTSCTS;
    else
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
    if (state.outX)
        tio.c_iflag |= IXON;
    if (state.inX)
        tio.c_iflag |= IXOFF;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return errno;
    return 0;
}

} // namespace sys
