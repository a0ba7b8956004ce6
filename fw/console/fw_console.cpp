// Console backend of the class library: windows as records, modal loops as nested loops. The
// controls, the queue, the drawing as text and the reading of answers have files of their own
// (console_controls.cpp, console_queue.cpp, console_drawing.cpp, console_answers.cpp).
#include "fw/backend.h"
#include "fw/console/console_window.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <algorithm>

namespace fw {

using namespace console;

namespace console {

State& ConsoleState() {
    static State state;
    return state;
}

ConsoleIo& Io() {
    return ConsoleIo::Instance();
}

const char* InProgramLanguage(const char* english, const char* french) {
    return ConsoleState().french ? french : english;
}

Control* FindControl(Handle h, int id) {
    if (h == nullptr)
        return nullptr;
    for (auto& c : WindowOf(h)->controls)
        if (c.spec.id == id)
            return &c;
    return nullptr;
}

bool IsButton(const Control& c) {
    return c.spec.kind == ControlKind::PushButton || c.spec.kind == ControlKind::DefPushButton;
}

char LowerLetter(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace console

namespace {
constexpr UINT DC_HASDEFID = 0x534B;
} // namespace

// Access to the library's private parts for this backend.
struct Backend {
    static Handle& HandleOf(CWnd& w) { return w.handle_; }
    static bool& Unhandled(CDialog& d) { return d.unhandled_; }

    static LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
        if (!w->isDialog)
            return w->object->WindowProc(message, wParam, lParam);
        auto* dialog = static_cast<CDialog*>(w->object);
        Unhandled(*dialog) = false;
        const LRESULT result = dialog->WindowProc(message, wParam, lParam);
        if (!Unhandled(*dialog) || message == WM_INITDIALOG)
            return result;
        // The dialog manager's own handling.
        switch (message) {
        case DM_SETDEFID: w->defId = static_cast<int>(wParam); return TRUE;
        case DM_GETDEFID:
            return w->defId != 0 ? static_cast<LRESULT>((DC_HASDEFID << 16) | w->defId) : 0;
        case WM_CLOSE: w->object->PostMessage(WM_COMMAND, IDCANCEL, 0); return 0;
        default: return 0;
        }
    }

    static void Destroy(CWnd& wnd) {
        Handle& h = HandleOf(wnd);
        if (h == nullptr)
            return;
        Window* w = WindowOf(h);
        Deliver(w, WM_DESTROY, 0, 0);
        ForgetWindow(w);
        h = nullptr;
    }
};

// --- CWnd ---------------------------------------------------------------------------------

namespace console {

LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
    return Backend::Deliver(w, message, wParam, lParam);
}

} // namespace console

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (handle_ != nullptr) {
        ForgetWindow(WindowOf(handle_));
        handle_ = nullptr;
    }
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_CLOSE: DestroyWindow(); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
    }
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handle_ == nullptr)
        return 0;
    return Backend::Deliver(WindowOf(handle_), message, wParam, lParam);
}

void CWnd::SetWindowText(const std::string& text) {
    if (handle_ == nullptr)
        return;
    Window* w = WindowOf(handle_);
    w->text = text;
    w->shown = false;
    if (w->isFrame && w->visible)
        DrawFrameCaption(*w);
}

std::string CWnd::GetWindowText() const {
    return handle_ == nullptr ? std::string() : WindowOf(handle_)->text;
}

BOOL CWnd::ShowWindow(int command) {
    if (handle_ == nullptr)
        return FALSE;
    Window* w = WindowOf(handle_);
    const bool wasVisible = w->visible;
    w->visible = command != SW_HIDE;
    if (w->isFrame && w->visible && !wasVisible)
        DrawFrameCaption(*w);
    return wasVisible ? TRUE : FALSE;
}

bool CWnd::IsWindowVisible() const {
    return handle_ != nullptr && WindowOf(handle_)->visible;
}
void CWnd::UpdateWindow() {
    if (handle_ != nullptr && WindowOf(handle_)->invalid) {
        Backend::Deliver(WindowOf(handle_), WM_PAINT, 0, 0);
        if (handle_ != nullptr)
            WindowOf(handle_)->invalid = false;
    }
}

