#pragma once

#include "fw/fw.h"
#include "sys/sys.h"

#include <string>

// The read-me file of the program's language: README.TXT in English, LISEZMOI.TXT in French.
std::string ReadMeFileName();
// Whether that file exists in the current directory.
bool ReadMePresent();

// The version reader of the About box, over the program's own version data.
class CVersionInfo {
  public:
    CVersionInfo() : info_(sys::ReadOwnVersionInfo()) {}
    std::string ProductName() const { return info_.productName; }
    std::string ProductVersion() const { return info_.productVersion; }
    unsigned long FileVersionMs() const { return info_.fileVersionMs; }
    unsigned long FileVersionLs() const { return info_.fileVersionLs; }
    // "Qel32 Version B.01 (2,1,0,0)"
    std::string AboutLine(const std::string& versionWord) const;

  private:
    sys::VersionInfo info_;
};

// The read-me file in a fixed-pitch text pane.
class CReadMeDlg : public fw::CDialog {
  public:
    static constexpr int IDC_TEXT = 1024;
    explicit CReadMeDlg(fw::CWnd* parent);
    // The pane's text: the file read in pieces of at most 254 characters, each piece's last LF
    // made CR LF; or message 5/6 when the file is absent or does not open.
    static std::string ReadMeText();

  protected:
    BOOL OnInitDialog() override;
};

// The command-line options, a fixed page.
class CCommandLineDlg : public fw::CDialog {
  public:
    explicit CCommandLineDlg(fw::CWnd* parent);
    // The template of the page in a language (0 French).
    static int TemplateFor(std::int32_t language) { return language == 0 ? 123 : 124; }

  protected:
    BOOL OnInitDialog() override;
};

// Product name, version and file version; opens the read-me and the options.
class CAboutDlg : public fw::CDialog {
  public:
    static constexpr int IDC_README = 1025;
    static constexpr int IDC_VERSION = 1026;
    static constexpr int IDC_OPTIONS = 1027;
    // The dialog that opens it owns it: that one stays disabled under it and comes back on top.
    explicit CAboutDlg(fw::CWnd* opener);

  protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id) override;
};
