// Console backend of the class library: a message queue of its own, modal loops as nested
// loops, dialogs and message boxes drawn as text and answered by lines of input.
#include "fw/backend.h"
#include "fw/console/console_io.h"
#include "fw/dialog_template.h"
#include "sys/sys.h"
#include "sys/text.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT DC_HASDEFID = 0x534B;

// A painted control's face: one row of character cells between two brackets.
struct Canvas {
    static constexpr int width = 52, height = 3; // client area, frame included
    std::string cells = std::string(width, ' ');
    std::vector<COLORREF> background = std::vector<COLORREF>(width, RGB(255, 255, 255));
    COLORREF textColour = 0, backgroundColour = RGB(255, 255, 255);
    std::string lastText;  // the text last drawn
    std::string shownText; // the text last printed
};

struct Window;

struct Control {
    ControlTemplate spec;
    std::string text;
    bool visible;
    Window* subclass = nullptr; // the window record of a subclassed control
    bool enabled = true;
    bool checked = false;
    std::vector<std::pair<std::string, LPARAM>> items; // a list box's
    int selection = -1;
};

struct Window {
    CWnd* object = nullptr;
    bool isDialog = false;
    bool isFrame = false;
    Window* dialog = nullptr; // for a subclassed control: its dialog
    int controlId = 0;
    std::unique_ptr<Canvas> canvas;
    bool invalid = false;
    std::string text;
    bool visible = false;
    std::vector<Control> controls;
    int defId = 0;
    bool ended = false;
    int result = 0;
    bool worksWithoutInput = false; // a progress dialog
    bool shown = false;             // drawn since the last change
    bool buttonsShown = false;      // the answers were offered since the last drawing
};

struct Timer {
    Handle hwnd;
    UINT id;
    UINT periodMs;
    Clock::time_point due;
};

struct State {
    bool french = false; // the language of the console's own texts
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<Msg> queue;
    std::vector<Timer> timers;
    std::vector<Window*> modalStack;
    Clock::time_point lastCancelCheck{};
};

State& S() {
    static State state;
    return state;
}

console::ConsoleIo& Io() {
    return console::ConsoleIo::Instance();
}

// One of the console's own texts in the program's language.
const char* Say(const char* english, const char* french) {
    return S().french ? french : english;
}

Window* Rec(Handle h) {
    return static_cast<Window*>(h);
}

Control* FindControl(Handle h, int id) {
    if (h == nullptr)
        return nullptr;
    for (auto& c : Rec(h)->controls)
        if (c.spec.id == id)
            return &c;
    return nullptr;
}

