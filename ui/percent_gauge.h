#pragma once

#include "fw/fw.h"

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
};
