#include "app/messages.h"

#include "res/catalogue.h"

int CatalogueNumber(res::Msg message, int language) {
    const int french = static_cast<int>(message);
    return message == res::Msg::Version || language == 0 ? french : french + 1;
}

std::string CatalogueText(res::Msg message, int language) {
    return res::LoadString(CatalogueNumber(message, language));
}

std::string FormatCatalogueText(const std::string& pattern, const std::string& arg1,
                                const std::string& arg2) {
    std::string out;
    out.reserve(pattern.size() + arg1.size() + arg2.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? arg1 : arg2;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}
