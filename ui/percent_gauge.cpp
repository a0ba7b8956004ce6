#include "ui/percent_gauge.h"

#include <cstdio>

bool CPercentGauge::Attach(int controlId, fw::CWnd* parent, std::uint32_t rangeValue, COLORREF bar,
                           COLORREF background) {
    if (!SubclassDlgItem(controlId, parent))
        return false;
    range = rangeValue;
    barColour = bar;
    backgroundColour = background;
    Invalidate(true);
    return true;
}

void CPercentGauge::SetPos(std::uint32_t value) {
    position = value < range ? value : range;
    Invalidate(true);
}

bool CPercentGauge::WorthPainting(std::uint32_t value) const {
    constexpr auto barInterval = std::chrono::milliseconds(100);
    const std::uint32_t shownRange = range == 0 ? 1 : range;
    const std::uint32_t from = position < shownRange ? position : shownRange;
    const std::uint32_t to = value < shownRange ? value : shownRange;
    if (paintedWidth_ < 0 || PercentText(from, shownRange) != PercentText(to, shownRange))
        return true;
    const auto width = std::uint64_t{static_cast<std::uint32_t>(paintedWidth_)};
    return width * from / shownRange != width * to / shownRange &&
           std::chrono::steady_clock::now() - paintedAt_ >= barInterval;
}

std::string CPercentGauge::PercentText(std::uint32_t position, std::uint32_t range) {
    char text[16];
    const auto percent = static_cast<std::uint32_t>(std::uint64_t{position} * 100u / range);
    std::snprintf(text, sizeof text, "%3d%%", static_cast<int>(percent));
    return text;
}

void CPercentGauge::Paint(fw::CDC& dc, const fw::Rect& client) {
    // Colours, frame, inner rectangle.
    dc.SetTextColor(barColour);
    dc.SetBkColor(backgroundColour);
    dc.FrameRectBlack(client);
    const fw::Rect inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
    const int width = inner.Width();
    const int height = inner.Height();
    paintedWidth_ = width;
    paintedAt_ = std::chrono::steady_clock::now();

    // A range of 0 stands for 1; a position past the range is the range.
    if (range == 0)
        range = 1;
    if (position > range)
        position = range;

    // The split, the text and where it goes.
    const auto split =
        inner.left +
        static_cast<int>(std::uint64_t{static_cast<std::uint32_t>(width)} * position / range);
    const fw::Rect done{inner.left, inner.top, split, inner.bottom};
    const fw::Rect rest{split, inner.top, inner.right, inner.bottom};
    const std::string text = PercentText(position, range);
    const fw::Size extent = dc.GetTextExtent(text);
    const int x = (width - extent.cx) / 2 + 1;
    const int y = (height - extent.cy) / 2 + 1;

    // The rest, then the done part with the colours swapped.
    dc.ExtTextOutOpaqueClipped(x, y, rest, text);
    dc.SetBkColor(barColour);
    dc.SetTextColor(backgroundColour);
    dc.ExtTextOutOpaqueClipped(x, y, done, text);
}

LRESULT CPercentGauge::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        fw::CPaintDC dc(*this);
        Paint(dc, GetClientRect());
        return 0;
    }
    default: return CStatic::WindowProc(message, wParam, lParam);
    }
}
