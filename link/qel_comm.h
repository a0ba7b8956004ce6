#pragma once

#include "fw/fw.h"
#include "link/link_settings.h"

#include <cstdint>

// The program's one serial link: a hidden window, so that it can own the link timer.
class CQelComm : public fw::CWnd {
  public:
    static constexpr UINT linkTimerId = 101;
    static constexpr UINT linkTimerPeriodMs = 1000;

    explicit CQelComm(fw::CWnd* parent);
    ~CQelComm() override;

    LinkSettings settings{1, 4, 1, 0, 2, 2}; // COM1, 9600, 8 bits, 1 stop bit, no parity, none
    std::int32_t tickCountdown = 0;          // seconds left for the output-drain wait

    void OnTimer(UINT timerId) override;
};
