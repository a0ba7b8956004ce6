#pragma once

#include <string>

// The catalogue text of message frenchId in a language: frenchId for French (0), frenchId + 1
// for any other value; entry 85 is the same in both.
std::string CatalogueText(int frenchId, int language);

// Replaces "%1" and "%2" in one pass: an argument is inserted as it is, even when it holds a
// placeholder itself.
std::string FormatCatalogueText(const std::string& pattern, const std::string& arg1,
                                const std::string& arg2 = std::string());
