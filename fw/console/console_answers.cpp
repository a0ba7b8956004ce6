// Reading answers: a dialog's buttons offered with a letter each and an answer matched to one
// of them or to a choice of a group or list; a message box's buttons; a Cancel line taken by a
// dialog at work.
#include "fw/backend.h"
#include "fw/console/console_window.h"
#include "sys/text.h"

namespace fw {

using namespace console;

namespace {

void EchoAnswer(const std::optional<std::string>& line) {
    // On a terminal the user's own typing is the echo; a script's answers are shown so that a
    // transcript reads as a dialogue.
    if (!Io().InputIsTerminal()) {
        Io().Write(line ? *line + "\n"
                        : std::string(InProgramLanguage("(end of input)", "(fin de l'entrée)")) +
                              "\n");
        Io().Flush(); // a trace box's Cancel ends the process without flushing
    }
}

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
    std::string line = InProgramLanguage("Buttons:", "Boutons :");
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
        line += InProgramLanguage("; Enter: ", " ; Entrée : ") + defaultLabel;
    return line + "\n";
}

// `before`, then the buttons, then the prompt, at once: the user sees them before we wait.
void Offer(const std::string& before, const std::vector<Choice>& choices, int defaultId) {
    Io().Write(before + ChoicesLine(choices, defaultId) + "> ");
    Io().Flush();
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

// "<letter> <value>": checks a radio button of a group or selects a list item. False when the
// answer names no such choice.
bool ApplyChoice(Window& w, const std::string& answer) {
    const auto space = answer.find(' ');
    if (space != 1)
        return false;
    const char letter = LowerLetter(answer[0]);
    const std::string value = sys::LowerCase(sys::Trim(answer.substr(2)));
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

} // namespace

namespace console {

// A dialog with a line to type takes the line as its value and presses OK; "esc" and the end of
// the input are its Cancel. A barcode reader that types the value and Enter answers it so.
Answer AwaitInput(Window& w, Control& input) {
    if (!w.buttonsShown) {
        Io().Write(InProgramLanguage("Type the value and Enter; esc: Cancel\n> ",
                                     "Tapez la valeur et Entrée ; esc : Annuler\n> "));
        Io().Flush();
        w.buttonsShown = true;
    }
    if (!Io().WaitForLine(NextTimerDelayMs()))
        return {Answer::None, 0};
    const auto line = Io().ReadLine();
    EchoAnswer(line);
    const std::string value = line ? sys::Trim(*line) : std::string();
    if (!line || sys::LowerCase(value) == "esc")
        return {Answer::Command, IDCANCEL};
    if (value.empty()) {
        Io().Write("? > ");
        Io().Flush();
        return {Answer::None, 0};
    }
    input.text = value;
    return {Answer::Command, IDOK};
}

Answer AwaitDialogAnswer(Window& w) {
    auto& io = Io();
    for (auto& c : w.controls)
        if (c.spec.kind == ControlKind::Input && c.visible && c.enabled)
            return AwaitInput(w, c);
    const auto choices = DialogChoices(w);
    if (choices.empty() && ConsoleState().timers.empty())
        return {Answer::Hopeless, 0};
    const int defaultId = DialogDefaultButton(w);
    if (!w.buttonsShown) {
        Offer("", choices, defaultId);
        w.buttonsShown = true;
    }
    if (!io.WaitForLine(NextTimerDelayMs()))
        return {Answer::None, 0}; // a timer is due
    const auto line = io.ReadLine();
    EchoAnswer(line);
    if (!line)
        return {Answer::Close, 0}; // the close box
    const std::string answer = sys::Trim(*line);
    if (ApplyChoice(w, answer))
        return {Answer::None, 0}; // drawn again with the change
    int id = answer.empty() ? defaultId : MatchChoice(choices, answer);
    if (id == 0 && sys::LowerCase(answer) == "esc")
        id = IDCANCEL;
    if (id == 0) {
        Offer("? ", choices, defaultId);
        return {Answer::None, 0};
    }
    return {Answer::Command, id};
}

// A dialog at work (messages keep coming) takes a pending input line only when it asks for
// its Cancel button, so that a script's answers for later boxes stay where they are.
bool TakePendingCancel(Window& top) {
    auto& s = ConsoleState();
    const Control* cancel = FindControl(&top, IDCANCEL);
    if (!top.worksWithoutInput || cancel == nullptr || !cancel->visible)
        return false;
    const auto now = Clock::now();
    if (now - s.lastCancelCheck < std::chrono::milliseconds(20))
        return false;
    s.lastCancelCheck = now;
    const auto line = Io().PeekReadyLine();
    if (!line)
        return false;
    const std::string answer = sys::LowerCase(sys::Trim(*line));
    const std::string label = sys::LowerCase(StripAccelerator(cancel->text));
    const char letter = LowerLetter(label.empty() ? 0 : label[0]);
    const bool asksCancel = answer == "esc" || answer == label ||
                            (Io().InputIsTerminal() && answer.size() == 1 && answer[0] == letter);
    if (!asksCancel)
        return false;
    Io().DropPeekedLine();
    Io().Write("> ");
    EchoAnswer(line);
    return true;
}

} // namespace console

// --- message boxes ------------------------------------------------------------------------

namespace backend {

namespace {

const char* IconWord(UINT style) {
    switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return InProgramLanguage("stop", "arrêt");
    case MB_ICONQUESTION: return "question";
    case MB_ICONEXCLAMATION: return "exclamation";
    case MB_ICONASTERISK: return "information";
    default: return nullptr;
    }
}

// A box button, named as the program's language names it.
Choice BoxButton(int id, const char* english, const char* french) {
    const std::string label = InProgramLanguage(english, french);
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

int ShowMessageBox(const std::string& text, const std::string& caption, UINT style,
                   const std::string& scripted) {
    auto& io = Io();
    const auto choices = BoxChoices(style);
    size_t defaultIndex = (style & MB_DEFMASK) >> 8;
    if (defaultIndex >= choices.size())
        defaultIndex = 0;
    const int defaultId = choices[defaultIndex].id;

    // A box that a dialog shows while it starts comes after that dialog's heading.
    if (!ConsoleState().modalStack.empty() && !ConsoleState().modalStack.back()->shown)
        DrawDialog(*ConsoleState().modalStack.back());
    std::string out = "\n---- " + caption;
    if (const char* icon = IconWord(style))
        out += std::string(" [") + icon + "]";
    Offer(out + " ----\n" + WithLineEnd(Printable(text)), choices, defaultId);
    // A dialog waiting below asks again once the box is answered.
    if (!ConsoleState().modalStack.empty())
        ConsoleState().modalStack.back()->buttonsShown = false;
    // An unattended station's answer for this kind of box: no line of the input is taken.
    if (const int id = scripted.empty() ? 0 : MatchChoice(choices, scripted); id != 0) {
        io.Write(scripted + "\n");
        io.Flush();
        return id;
    }
    for (;;) {
        const auto line = io.ReadLine();
        if (!line && io.Stopped()) {
            // The program is asked to stop: the close box, and what follows ends it.
            ConsoleState().stopIsQuit = true;
            io.Write("\n");
            return CloseBoxAnswer(choices);
        }
        EchoAnswer(line);
        if (!line)
            return CloseBoxAnswer(choices);
        const std::string answer = sys::Trim(*line);
        if (sys::LowerCase(answer) == "esc")
            return CloseBoxAnswer(choices); // Escape is the close box
        const int id = answer.empty() ? defaultId : MatchChoice(choices, answer);
        if (id != 0)
            return id;
        Offer("? ", choices, defaultId);
    }
}

} // namespace backend

// Nothing closes a console box from outside: signals end the program through its own paths.
bool CloseMessageBox() {
    return false;
}

} // namespace fw