bool IsButton(const Control& c) {
    return c.spec.kind == ControlKind::PushButton || c.spec.kind == ControlKind::DefPushButton;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string WithLineEnd(const std::string& text) {
    if (text.empty() || text.back() == '\n')
        return text;
    return text + "\n";
}

// A text pane's CR LF line ends, as a terminal shows them.
std::string WithoutCarriageReturns(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

// Text that came from the disk or the instrument, as a terminal may show it: control
// characters (an escape sequence in a file name, a stray byte in an answer) written out.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void EchoAnswer(const std::optional<std::string>& line) {
    // On a terminal the user's own typing is the echo; a script's answers are shown so that a
    // transcript reads as a dialogue.
    if (!Io().InputIsTerminal()) {
        Io().Write(line ? *line + "\n"
                        : std::string(Say("(end of input)", "(fin de l'entrée)")) + "\n");
        Io().Flush(); // a trace box's Cancel ends the process without flushing
    }
}

// --- answers ------------------------------------------------------------------------------

struct Choice {
    int id;
    std::string label; // as shown, accelerator removed
    char letter;       // lower case, 0 when none
    // A box button also answers to its English name and letter, whatever the language, so
    // that one script serves both.
    std::string alias = {};
    char aliasLetter = 0;
};

std::string ChoicesLine(const std::vector<Choice>& choices, int defaultId) {
    std::string line = Say("Buttons:", "Boutons :");
    const char* sep = " ";
    std::string defaultLabel;
    for (const auto& c : choices) {
        line += sep;
        if (c.letter != 0)
            line += std::string("(") + c.letter + ") ";
        line += c.label;
        sep = ", ";
        if (c.id == defaultId)
            defaultLabel = c.label;
    }
    if (!defaultLabel.empty())
        line += Say("; Enter: ", " ; Entrée : ") + defaultLabel;
    return line + "\n";
}

// The button an answer names: its full text or its letter, case-blind, then its English name
// or letter; 0 when none.
int MatchChoice(const std::vector<Choice>& choices, const std::string& answer) {
    const std::string wanted = sys::LowerCase(answer);
    for (const auto& c : choices)
        if (sys::LowerCase(c.label) == wanted)
            return c.id;
    if (wanted.size() == 1)
        for (const auto& c : choices)
            if (c.letter == wanted[0])
                return c.id;
    for (const auto& c : choices)
        if (!c.alias.empty() && sys::LowerCase(c.alias) == wanted)
            return c.id;
    if (wanted.size() == 1)
        for (const auto& c : choices)
            if (c.aliasLetter != 0 && c.aliasLetter == wanted[0])
                return c.id;
    return 0;
}

char LowerLetter(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Each button answers to a letter of its own: the one after its '&', else the first letter of
// its text that no other button claims.
void GiveLetters(std::vector<Choice>& choices) {
    std::string taken;
    for (const auto& c : choices)
        if (c.letter != 0)
            taken += c.letter;
    for (auto& c : choices) {
        if (c.letter != 0)
            continue;
        for (char t : c.label) {
            const char letter = LowerLetter(t);
            if (letter >= 'a' && letter <= 'z' && taken.find(letter) == std::string::npos) {
                c.letter = letter;
                taken += letter;
                break;
            }
        }
    }
}

std::vector<Choice> DialogChoices(const Window& w) {
    std::vector<Choice> choices;
    for (const auto& c : w.controls) {
        if (!c.visible || !IsButton(c))
            continue;
        choices.push_back(
            {c.spec.id, StripAccelerator(c.text), LowerLetter(AcceleratorOf(c.text))});
    }
    GiveLetters(choices);
    return choices;
}

int DialogDefaultButton(const Window& w) {
    if (w.defId != 0)
        return w.defId;
    for (const auto& c : w.controls)
        if (c.visible && c.spec.kind == ControlKind::DefPushButton)
            return c.spec.id;
    return 0;
}

std::string CanvasLine(const Canvas& canvas) {
    std::string line = "[";
    for (int x = 1; x < Canvas::width - 1; ++x) {
        const char c = canvas.cells[static_cast<size_t>(x)];
        const bool bar = canvas.background[static_cast<size_t>(x)] != RGB(255, 255, 255);
        line += c != ' ' ? c : (bar ? '#' : ' ');
    }
    return line + "]";
}

// Shows a painted control: in place on a terminal; on a pipe a new line only when its text
// (the percentage) changed.
void PresentCanvas(Canvas& canvas) {
    if (Io().OutputIsTerminal()) {
        Io().WriteInPlace(CanvasLine(canvas));
    } else if (canvas.lastText != canvas.shownText) {
        Io().Write(CanvasLine(canvas) + "\n");
        canvas.shownText = canvas.lastText;
    }
}

bool Inside(const ControlTemplate& inner, const ControlTemplate& box) {
    return inner.x >= box.x && inner.y >= box.y && inner.x < box.x + box.cx &&
           inner.y < box.y + box.cy;
}

// The letter that addresses a group or a list: its label's accelerator, else its first letter.
char LabelLetter(const std::string& label) {
    const char a = AcceleratorOf(label);
    return LowerLetter(a != 0 ? a : (label.empty() ? 0 : label[0]));
}

// The group box a radio button stands in, or the label right above a list box.
const Control* OwnerLabel(const Window& w, const Control& c) {
    const Control* best = nullptr;
    for (const auto& o : w.controls) {
        if (c.spec.kind == ControlKind::RadioButton) {
            if (o.spec.kind == ControlKind::GroupBox && Inside(c.spec, o.spec))
                return &o;
        } else if (o.spec.kind == ControlKind::Static && o.spec.x == c.spec.x &&
                   o.spec.y < c.spec.y && (best == nullptr || o.spec.y > best->spec.y)) {
            best = &o;
        }
    }
    return best;
}

// The controls in reading order: top to bottom, then left to right.
std::vector<const Control*> ReadingOrder(const Window& w) {
    std::vector<const Control*> order;
    for (const auto& c : w.controls)
        order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        return a->spec.y != b->spec.y ? a->spec.y < b->spec.y : a->spec.x < b->spec.x;
    });
    return order;
}

