#pragma once

#include "res/messages.h"

#include <string>

// The catalogue number of a message in a language: its French identifier for French (0), the
// next one for any other value; entry 85 is the same in both.
int CatalogueNumber(res::Msg message, int language);
// The catalogue text of a message in a language.
std::string CatalogueText(res::Msg message, int language);

// Replaces "%1" and "%2" in one pass: an argument is inserted as it is, even when it holds a
// placeholder itself.
std::string FormatCatalogueText(const std::string& pattern, const std::string& arg1,
                                const std::string& arg2 = std::string());
