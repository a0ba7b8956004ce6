// The console's message queue: posted messages in order, paint and timer messages made when
// they are looked for, as Windows makes them; the window records' lifetime.
#include "fw/console/console_window.h"
#include "sys/stop.h"

#include <csignal>

#include <algorithm>

namespace fw {

using namespace console;

namespace {

bool Matches(const Msg& m, Handle filter, UINT lo, UINT hi) {
    if (filter != nullptr && m.hwnd != filter && !(m.message == WM_QUIT))
        return false;
    if (lo == 0 && hi == 0)
        return true;
    return m.message >= lo && m.message <= hi;
}

} // namespace

namespace console {

// The dialog at work whose Cancel a pending Ctrl-C on a terminal stands for, or none.
Window* DialogCancelledByStop() {
    auto& s = ConsoleState();
    Window* top = s.modalStack.empty() ? nullptr : s.modalStack.back();
    const Control* cancel = top != nullptr ? FindControl(top, IDCANCEL) : nullptr;
    if (sys::StopRequest() == SIGINT && !s.stopIsQuit && Io().InputIsTerminal() && top != nullptr &&
        top->worksWithoutInput && cancel != nullptr && cancel->visible)
        return top;
    return nullptr;
}

void ServeStopRequest() {
    auto& s = ConsoleState();
    const int signal = sys::StopRequest();
    if (signal == 0 || s.quitPosted)
        return;
    if (Window* dialog = DialogCancelledByStop()) {
        sys::ClearStopRequest();
        Io().Write("\n");
        dialog->object->PostMessage(WM_COMMAND, IDCANCEL, 0);
        return;
    }
    s.quitPosted = true;
    PostQuitMessage(128 + signal);
}

int NextTimerDelayMs() {
    if (ConsoleState().timers.empty())
        return -1;
    auto next = std::min_element(ConsoleState().timers.begin(), ConsoleState().timers.end(),
                                 [](const Timer& a, const Timer& b) { return a.due < b.due; });
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(next->due - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left) + 1;
}

void ForgetWindow(Window* w) {
    auto& s = ConsoleState();
    for (auto& other : s.windows) {
        if (other->dialog == w)
            other->dialog = nullptr;
        for (auto& c : other->controls)
            if (c.subclass == w)
                c.subclass = nullptr;
    }
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const Timer& t) { return t.hwnd == w; }),
                   s.timers.end());
    s.queue.erase(
        std::remove_if(s.queue.begin(), s.queue.end(), [&](const Msg& m) { return m.hwnd == w; }),
        s.queue.end());
    s.modalStack.erase(std::remove(s.modalStack.begin(), s.modalStack.end(), w),
                       s.modalStack.end());
    s.windows.erase(std::remove_if(s.windows.begin(), s.windows.end(),
                                   [&](const std::unique_ptr<Window>& p) { return p.get() == w; }),
                    s.windows.end());
}

Window* NewWindow(CWnd* object) {
    ConsoleState().windows.push_back(std::make_unique<Window>());
    Window* w = ConsoleState().windows.back().get();
    w->object = object;
    return w;
}

} // namespace console

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handle_ == nullptr)
        return FALSE;
    ConsoleState().queue.push_back({handle_, message, wParam, lParam});
    return TRUE;
}

UINT CWnd::SetTimer(UINT timerId, UINT periodMs) {
    if (handle_ == nullptr)
        return 0;
    KillTimer(timerId);
    ConsoleState().timers.push_back(
        {handle_, timerId, periodMs, Clock::now() + std::chrono::milliseconds(periodMs)});
    return timerId;
}

BOOL CWnd::KillTimer(UINT timerId) {
    auto& timers = ConsoleState().timers;
    const auto before = timers.size();
    timers.erase(
        std::remove_if(timers.begin(), timers.end(),
                       [&](const Timer& t) { return t.hwnd == handle_ && t.id == timerId; }),
        timers.end());
    return timers.size() != before ? TRUE : FALSE;
}

BOOL PeekMessage(Msg* msg, CWnd* filter, UINT filterMin, UINT filterMax, UINT removeFlags) {
    ServeStopRequest();
    auto& s = ConsoleState();
    const Handle h = filter != nullptr ? filter->GetSafeHwnd() : nullptr;
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!Matches(*it, h, filterMin, filterMax))
            continue;
        *msg = *it;
        if (removeFlags & PM_REMOVE)
            s.queue.erase(it);
        return TRUE;
    }
    // Paint and timer messages are made when they are looked for, as Windows does.
    for (auto& w : s.windows) {
        const Msg m{w.get(), WM_PAINT, 0, 0};
        if (!w->invalid || !Matches(m, h, filterMin, filterMax))
            continue;
        *msg = m;
        return TRUE;
    }
    const auto now = Clock::now();
    for (auto& t : s.timers) {
        const Msg m{t.hwnd, WM_TIMER, t.id, 0};
        if (t.due > now || !Matches(m, h, filterMin, filterMax))
            continue;
        *msg = m;
        if (removeFlags & PM_REMOVE)
            t.due = now + std::chrono::milliseconds(t.periodMs);
        return TRUE;
    }
    return FALSE;
}

bool ServeStopRequestInWait() {
    if (sys::StopRequest() == 0)
        return true;
    Window* dialog = DialogCancelledByStop();
    if (dialog == nullptr) {
        ServeStopRequest();
        return false;
    }
    sys::ClearStopRequest();
    Io().Write("\n");
    dialog->object->SendMessage(WM_COMMAND, IDCANCEL, 0);
    // A second request while it asked, or Yes, ends the work.
    return !dialog->ended && sys::StopRequest() == 0;
}

// The console's waits wake on signals, which the link serves itself.
bool ServeInterfaceInWait() {
    return true;
}

BOOL TranslateMessage(const Msg*) {
    return FALSE;
}

LRESULT DispatchMessage(const Msg* msg) {
    if (msg->hwnd == nullptr)
        return 0;
    auto& windows = ConsoleState().windows;
    const bool alive =
        std::any_of(windows.begin(), windows.end(),
                    [&](const std::unique_ptr<Window>& w) { return w.get() == msg->hwnd; });
    if (!alive)
        return 0;
    if (msg->message == WM_PAINT)
        WindowOf(msg->hwnd)->invalid = false; // whatever the handler does, this paint is done
    return Deliver(WindowOf(msg->hwnd), msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    ConsoleState().queue.push_back({nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

bool PreTranslateMessage(Msg*) {
    if (ConsoleState().modalStack.empty())
        return false;
    Window* top = ConsoleState().modalStack.back();
    if (TakePendingCancel(*top))
        top->object->PostMessage(WM_COMMAND, IDCANCEL, 0);
    return false;
}

} // namespace fw