std::string DrawControls(const Window& w, const Control* owner) {
    std::string out;
    for (const Control* control : ReadingOrder(w)) {
        const Control& c = *control;
        if (!c.visible || OwnerLabel(w, c) != owner)
            continue;
        if (c.spec.kind == ControlKind::RadioButton) {
            out += std::string("  (") + (c.checked ? "*" : " ") + ") " +
                   Printable(StripAccelerator(c.text)) + "\n";
        } else if (c.spec.kind == ControlKind::ListBox) {
            for (size_t i = 0; i < c.items.size(); ++i)
                out += std::string(static_cast<int>(i) == c.selection ? "  > " : "    ") +
                       Printable(c.items[i].first) + "\n";
            if (c.items.empty())
                out += std::string("    ") + Say("(empty)", "(vide)") + "\n";
        }
    }
    return out;
}

void DrawDialog(Window& w) {
    std::string out = "\n---- " + Printable(w.text) + " ----\n";
    for (const Control* control : ReadingOrder(w)) {
        const Control& c = *control;
        if (!c.visible)
            continue;
        const bool grouped =
            c.spec.kind == ControlKind::RadioButton || c.spec.kind == ControlKind::ListBox;
        if (grouped && OwnerLabel(w, c) != nullptr)
            continue; // drawn under its group box or label
        switch (c.spec.kind) {
        case ControlKind::Edit:
            out += WithLineEnd(Printable(WithoutCarriageReturns(c.text)));
            break;
        case ControlKind::Static:
        case ControlKind::CenteredStatic:
            if (!c.text.empty())
                out += WithLineEnd(Printable(c.spec.noPrefix ? c.text : StripAccelerator(c.text)));
            out += DrawControls(w, &c);
            break;
        case ControlKind::GroupBox:
            out += "[" + Printable(StripAccelerator(c.text)) + "]\n" + DrawControls(w, &c);
            break;
        case ControlKind::RadioButton:
        case ControlKind::ListBox: {
            out += DrawControls(w, nullptr);
            break;
        }
        default: break;
        }
    }
    // Groups and lists are changed with their letter and a value.
    std::string letters;
    for (const auto& c : w.controls) {
        if (!c.visible || !c.enabled ||
            (c.spec.kind != ControlKind::RadioButton && c.spec.kind != ControlKind::ListBox))
            continue;
        const Control* owner = OwnerLabel(w, c);
        const char letter = owner != nullptr ? LabelLetter(owner->text) : 0;
        if (letter != 0 && letters.find(letter) == std::string::npos)
            letters += letter;
    }
    if (!letters.empty()) {
        out += Say("To change a choice, answer its letter and the value (",
                   "Pour changer un choix, répondez sa lettre et la valeur (");
        for (size_t i = 0; i < letters.size(); ++i)
            out += std::string(i ? ", " : "") + letters[i] + " ...";
        out += ").\n";
    }
    // A dialog at work never waits for a line: it says how its Cancel is pressed.
    if (w.worksWithoutInput)
        if (const Control* cancel = FindControl(&w, IDCANCEL);
            cancel != nullptr && cancel->visible) {
            const std::string label = StripAccelerator(cancel->text);
            out += Say("Buttons: ", "Boutons : ") + label +
                   Say(" (answer esc or ", " (répondez esc ou ") + sys::LowerCase(label) + ")\n";
        }
    Io().Write(out);
    w.shown = true;
    w.buttonsShown = false;
    for (auto& c : w.controls)
        if (c.visible && c.subclass != nullptr && c.subclass->canvas)
            c.subclass->canvas->shownText.clear();
}

