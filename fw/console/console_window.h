// What the console backend's parts share: the records that stand for windows and controls,
// the backend's state, and what each part offers the others.
#pragma once

#include "fw/console/console_io.h"
#include "fw/dialog_template.h"
#include "fw/fw.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fw::console {

using Clock = std::chrono::steady_clock;

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
    // A stop request that ended a box's wait is a quit, not a Cancel to ask about again.
    bool stopIsQuit = false;
    bool quitPosted = false; // for the stop request
};

State& ConsoleState();
ConsoleIo& Io();
// One of the console's own texts in the program's language.
const char* InProgramLanguage(const char* english, const char* french);

inline Window* WindowOf(Handle h) {
    return static_cast<Window*>(h);
}
Control* FindControl(Handle h, int id);
bool IsButton(const Control& c);
char LowerLetter(char c);

// Windows and controls (fw_console.cpp): a message handled as the window's procedure and the
// dialog manager would.
LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam);

// The queue (console_queue.cpp).
// A stop request (a signal) ends the program through its loops: a quit message, once. Ctrl-C
// on a terminal while a dialog works is that dialog's Cancel instead, whose question a second
// Ctrl-C ends.
void ServeStopRequest();
Window* NewWindow(CWnd* object);
void ForgetWindow(Window* w);
int NextTimerDelayMs(); // -1 when no timer runs

// Dialogs drawn as text (console_drawing.cpp).
// Text as the terminal may be given it; oneLine: its line ends and tabs escaped too.
std::string Printable(const std::string& text, bool oneLine = false);
std::string WithLineEnd(const std::string& text);
// The group box a radio button stands in, or the label right above a list box.
const Control* OwnerLabel(const Window& w, const Control& c);
// The letter that addresses a group or a list.
char LabelLetter(const std::string& label);
void DrawDialog(Window& w);
void DrawFrameCaption(const Window& w);
void PresentCanvas(Canvas& canvas);

// Reading answers (console_answers.cpp).
struct Answer {
    enum Kind { None, Command, Close, Hopeless } kind; // Hopeless: nothing could end the dialog
    int id;
};
// Offers the dialog's buttons and reads one answer; None when a timer fell due first or the
// answer changed a choice.
Answer AwaitDialogAnswer(Window& w);
// A Cancel line already typed, taken by the dialog at work on top; true when taken.
bool TakePendingCancel(Window& top);

} // namespace fw::console
