#include "ui/comm_settings_dlg.h"

#include "app/upgrade_app.h"
#include "link/port_list.h"

#include <vector>

namespace {

// The buttons of each radio group, in template order: a member's value is an index here.
const std::vector<int> baudButtons = {1003, 1004, 1005, 1006, 1007, 1008, 1009, 1022, 1023};
const std::vector<int> dataBitsButtons = {1011, 1012};
const std::vector<int> stopBitsButtons = {1013, 1014};
const std::vector<int> parityButtons = {1015, 1016, 1017, 1018};
const std::vector<int> handshakeButtons = {1019, 1020, 1021};

} // namespace

CCommSettingsDlg::CCommSettingsDlg(fw::CWnd* parent)
    : CDialog(App().language == 0 ? IDD_FRENCH : IDD_ENGLISH, parent) {}

void CCommSettingsDlg::SetFrom(const LinkSettings& s) {
    port = s.port;
    baudIndex = s.baudIndex;
    eightDataBits = s.eightDataBits;
    twoStopBits = s.twoStopBits;
    parity = s.parity;
    handshake = s.handshake;
}

LinkSettings CCommSettingsDlg::Settings() const {
    return LinkSettings{port, baudIndex, eightDataBits, twoStopBits, parity, handshake};
}

void CCommSettingsDlg::DoDataExchange(bool save) {
    const std::pair<const std::vector<int>*, std::int32_t*> groups[] = {
        {&baudButtons, &baudIndex},       {&dataBitsButtons, &eightDataBits},
        {&stopBitsButtons, &twoStopBits}, {&parityButtons, &parity},
        {&handshakeButtons, &handshake},
    };
    for (const auto& [buttons, member] : groups) {
        if (save) {
            *member = -1;
            for (size_t i = 0; i < buttons->size(); ++i)
                if (IsDlgButtonChecked((*buttons)[i]))
                    *member = static_cast<std::int32_t>(i);
        } else {
            // A value outside the group checks none.
            for (size_t i = 0; i < buttons->size(); ++i)
                CheckDlgButton((*buttons)[i], static_cast<std::int32_t>(i) == *member);
        }
    }
}

BOOL CCommSettingsDlg::OnInitDialog() {
    // The port chosen before stays selected whenever it is listed; otherwise the first
    // selection falls back to the ports 1 to 8. (Limiting it first would make Enter silently
    // move a USB adapter at COM17 to another port on every new pass.)
    const std::int32_t chosen = port;
    if (port < 1)
        port = 1;
    if (port > 8)
        port = 8;
    CDialog::OnInitDialog();
    DoDataExchange(false);
    CenterWindow();
    FillPorts({chosen, port});
    return TRUE;
}

// The ports, the item data being the port number; the first of wanted that is listed is
// selected, else the first port.
void CCommSettingsDlg::FillPorts(std::initializer_list<std::int32_t> wanted) {
    ListResetContent(IDC_PORTS);
    for (const auto& entry : BuildPortList()) {
        const int index = ListAddString(IDC_PORTS, entry.label);
        ListSetItemData(IDC_PORTS, index, entry.portNumber);
    }
    int selected = -1;
    for (const std::int32_t number : wanted)
        for (int i = 0; i < ListGetCount(IDC_PORTS) && selected < 0; ++i)
            if (ListGetItemData(IDC_PORTS, i) == number)
                selected = i;
    ListSetCurSel(IDC_PORTS, selected < 0 ? 0 : selected);
}

// An adapter plugged in or pulled out while the dialog is up: the list follows, and the port
// chosen stays chosen while it is there.
LRESULT CCommSettingsDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    constexpr WPARAM devicesChanged = 0x0007, arrived = 0x8000, removed = 0x8004;
    if (message == WM_DEVICECHANGE &&
        (wParam == devicesChanged || wParam == arrived || wParam == removed)) {
        const int current = ListGetCurSel(IDC_PORTS);
        const auto selectedPort =
            current < 0 ? port : static_cast<std::int32_t>(ListGetItemData(IDC_PORTS, current));
        FillPorts({selectedPort});
        return TRUE;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CCommSettingsDlg::OnOK() {
    // No selection (an empty list) gives the list box's error value, -1.
    port = static_cast<std::int32_t>(ListGetItemData(IDC_PORTS, ListGetCurSel(IDC_PORTS)));
    DoDataExchange(true);
    EndDialog(IDOK);
}