// "<letter> <value>": checks a radio button of a group or selects a list item. False when the
// answer names no such choice.
bool ApplyChoice(Window& w, const std::string& answer) {
    const auto space = answer.find(' ');
    if (space != 1)
        return false;
    const char letter = LowerLetter(answer[0]);
    const std::string value = sys::LowerCase(Trim(answer.substr(2)));
    for (auto& c : w.controls) {
        if (!c.visible || !c.enabled)
            continue;
        const Control* owner = OwnerLabel(w, c);
        if (owner == nullptr || LabelLetter(owner->text) != letter)
            continue;
        if (c.spec.kind == ControlKind::RadioButton &&
            sys::LowerCase(StripAccelerator(c.text)) == value) {
            for (auto& other : w.controls)
                if (other.spec.kind == ControlKind::RadioButton && OwnerLabel(w, other) == owner)
                    other.checked = false;
            c.checked = true;
            w.shown = false;
            return true;
        }
        if (c.spec.kind == ControlKind::ListBox) {
            for (size_t i = 0; i < c.items.size(); ++i)
                if (sys::LowerCase(c.items[i].first) == value || std::to_string(i + 1) == value) {
                    c.selection = static_cast<int>(i);
                    w.shown = false;
                    return true;
                }
        }
    }
    return false;
}

// --- the queue ----------------------------------------------------------------------------

bool Matches(const Msg& m, Handle filter, UINT lo, UINT hi) {
    if (filter != nullptr && m.hwnd != filter && !(m.message == WM_QUIT))
        return false;
    if (lo == 0 && hi == 0)
        return true;
    return m.message >= lo && m.message <= hi;
}

int NextTimerDelayMs() {
    if (S().timers.empty())
        return -1;
    auto next = std::min_element(S().timers.begin(), S().timers.end(),
                                 [](const Timer& a, const Timer& b) { return a.due < b.due; });
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(next->due - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left) + 1;
}

void ForgetWindow(Window* w) {
    auto& s = S();
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
    S().windows.push_back(std::make_unique<Window>());
    Window* w = S().windows.back().get();
    w->object = object;
    return w;
}

void DrawFrameCaption(const Window& w) {
    Io().Write("\n==== " + w.text + " ====\n");
}

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
        Window* w = Rec(h);
        Deliver(w, WM_DESTROY, 0, 0);
        ForgetWindow(w);
        h = nullptr;
    }
};

// --- CWnd ---------------------------------------------------------------------------------

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (handle_ != nullptr) {
        ForgetWindow(Rec(handle_));
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

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handle_ == nullptr)
        return FALSE;
    S().queue.push_back({handle_, message, wParam, lParam});
    return TRUE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handle_ == nullptr)
        return 0;
    return Backend::Deliver(Rec(handle_), message, wParam, lParam);
}

void CWnd::SetWindowText(const std::string& text) {
    if (handle_ == nullptr)
        return;
    Window* w = Rec(handle_);
    w->text = text;
    w->shown = false;
    if (w->isFrame && w->visible)
        DrawFrameCaption(*w);
}

std::string CWnd::GetWindowText() const {
    return handle_ == nullptr ? std::string() : Rec(handle_)->text;
}

BOOL CWnd::ShowWindow(int command) {
    if (handle_ == nullptr)
        return FALSE;
    Window* w = Rec(handle_);
    const bool wasVisible = w->visible;
    w->visible = command != SW_HIDE;
    if (w->isFrame && w->visible && !wasVisible)
        DrawFrameCaption(*w);
    return wasVisible ? TRUE : FALSE;
}

