#pragma once

#include "fw/fw.h"

#include <chrono>
#include <cstdint>
#include <string>

// A percentage bar painted over a framed static control: the done part in the bar colour, the
// rest in the background colour, and the percentage text inverted where the bar runs under it.
class CPercentGauge : public fw::CStatic {
  public:
    // Binds the gauge to the dialog's control; false (and nothing changed) when it cannot.
    bool Attach(int controlId, fw::CWnd* parent, std::uint32_t rangeValue, COLORREF barColour,
                COLORREF backgroundColour);
    void SetPos(std::uint32_t value);
    // Whether a position is worth painting now: always for another percentage; for the bar
    // alone moving, not more often than the eye follows. Painting costs a good part of a line
    // exchange at 115200 baud under Wine, and a file of a million records would otherwise be
    // painted a million times.
    bool WorthPainting(std::uint32_t value) const;

    std::uint32_t Range() const { return range; }
    std::uint32_t Pos() const { return position; }

    // The painting, on any device context with the control's client rectangle.
    void Paint(fw::CDC& dc, const fw::Rect& client);
    // "%3d%%" of position over range.
    static std::string PercentText(std::uint32_t position, std::uint32_t range);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    std::uint32_t range = 100;
    std::uint32_t position = 0;
    COLORREF barColour = RGB(0, 0, 255);
    COLORREF backgroundColour = RGB(255, 255, 255);
    int paintedWidth_ = -1; // inner width of the last painting; -1 before the first
    std::chrono::steady_clock::time_point paintedAt_{};
};
