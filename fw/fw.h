// The class library the system is written against: application, windows with message maps,
// modal dialogs from res/ templates, a posted-message queue, timers and the application
// message box. One contract, two backends (fw/win32, fw/console).
#pragma once

#include "fw/types.h"

#include <memory>
#include <string>
#include <vector>

namespace fw {

using Handle = void*; // HWND on Windows, a console window record elsewhere

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct Msg {
    Handle hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

class CWnd {
  public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    Handle GetSafeHwnd() const { return handle_; }

    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    BOOL ShowWindow(int command);
    bool IsWindowVisible() const;
    void UpdateWindow();
    void Invalidate(bool erase = true);
    void CenterWindow();
    void DestroyWindow();

    // Returns 0 when the system refuses the timer.
    UINT SetTimer(UINT timerId, UINT periodMs);
    BOOL KillTimer(UINT timerId);

    // Makes this object the window procedure of a dialog's control, so that its message map
    // sees the control's messages (its paint, above all). False when there is no such control.
    bool SubclassDlgItem(int id, CWnd* parent);

    // Child controls of a dialog, addressed by identifier.
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void ShowDlgItem(int id, bool show);
    bool IsDlgItemVisible(int id) const;
    void EnableDlgItem(int id, bool enable);
    // A multi-line edit control in the system's fixed-pitch font made for the display's
    // scaling, with the default tab stops.
    void SetDlgItemFixedFont(int id);
    // True when text stands on one line of the control in its font (the console's controls take
    // any text).
    bool DlgItemTextFits(int id, const std::string& text) const;
    // While a reason is given, the system's shutdown or restart asks the user first and shows it
    // (Windows: ShutdownBlockReasonCreate); nothing elsewhere.
    void BlockSessionEnd(const std::string& reason);
    void AllowSessionEnd();
    // A text pane opens with its caret before the first character and nothing selected (the
    // dialog manager would select the whole text); the caller's OnInitDialog returns FALSE.
    void PlaceCaretAtStart(int id);
    void CheckDlgButton(int id, bool checked);
    bool IsDlgButtonChecked(int id) const;

    // List boxes (the LB_ messages). Indexes from 0; -1 (LB_ERR) for none.
    int ListAddString(int id, const std::string& text);
    void ListSetItemData(int id, int index, LPARAM data);
    LPARAM ListGetItemData(int id, int index) const;
    int ListGetCount(int id) const;
    std::string ListGetText(int id, int index) const;
    void ListSetCurSel(int id, int index);
    int ListGetCurSel(int id) const;
    void ListResetContent(int id);
    // LB_DIR with attribute 0: the plain read-write files of the current directory that match
    // pattern ("*.HEX"), names only.
    void ListDir(int id, const std::string& pattern);

    // The message map: one switch over the messages a class handles; anything else goes to
    // DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  protected:
    // A plain (generic class) window; hidden unless the style says otherwise.
    bool CreateGeneric(const std::string& name, DWORD style, const Rect& rect, CWnd* parent,
                       int childId);
    virtual void OnTimer(UINT timerId);

  private:
    friend struct Backend;
    Handle handle_ = nullptr;
    void* superProc_ = nullptr;       // the control's own window procedure, once subclassed
    std::shared_ptr<void> ownedFont_; // a font this window's controls use, freed with it
};

struct Size {
    int cx = 0, cy = 0;
};

// Device context of a paint or erase message (only what the system paints).
class CDC {
  public:
    explicit CDC(WPARAM hdc) : hdc_(hdc) {}
    void FillSysColor(const Rect& rect, int sysColorIndex);
    COLORREF SetTextColor(COLORREF colour);
    COLORREF SetBkColor(COLORREF colour);
    // A one-pixel frame with the solid black brush.
    void FrameRectBlack(const Rect& rect);
    Size GetTextExtent(const std::string& text);
    // Opaque output clipped to clip: the clip rectangle is filled with the background colour
    // and the text drawn over it in the text colour.
    void ExtTextOutOpaqueClipped(int x, int y, const Rect& clip, const std::string& text);

  protected:
    WPARAM hdc_;
};

// The device context of WM_PAINT: validates the window while it lives.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd& wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

  private:
    CWnd& wnd_;
    std::shared_ptr<void> paint_; // the platform's paint record
};

class CFrameWnd : public CWnd {
  public:
    // Top-level overlapped window, default position and size, no menu.
    bool Create(const std::string& caption);
    Rect GetClientRect() const;
};

// A control of a dialog, subclassed so that its own message map runs.
class CStatic : public CWnd {
  public:
    Rect GetClientRect() const;
};

class CDialog : public CWnd {
  public:
    CDialog(int templateId, CWnd* parent);
    ~CDialog() override;