bool CWnd::IsWindowVisible() const {
    return handle_ != nullptr && Rec(handle_)->visible;
}
void CWnd::UpdateWindow() {
    if (handle_ != nullptr && Rec(handle_)->invalid) {
        Backend::Deliver(Rec(handle_), WM_PAINT, 0, 0);
        if (handle_ != nullptr)
            Rec(handle_)->invalid = false;
    }
}

void CWnd::Invalidate(bool) {
    if (handle_ != nullptr)
        Rec(handle_)->invalid = true;
}
void CWnd::CenterWindow() {}

void CWnd::DestroyWindow() {
    Backend::Destroy(*this);
}

UINT CWnd::SetTimer(UINT timerId, UINT periodMs) {
    if (handle_ == nullptr)
        return 0;
    KillTimer(timerId);
    S().timers.push_back(
        {handle_, timerId, periodMs, Clock::now() + std::chrono::milliseconds(periodMs)});
    return timerId;
}

BOOL CWnd::KillTimer(UINT timerId) {
    auto& timers = S().timers;
    const auto before = timers.size();
    timers.erase(
        std::remove_if(timers.begin(), timers.end(),
                       [&](const Timer& t) { return t.hwnd == handle_ && t.id == timerId; }),
        timers.end());
    return timers.size() != before ? TRUE : FALSE;
}

void CWnd::SetDlgItemText(int id, const std::string& text) {
    if (Control* c = FindControl(handle_, id)) {
        c->text = text;
        Rec(handle_)->shown = false;
    }
}

std::string CWnd::GetDlgItemText(int id) const {
    const Control* c = FindControl(handle_, id);
    return c == nullptr ? std::string() : c->text;
}

void CWnd::ShowDlgItem(int id, bool show) {
    if (Control* c = FindControl(handle_, id)) {
        c->visible = show;
        Rec(handle_)->shown = false;
    }
}

void CWnd::EnableDlgItem(int id, bool enable) {
    if (Control* c = FindControl(handle_, id)) {
        c->enabled = enable;
        Rec(handle_)->shown = false;
    }
}

bool CWnd::IsDlgItemEnabled(int id) const {
    const Control* c = FindControl(handle_, id);
    return c != nullptr && c->enabled;
}

void CWnd::SetDlgItemFixedFont(int) {} // a terminal's font is fixed already
void CWnd::PlaceCaretAtStart(int) {}   // a printed pane has no caret

void CWnd::CheckDlgButton(int id, bool checked) {
    if (Control* c = FindControl(handle_, id)) {
        c->checked = checked;
        Rec(handle_)->shown = false;
    }
}

bool CWnd::IsDlgButtonChecked(int id) const {
    const Control* c = FindControl(handle_, id);
    return c != nullptr && c->checked;
}

int CWnd::ListAddString(int id, const std::string& text) {
    Control* c = FindControl(handle_, id);
    if (c == nullptr)
        return -1;
    auto at = c->items.end();
    if (c->spec.sorted)
        at = std::find_if(c->items.begin(), c->items.end(), [&](const auto& item) {
            return sys::LowerCase(text) < sys::LowerCase(item.first);
        });
    const int index = static_cast<int>(at - c->items.begin());
    c->items.insert(at, {text, 0});
    if (c->selection >= index)
        ++c->selection;
    Rec(handle_)->shown = false;
    return index;
}

void CWnd::ListSetItemData(int id, int index, LPARAM data) {
    Control* c = FindControl(handle_, id);
    if (c != nullptr && index >= 0 && index < static_cast<int>(c->items.size()))
        c->items[static_cast<size_t>(index)].second = data;
}

LPARAM CWnd::ListGetItemData(int id, int index) const {
    const Control* c = FindControl(handle_, id);
    if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size()))
        return -1;
    return c->items[static_cast<size_t>(index)].second;
}

int CWnd::ListGetCount(int id) const {
    const Control* c = FindControl(handle_, id);
    return c == nullptr ? -1 : static_cast<int>(c->items.size());
}

