// Dialogs drawn as text: a dialog as its heading and its controls in reading order, groups
// and lists under their labels, a painted control (the gauge) as one line of cells.
#include "fw/console/console_window.h"
#include "sys/text.h"

#include <algorithm>
#include <cstdio>

namespace fw {

using namespace console;

namespace console {

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
namespace {

void Escape(std::string& out, unsigned char c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    out += escaped;
}

// The length of the well-formed UTF-8 sequence at text[i], or 0.
size_t SequenceLength(const std::string& text, size_t i, unsigned& codePoint) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (length == 0 || c > 0xF4 || i + length > text.size())
        return 0;
    codePoint = c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool overlong = codePoint < smallest[length];
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return overlong || surrogate || codePoint > 0x10FFFF ? 0 : length;
}

} // namespace

// C0 and C1 controls (line ends and tabs of a text excepted) and bytes that are no UTF-8 would
// reach the terminal as commands of their own: each is written as \xHH.
std::string Printable(const std::string& text, bool oneLine) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            const bool layout = (c == '\n' || c == '\t') && !oneLine;
            if ((c < 0x20 && !layout) || c == 0x7F)
                Escape(out, c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        unsigned codePoint = 0;
        const size_t length = SequenceLength(text, i, codePoint);
        if (length == 0) {
            Escape(out, c);
            ++i;
            continue;
        }
        for (size_t k = 0; k < length; ++k) {
            if (codePoint >= 0x80 && codePoint <= 0x9F)
                Escape(out, static_cast<unsigned char>(text[i + k]));
            else
                out += text[i + k];
        }
        i += length;
    }
    return out;
}

namespace {

std::string CanvasLine(const Canvas& canvas) {
    std::string line = "[";
    for (int x = 1; x < Canvas::width - 1; ++x) {
        const char c = canvas.cells[static_cast<size_t>(x)];
        const bool bar = canvas.background[static_cast<size_t>(x)] != RGB(255, 255, 255);
        line += c != ' ' ? c : (bar ? '#' : ' ');
    }
    return line + "]";
}

bool Inside(const ControlTemplate& inner, const ControlTemplate& box) {
    return inner.x >= box.x && inner.y >= box.y && inner.x < box.x + box.cx &&
           inner.y < box.y + box.cy;
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
                       Printable(c.items[i].first, true) + "\n";
            if (c.items.empty())
                out += std::string("    ") + InProgramLanguage("(empty)", "(vide)") + "\n";
        }
    }
    return out;
}

} // namespace

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
        out += InProgramLanguage("To change a choice, answer its letter and the value (",
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
            out += InProgramLanguage("Buttons: ", "Boutons : ") + label +
                   InProgramLanguage(" (answer esc or ", " (répondez esc ou ") +
                   sys::LowerCase(label) + ")\n";
        }
    Io().Write(out);
    w.shown = true;
    w.buttonsShown = false;
    for (auto& c : w.controls)
        if (c.visible && c.subclass != nullptr && c.subclass->canvas)
            c.subclass->canvas->shownText.clear();
}

void DrawFrameCaption(const Window& w) {
    Io().Write("\n==== " + w.text + " ====\n");
}

} // namespace console

Rect CStatic::GetClientRect() const {
    return Rect{0, 0, Canvas::width, Canvas::height};
}

namespace {
Canvas* CanvasOf(WPARAM hdc) {
    Window* w = hdc != 0 ? WindowOf(reinterpret_cast<Handle>(hdc)) : nullptr;
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
        WindowOf(wnd.GetSafeHwnd())->invalid = false;
}

CPaintDC::~CPaintDC() {
    Window* w = WindowOf(wnd_.GetSafeHwnd());
    if (w != nullptr && w->canvas && w->visible && w->dialog != nullptr && w->dialog->shown)
        PresentCanvas(*w->canvas);
}

} // namespace fw