void CWnd::Invalidate(bool) {
    if (handle_ != nullptr)
        WindowOf(handle_)->invalid = true;
}
void CWnd::CenterWindow() {}

void CWnd::DestroyWindow() {
    Backend::Destroy(*this);
}

bool CWnd::CreateGeneric(const std::string& name, DWORD, const Rect&, CWnd*, int) {
    Window* w = NewWindow(this);
    w->text = name;
    handle_ = w;
    return true;
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
    Control* c = FindControl(parent != nullptr ? parent->handle_ : nullptr, id);
    if (c == nullptr || c->subclass != nullptr || handle_ != nullptr)
        return false;
    Window* w = NewWindow(this);
    w->dialog = WindowOf(parent->handle_);
    w->controlId = id;
    w->visible = c->visible;
    w->canvas = std::make_unique<Canvas>();
    c->subclass = w;
    handle_ = w;
    return true;
}

bool CFrameWnd::Create(const std::string& caption) {
    Window* w = NewWindow(this);
    w->isFrame = true;
    w->text = caption;
    Backend::HandleOf(*this) = w;
    return true;
}

Rect CFrameWnd::GetClientRect() const {
    return Rect{0, 0, 80, 25};
}

// --- dialogs ------------------------------------------------------------------------------

int CDialog::DoModal() {
    const DialogTemplate* tmpl = FindDialogTemplate(templateId_);
    if (tmpl == nullptr || Backend::HandleOf(*this) != nullptr)
        return -1;
    Window* w = NewWindow(this);
    w->isDialog = true;
    w->worksWithoutInput = worksWithoutInput;
    w->text = tmpl->caption;
    w->visible = true;
    for (const auto& spec : tmpl->controls) {
        Control c{spec, spec.text, !spec.hidden, nullptr, true, false, {}, -1};
        c.enabled = !spec.disabled;
        w->controls.push_back(c);
    }
    Backend::HandleOf(*this) = w;
    ConsoleState().modalStack.push_back(w);
    ConsoleState().lastCancelCheck = Clock::time_point{}; // a new dialog looks for a Cancel at once

    Backend::Deliver(w, WM_INITDIALOG, 0, 0);

    while (!w->ended) {
        if (!w->shown)
            DrawDialog(*w);
        Msg msg;
        if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit for the loop outside this one.
                PostQuitMessage(static_cast<int>(msg.wParam));
                w->ended = true;
                w->result = IDCANCEL;
                break;
            }
            if (!PreTranslateMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessage(&msg);
            }
            continue;
        }
        // Idle: ask the user, serving timers while the answer is awaited.
        const Answer answer = AwaitDialogAnswer(*w);
        if (answer.kind == Answer::Hopeless) {
            EndDialog(IDCANCEL); // nothing could ever end it
            break;
        }
        if (answer.kind == Answer::Close)
            PostMessage(WM_CLOSE, 0, 0);
        else if (answer.kind == Answer::Command)
            PostMessage(WM_COMMAND, static_cast<WPARAM>(answer.id), 0);
    }
    const int result = w->result;
    Backend::Destroy(*this);
    if (!ConsoleState().modalStack.empty())
        ConsoleState().modalStack.back()->shown = false; // the dialog below is shown again
    return result;
}

void CDialog::EndDialog(int result) {
    if (Backend::HandleOf(*this) == nullptr)
        return;
    WindowOf(Backend::HandleOf(*this))->ended = true;
    WindowOf(Backend::HandleOf(*this))->result = result;
}

void CDialog::GotoDlgCtrl(int) {}

void SetInterfaceLanguage(int language) {
    ConsoleState().french = language == 0;
}

void MessageBeep(UINT) {
    if (Io().OutputIsTerminal())
        Io().Write("\a");
}

void CWinApp::SetDialogBkColor(COLORREF, COLORREF) {}
void CWinApp::BeginWaitCursor() {}
void CWinApp::EndWaitCursor() {}

namespace backend {

void Initialize() {
    ConsoleState();
    Io();
}

} // namespace backend

} // namespace fw
