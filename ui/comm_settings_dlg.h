#pragma once

#include "fw/fw.h"
#include "link/link_settings.h"

#include <cstdint>
#include <initializer_list>

// The port and the line format, chosen before each opening of the link unless the command line
// gave them. The members are the codes of LinkSettings.
class CCommSettingsDlg : public fw::CDialog {
  public:
    static constexpr int IDD_FRENCH = 112;
    static constexpr int IDD_ENGLISH = 120;
    static constexpr int IDC_PORTS = 1010;

    explicit CCommSettingsDlg(fw::CWnd* parent);

    std::int32_t baudIndex = -1;
    std::int32_t eightDataBits = -1;
    std::int32_t twoStopBits = -1;
    std::int32_t parity = -1;
    std::int32_t handshake = -1;
    std::int32_t port = 1;

    void SetFrom(const LinkSettings& settings);
    LinkSettings Settings() const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

  private:
    void FillPorts(std::initializer_list<std::int32_t> wanted);
    // The radio groups to the members (save) or back (display).
    void DoDataExchange(bool save);
};
