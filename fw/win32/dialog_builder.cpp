// Dialog templates of res/ turned into the DLGTEMPLATE that DialogBoxIndirectParam takes.
#include "fw/win32/win32.h"

namespace fw::win32 {

namespace {

// Predefined control classes, by atom.
constexpr WORD classButton = 0x0080;
constexpr WORD classEdit = 0x0081;
constexpr WORD classStatic = 0x0082;
constexpr WORD classListBox = 0x0083;

constexpr int programIconId = 128;

class TemplateWriter {
  public:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const std::string& text) {
        for (wchar_t c : Widen(text))
            Word(static_cast<WORD>(c));
        Word(0);
    }
    void AlignToDword() {
        if (words_.size() % 2 != 0)
            Word(0);
    }
    std::vector<WORD> Take() { return std::move(words_); }

  private:
    std::vector<WORD> words_;
};

struct ControlClass {
    WORD atom;
    DWORD style;
};

ControlClass ClassOf(const ControlTemplate& c) {
    switch (c.kind) {
    case ControlKind::Static: return {classStatic, SS_LEFT};
    case ControlKind::CenteredStatic: return {classStatic, SS_CENTER};
    case ControlKind::FramedStatic: return {classStatic, SS_BLACKFRAME};
    case ControlKind::Icon: return {classStatic, SS_ICON};
    case ControlKind::PushButton: return {classButton, BS_PUSHBUTTON | WS_TABSTOP};
    case ControlKind::DefPushButton: return {classButton, BS_DEFPUSHBUTTON | WS_TABSTOP};
    case ControlKind::RadioButton: return {classButton, BS_AUTORADIOBUTTON};
    case ControlKind::GroupBox: return {classButton, BS_GROUPBOX};
    case ControlKind::Edit:
        return {classEdit, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                               WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP};
    case ControlKind::Input: return {classEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP};
    case ControlKind::ListBox:
        return {classListBox, LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP};
    }
    return {classStatic, SS_LEFT};
}

} // namespace

std::vector<WORD> BuildDialogTemplate(const DialogTemplate& tmpl) {
    TemplateWriter w;
    // Visible from the start: a dialog whose steps keep the queue busy never goes idle.
    w.Dword(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    w.Dword(0); // extended style
    w.Word(static_cast<WORD>(tmpl.controls.size()));
    w.Word(static_cast<WORD>(tmpl.x));
    w.Word(static_cast<WORD>(tmpl.y));
    w.Word(static_cast<WORD>(tmpl.cx));
    w.Word(static_cast<WORD>(tmpl.cy));
    w.Word(0); // no menu
    w.Word(0); // the dialog class
    w.Text(tmpl.caption);
    w.Word(static_cast<WORD>(tmpl.fontPoints));
    w.Text(tmpl.fontName);

    for (const auto& c : tmpl.controls) {
        w.AlignToDword();
        const ControlClass cls = ClassOf(c);
        DWORD style = WS_CHILD | cls.style;
        if (!c.hidden)
            style |= WS_VISIBLE;
        // The first control bounds the dialog's last group too: arrow keys wrap within a button
        // row at the end instead of walking on into the icon and texts at the top.
        if (c.startsGroup || &c == &tmpl.controls.front())
            style |= WS_GROUP;
        if (c.noPrefix)
            style |= SS_NOPREFIX;
        if (c.disabled)
            style |= WS_DISABLED;
        if (c.sorted)
            style |= LBS_SORT;
        w.Dword(style);
        w.Dword(0);
        w.Word(static_cast<WORD>(c.x));
        w.Word(static_cast<WORD>(c.y));
        w.Word(static_cast<WORD>(c.cx));
        w.Word(static_cast<WORD>(c.cy));
        w.Word(static_cast<WORD>(c.id < 0 ? 0xFFFF : c.id));
        w.Word(0xFFFF);
        w.Word(cls.atom);
        if (c.kind == ControlKind::Icon) {
            w.Word(0xFFFF);
            w.Word(programIconId);
        } else {
            w.Text(c.text);
        }
        w.Word(0); // no creation data
    }
    return w.Take();
}

} // namespace fw::win32
