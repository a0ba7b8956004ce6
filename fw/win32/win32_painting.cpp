// Win32 backend: the frame window, and painting with GDI.
#include "fw/win32/win32_backend.h"

namespace fw {

using namespace win32;

Rect CStatic::GetClientRect() const {
    RECT r{};
    ::GetClientRect(H(GetSafeHwnd()), &r);
    return Rect{r.left, r.top, r.right, r.bottom};
}

COLORREF CDC::SetTextColor(COLORREF colour) {
    return ::SetTextColor(reinterpret_cast<HDC>(hdc_), colour);
}

COLORREF CDC::SetBkColor(COLORREF colour) {
    return ::SetBkColor(reinterpret_cast<HDC>(hdc_), colour);
}

void CDC::FrameRectBlack(const Rect& rect) {
    const RECT r = ToRECT(rect);
    ::FrameRect(reinterpret_cast<HDC>(hdc_), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

Size CDC::GetTextExtent(const std::string& text) {
    const std::wstring wide = Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(reinterpret_cast<HDC>(hdc_), wide.c_str(), static_cast<int>(wide.size()),
                          &size);
    return Size{size.cx, size.cy};
}

void CDC::ExtTextOutOpaqueClipped(int x, int y, const Rect& clip, const std::string& text) {
    const std::wstring wide = Widen(text);
    const RECT r = ToRECT(clip);
    ExtTextOutW(reinterpret_cast<HDC>(hdc_), x, y, ETO_OPAQUE | ETO_CLIPPED, &r, wide.c_str(),
                static_cast<UINT>(wide.size()), nullptr);
}

CPaintDC::CPaintDC(CWnd& wnd) : CDC(0), wnd_(wnd), paint_(std::make_shared<PAINTSTRUCT>()) {
    hdc_ = reinterpret_cast<WPARAM>(
        BeginPaint(H(wnd.GetSafeHwnd()), static_cast<PAINTSTRUCT*>(paint_.get())));
}

CPaintDC::~CPaintDC() {
    EndPaint(H(wnd_.GetSafeHwnd()), static_cast<PAINTSTRUCT*>(paint_.get()));
}

void CDC::FillSysColor(const Rect& rect, int sysColorIndex) {
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    FillRect(reinterpret_cast<HDC>(hdc_), &r, GetSysColorBrush(sysColorIndex));
}

bool CFrameWnd::Create(const std::string& caption) {
    if (!RegisterWindowClass())
        return false;
    return CreateWindowExW(0, windowClassName, Widen(caption).c_str(), WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           nullptr, Instance(), this) != nullptr;
}

Rect CFrameWnd::GetClientRect() const {
    RECT r{};
    ::GetClientRect(H(GetSafeHwnd()), &r);
    return Rect{r.left, r.top, r.right, r.bottom};
}

} // namespace fw
