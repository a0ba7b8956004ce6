#pragma once

#include "fw/fw.h"

#include <cstdint>
#include <string>

// The language proposed for a profile language abbreviation: French (0) for "FRA" and "FRC" in
// any case, English (1) for anything else.
std::int32_t ProposedLanguage(const std::string& profileLanguage);

// Picks the program's language; one template holds both languages.
class CLanguageDlg : public fw::CDialog {
  public:
    static constexpr int IDD = 116;
    static constexpr int IDC_FRENCH = 1028;
    static constexpr int IDC_ENGLISH = 1027;

    explicit CLanguageDlg(fw::CWnd* parent) : CDialog(IDD, parent) {}

    std::int32_t languageChoice = 0; // 0 French, 1 English

  protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id) override;
};