std::string CWnd::ListGetText(int id, int index) const {
    const Control* c = FindControl(handle_, id);
    if (c == nullptr || index < 0 || index >= static_cast<int>(c->items.size()))
        return std::string();
    return c->items[static_cast<size_t>(index)].first;
}

void CWnd::ListSetCurSel(int id, int index) {
    if (Control* c = FindControl(handle_, id)) {
        c->selection = index >= 0 && index < static_cast<int>(c->items.size()) ? index : -1;
        Rec(handle_)->shown = false;
    }
}

int CWnd::ListGetCurSel(int id) const {
    const Control* c = FindControl(handle_, id);
    return c == nullptr ? -1 : c->selection;
}

void CWnd::ListResetContent(int id) {
    if (Control* c = FindControl(handle_, id)) {
        c->items.clear();
        c->selection = -1;
        Rec(handle_)->shown = false;
    }
}

void CWnd::ListDir(int id, const std::string& pattern) {
    for (const auto& name : sys::ListPlainFiles(pattern))
        ListAddString(id, name);
}

bool CWnd::IsDlgItemVisible(int id) const {
    const Control* c = FindControl(handle_, id);
    return c != nullptr && c->visible;
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
    w->dialog = Rec(parent->handle_);
    w->controlId = id;
    w->visible = c->visible;
    w->canvas = std::make_unique<Canvas>();
    c->subclass = w;
    handle_ = w;
    return true;
}

Rect CStatic::GetClientRect() const {
    return Rect{0, 0, Canvas::width, Canvas::height};
}

namespace {
Canvas* CanvasOf(WPARAM hdc) {
    Window* w = hdc != 0 ? Rec(reinterpret_cast<Handle>(hdc)) : nullptr;
    return w != nullptr ? w->canvas.get() : nullptr;
}
} // namespace

void CDC::FillSysColor(const Rect&, int) {}

namespace {
COLORREF ExchangeColour(WPARAM hdc, COLORREF Canvas::*which, COLORREF colour) {
    Canvas* canvas = CanvasOf(hdc);
    if (canvas == nullptr)
        return 0;
    const COLORREF previous = canvas->*which;
    canvas->*which = colour;
    return previous;
}
} // namespace

COLORREF CDC::SetTextColor(COLORREF colour) {
    return ExchangeColour(hdc_, &Canvas::textColour, colour);
}

COLORREF CDC::SetBkColor(COLORREF colour) {
    return ExchangeColour(hdc_, &Canvas::backgroundColour, colour);
}

void CDC::FrameRectBlack(const Rect&) {} // the brackets of the line are the frame

Size CDC::GetTextExtent(const std::string& text) {
    return Size{static_cast<int>(text.size()), 1};
}

void CDC::ExtTextOutOpaqueClipped(int x, int y, const Rect& clip, const std::string& text) {
    Canvas* canvas = CanvasOf(hdc_);
    if (canvas == nullptr || y < clip.top || y >= clip.bottom || y != Canvas::height / 2)
        return;
    for (int col = std::max(clip.left, 0); col < std::min(clip.right, Canvas::width); ++col) {
        canvas->cells[static_cast<size_t>(col)] = ' ';
        canvas->background[static_cast<size_t>(col)] = canvas->backgroundColour;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const int col = x + static_cast<int>(i);
        if (col >= clip.left && col < clip.right && col >= 0 && col < Canvas::width)
            canvas->cells[static_cast<size_t>(col)] = text[i];
    }
    canvas->lastText = text;
}

CPaintDC::CPaintDC(CWnd& wnd) : CDC(reinterpret_cast<WPARAM>(wnd.GetSafeHwnd())), wnd_(wnd) {
    if (wnd.GetSafeHwnd() != nullptr)
        Rec(wnd.GetSafeHwnd())->invalid = false;
}