    int DoModal();
    void EndDialog(int result);
    void GotoDlgCtrl(int id);
    // A dialog that works without waiting for input (a progress dialog): the console shows how
    // to press its Cancel and lets a pending Cancel line reach it, and no other dialog.
    bool worksWithoutInput = false;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Dialogs leave unhandled messages to the dialog manager.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // One line per control; true when the command was handled.
    virtual bool OnCommand(int id);
    virtual void OnDestroy() {}

  private:
    friend struct Backend;
    int templateId_;
    CWnd* parent_;
    bool unhandled_ = false; // set when a message reached DefWindowProc
};

class CWinApp {
  public:
    explicit CWinApp(const std::string& appName = std::string());
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance() { return FALSE; }
    // A command-line program's own requests ("--help", "--version"), answered with text on
    // standard output before any window exists; false for every other command line. Only the
    // console program asks: a Windows program has no standard output.
    virtual bool ConsoleRequest(const std::string& line, std::string& text) {
        (void)line;
        (void)text;
        return false;
    }
    // The command line that a console program's arguments stand for; by default they are
    // joined by blanks, as Windows hands a program the text after its name.
    virtual std::string ConsoleCommandLine(const std::vector<std::string>& arguments);
    virtual int ExitInstance() { return exitCode_; }
    int Run(); // the main message loop; never used by a program whose InitInstance says no

    // The application message box: icon rule, the executable's name as caption, owned by the
    // active window.
    // scripted: the answer a console station gives in place of its operator (empty: none).
    int DoMessageBox(const std::string& text, UINT style, const std::string& scripted = "");

    void SetDialogBkColor(COLORREF background, COLORREF text);
    void Enable3dControls() {}
    void BeginWaitCursor();
    void EndWaitCursor();

    CWnd* mainWnd = nullptr;
    std::string commandLine; // the text after the program's own name
    void SetExitCode(int code) { exitCode_ = code; }

  private:
    int exitCode_ = 0;
};

CWinApp* AfxGetApp();
inline int AfxMessageBox(const std::string& text, UINT style = MB_OK) {
    return AfxGetApp()->DoMessageBox(text, style);
}

// Acts as the close box of the application message box that is up, the innermost one: Cancel
// where it has one, OK where it is alone, nothing where it offers Yes and No only. False when
// no box is up (the console's boxes are answered at the keyboard only).
bool CloseMessageBox();

// The rules of the application message box, shared by both backends.
UINT MessageBoxStyleWithIcon(UINT style);
std::string CaptionFromExecutablePath(const std::string& path);

// The thread's message queue.
BOOL PeekMessage(Msg* msg, CWnd* filter, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const Msg* msg);
LRESULT DispatchMessage(const Msg* msg);
void PostQuitMessage(int exitCode);
// Dialog keyboard handling of the active modal dialog; true when it consumed the message.
bool PreTranslateMessage(Msg* msg);
void MessageBeep(UINT type);
// A stop request that woke a wait inside a step of work, served in that wait: Ctrl-C on a
// terminal while a dialog works asks that dialog's Cancel question now, and the wait is over
// only once it is answered; any other request ends the program through its loops. True when
// the work goes on (no request, or No to the question); false when it stops.
bool ServeStopRequestInWait();
// Serves the interface inside a long wait that no dialog's loop serves (Windows marks a window
// that reads no message for seconds as not responding): the messages waiting are dispatched.
// False once the program is asked to quit.
bool ServeInterfaceInWait();
// The language of the texts the class library writes itself (the console's prompts and
// message box buttons): 0 French, any other value English. Windows draws its own.
void SetInterfaceLanguage(int language);

// Shows the wait cursor while it lives.
class CWaitCursor {
  public:
    CWaitCursor() { AfxGetApp()->BeginWaitCursor(); }
    ~CWaitCursor() { AfxGetApp()->EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// An array that owns what it holds (the library's object array of records).
template <class T> class COwningArray {
  public:
    int GetSize() const { return static_cast<int>(items_.size()); }
    T* operator[](int i) const { return items_[static_cast<size_t>(i)].get(); }
    void Add(std::unique_ptr<T> item) { items_.push_back(std::move(item)); }
    void RemoveAll() { items_.clear(); }

  private:
    std::vector<std::unique_ptr<T>> items_;
};

using CStringArray = std::vector<std::string>;

// Runs the application object: InitInstance, then (if it said yes) the message loop, then
// ExitInstance, whose value is the process exit status. Called by the backend's entry point.
int AfxWinMain(const std::string& commandLine);

} // namespace fw
