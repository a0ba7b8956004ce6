// The platform-neutral half of the class library: message maps' defaults, the application
// object and the rules of the application message box.
#include "fw/backend.h"
#include "fw/dialog_template.h"
#include "sys/sys.h"

namespace fw {

namespace {
CWinApp* theApp = nullptr;
}

CWinApp* AfxGetApp() {
    return theApp;
}

CWinApp::CWinApp(const std::string&) {
    backend::Initialize();
    theApp = this;
}

CWinApp::~CWinApp() {
    if (theApp == this)
        theApp = nullptr;
}

std::string CWinApp::ConsoleCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments)
        line += (line.empty() ? "" : " ") + argument;
    return line;
}

int CWinApp::Run() {
    Msg msg;
    for (;;) {
        while (!PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        if (msg.message == WM_QUIT)
            return static_cast<int>(msg.wParam);
        if (!PreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
}

UINT MessageBoxStyleWithIcon(UINT style) {
    const UINT buttons = style & MB_TYPEMASK;
    const bool takesIcon = buttons == MB_OK || buttons == MB_OKCANCEL || buttons == MB_YESNO ||
                           buttons == MB_YESNOCANCEL;
    if ((style & MB_ICONMASK) == 0 && takesIcon)
        return style | MB_ICONEXCLAMATION;
    return style;
}

std::string CaptionFromExecutablePath(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

int CWinApp::DoMessageBox(const std::string& text, UINT style, const std::string& scripted) {
    return backend::ShowMessageBox(text, CaptionFromExecutablePath(sys::ExecutablePath()),
                                   MessageBoxStyleWithIcon(style), scripted);
}

int AfxWinMain(const std::string& commandLine) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return 1;
    app->commandLine = commandLine;
    if (app->InitInstance())
        app->SetExitCode(app->Run());
    return app->ExitInstance();
}

// --- message maps -------------------------------------------------------------------------

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        OnTimer(static_cast<UINT>(wParam));
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

void CWnd::OnTimer(UINT) {}

CDialog::CDialog(int templateId, CWnd* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam)))
            return 0;
        break;
    case WM_DESTROY: OnDestroy(); break;
    default: break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT, WPARAM, LPARAM) {
    unhandled_ = true;
    return 0;
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}
void CDialog::OnOK() {
    EndDialog(IDOK);
}
void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::OnCommand(int id) {
    switch (id) {
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    default: return false;
    }
}

// --- templates ----------------------------------------------------------------------------

char AcceleratorOf(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return text[i + 1];
        ++i;
    }
    return 0;
}

std::string StripAccelerator(const std::string& text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

} // namespace fw