CPaintDC::~CPaintDC() {
    Window* w = Rec(wnd_.GetSafeHwnd());
    if (w != nullptr && w->canvas && w->visible && w->dialog != nullptr && w->dialog->shown)
        PresentCanvas(*w->canvas);
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
    S().modalStack.push_back(w);
    S().lastCancelCheck = Clock::time_point{}; // a new dialog looks for a Cancel at once

    Backend::Deliver(w, WM_INITDIALOG, 0, 0);

    auto& io = Io();
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
        const auto choices = DialogChoices(*w);
        if (choices.empty() && S().timers.empty()) {
            EndDialog(IDCANCEL); // nothing could ever end it
            break;
        }
        if (!w->buttonsShown) {
            io.Write(ChoicesLine(choices, DialogDefaultButton(*w)) + "> ");
            io.Flush();
            w->buttonsShown = true;
        }
        if (!io.WaitForLine(NextTimerDelayMs()))
            continue; // a timer is due
        const auto line = io.ReadLine();
        EchoAnswer(line);
        if (!line) {
            PostMessage(WM_CLOSE, 0, 0); // the close box
            continue;
        }
        const std::string answer = Trim(*line);
        if (ApplyChoice(*w, answer))
            continue; // drawn again with the change
        int id = answer.empty() ? DialogDefaultButton(*w) : MatchChoice(choices, answer);
        if (id == 0 && sys::LowerCase(answer) == "esc")
            id = IDCANCEL;
        if (id == 0) {
            io.Write("? " + ChoicesLine(choices, DialogDefaultButton(*w)) + "> ");
            io.Flush();
            continue;
        }
        PostMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
    }
    const int result = w->result;
    Backend::Destroy(*this);
    if (!S().modalStack.empty())
        S().modalStack.back()->shown = false; // the dialog below is shown again
    return result;
}

void CDialog::EndDialog(int result) {
    if (Backend::HandleOf(*this) == nullptr)
        return;
    Rec(Backend::HandleOf(*this))->ended = true;
    Rec(Backend::HandleOf(*this))->result = result;
}

void CDialog::GotoDlgCtrl(int) {}

// --- the queue ----------------------------------------------------------------------------

BOOL PeekMessage(Msg* msg, CWnd* filter, UINT filterMin, UINT filterMax, UINT removeFlags) {
    auto& s = S();
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

BOOL TranslateMessage(const Msg*) {
    return FALSE;
}

LRESULT DispatchMessage(const Msg* msg) {
    if (msg->hwnd == nullptr)
        return 0;
    auto& windows = S().windows;
    const bool alive =
        std::any_of(windows.begin(), windows.end(),
                    [&](const std::unique_ptr<Window>& w) { return w.get() == msg->hwnd; });
    if (!alive)
        return 0;
    if (msg->message == WM_PAINT)
        Rec(msg->hwnd)->invalid = false; // whatever the handler does, this paint is done
    return Backend::Deliver(Rec(msg->hwnd), msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    S().queue.push_back({nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

// A dialog at work (messages keep coming) takes a pending input line only when it asks for
// its Cancel button, so that a script's answers for later boxes stay where they are.
bool PreTranslateMessage(Msg*) {
    auto& s = S();
    if (s.modalStack.empty())
        return false;
    Window* top = s.modalStack.back();
    const Control* cancel = FindControl(top, IDCANCEL);
    if (!top->worksWithoutInput || cancel == nullptr || !cancel->visible)
        return false;
    const auto now = Clock::now();
    if (now - s.lastCancelCheck < std::chrono::milliseconds(20))
        return false;
    s.lastCancelCheck = now;
    const auto line = Io().PeekReadyLine();
    if (!line)
        return false;
    const std::string answer = sys::LowerCase(Trim(*line));
    const std::string label = sys::LowerCase(StripAccelerator(cancel->text));
    const char letter = LowerLetter(label.empty() ? 0 : label[0]);
    const bool asksCancel = answer == "esc" || answer == label ||
                            (Io().InputIsTerminal() && answer.size() == 1 && answer[0] == letter);
    if (!asksCancel)
        return false;
    Io().DropPeekedLine();
    Io().Write("> ");
    EchoAnswer(line);
    top->object->PostMessage(WM_COMMAND, IDCANCEL, 0);
    return false;
}

void SetInterfaceLanguage(int language) {
    S().french = language == 0;
}

void MessageBeep(UINT) {
    if (Io().OutputIsTerminal())
        Io().Write("\a");
}

void CWinApp::SetDialogBkColor(COLORREF, COLORREF) {}
void CWinApp::BeginWaitCursor() {}
void CWinApp::EndWaitCursor() {}

// --- message boxes ------------------------------------------------------------------------

namespace backend {

void Initialize() {
    S();
    Io();
}

namespace {

const char* IconWord(UINT style) {
    switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return Say("stop", "arrêt");
    case MB_ICONQUESTION: return "question";
    case MB_ICONEXCLAMATION: return "exclamation";
    case MB_ICONASTERISK: return "information";
    default: return nullptr;
    }
}

// A box button, named as the program's language names it.
Choice BoxButton(int id, const char* english, const char* french) {
    const std::string label = Say(english, french);
    const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    return Choice{id, label, lower(label[0]), english, lower(english[0])};
}

std::vector<Choice> BoxChoices(UINT style) {
    const Choice ok = BoxButton(IDOK, "OK", "OK"),
                 cancel = BoxButton(IDCANCEL, "Cancel", "Annuler"),
                 yes = BoxButton(IDYES, "Yes", "Oui"), no = BoxButton(IDNO, "No", "Non"),
                 retry = BoxButton(IDRETRY, "Retry", "Réessayer"),
                 abort = BoxButton(IDABORT, "Abort", "Abandonner"),
                 ignore = BoxButton(IDIGNORE, "Ignore", "Ignorer");
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return {ok, cancel};
    case MB_ABORTRETRYIGNORE: return {abort, retry, ignore};
    case MB_YESNOCANCEL: return {yes, no, cancel};
    case MB_YESNO: return {yes, no};
    case MB_RETRYCANCEL: return {retry, cancel};
    default: return {ok};
    }
}

// What the close box (here: the end of the input) answers.
int CloseBoxAnswer(const std::vector<Choice>& choices) {
    for (const auto& c : choices)
        if (c.id == IDCANCEL)
            return IDCANCEL;
    if (choices.size() == 1)
        return choices.front().id;
    // Yes/No and Abort/Retry/Ignore have no close box on Windows; the answer that stops
    // nothing already under way is the safe one.
    return choices.back().id == IDNO ? IDNO : IDABORT;
}

} // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, UINT style) {
    auto& io = Io();
    const auto choices = BoxChoices(style);
    size_t defaultIndex = (style & MB_DEFMASK) >> 8;
    if (defaultIndex >= choices.size())
        defaultIndex = 0;
    const int defaultId = choices[defaultIndex].id;

    // A box that a dialog shows while it starts comes after that dialog's heading.
    if (!S().modalStack.empty() && !S().modalStack.back()->shown)
        DrawDialog(*S().modalStack.back());
    std::string out = "\n---- " + caption;
    if (const char* icon = IconWord(style))
        out += std::string(" [") + icon + "]";
    out += " ----\n" + WithLineEnd(Printable(text)) + ChoicesLine(choices, defaultId) + "> ";
    io.Write(out);
    io.Flush();
    // A dialog waiting below asks again once the box is answered.
    if (!S().modalStack.empty())
        S().modalStack.back()->buttonsShown = false;
    for (;;) {
        const auto line = io.ReadLine();
        EchoAnswer(line);
        if (!line)
            return CloseBoxAnswer(choices);
        const std::string answer = Trim(*line);
        if (sys::LowerCase(answer) == "esc")
            return CloseBoxAnswer(choices); // Escape is the close box
        const int id = answer.empty() ? defaultId : MatchChoice(choices, answer);
        if (id != 0)
            return id;
        io.Write("? " + ChoicesLine(choices, defaultId) + "> ");
        io.Flush();
    }
}

} // namespace backend

} // namespace fw
