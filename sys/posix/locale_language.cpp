#include "sys/posix/locale_language.h"

#include "sys/text.h"

#include <cctype>
#include <cstring>

namespace sys::posix {

namespace {

struct KnownCode {
    const char* locale; // language_TERRITORY
    const char* code;
};

// Windows abbreviations whose third letter is not simply the territory's first letter.
constexpr KnownCode knownCodes[] = {
    {"fr_FR", "FRA"}, {"fr_CA", "FRC"}, {"fr_BE", "FRB"}, {"fr_CH", "FRS"}, {"fr_LU", "FRL"},
    {"fr_MC", "FRM"}, {"en_US", "ENU"}, {"en_GB", "ENG"}, {"en_AU", "ENA"}, {"en_CA", "ENC"},
    {"en_NZ", "ENZ"}, {"en_IE", "ENI"}, {"en_ZA", "ENS"}, {"de_DE", "DEU"}, {"de_CH", "DES"},
    {"de_AT", "DEA"}, {"de_LU", "DEL"}, {"es_ES", "ESN"}, {"es_MX", "ESM"}, {"it_IT", "ITA"},
    {"it_CH", "ITS"}, {"nl_NL", "NLD"}, {"nl_BE", "NLB"}, {"pt_PT", "PTG"}, {"pt_BR", "PTB"},
    {"sv_SE", "SVE"}, {"da_DK", "DAN"}, {"fi_FI", "FIN"}, {"nb_NO", "NOR"}, {"pl_PL", "PLK"},
    {"ja_JP", "JPN"}, {"zh_CN", "CHS"}, {"zh_TW", "CHT"}, {"ko_KR", "KOR"}, {"ru_RU", "RUS"},
};

const char* FirstSet(const char* a, const char* b, const char* c) {
    for (const char* v : {a, b, c})
        if (v != nullptr && *v != '\0')
            return v;
    return nullptr;
}

} // namespace

std::optional<std::string> ProfileLanguageFromLocale(const char* lcAll, const char* lcMessages,
                                                     const char* lang) {
    const char* value = FirstSet(lcAll, lcMessages, lang);
    if (value == nullptr)
        return std::nullopt;
    // language[_TERRITORY][.codeset][@modifier]
    std::string name(value, std::strcspn(value, ".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return std::nullopt;
    const auto underscore = name.find('_');
    std::string language = name.substr(0, underscore);
    std::string territory = underscore == std::string::npos ? "" : name.substr(underscore + 1);
    if (language.size() < 2 || !std::isalpha(static_cast<unsigned char>(language[0])) ||
        !std::isalpha(static_cast<unsigned char>(language[1])))
        return std::nullopt;
    language = LowerCase(language);
    territory = UpperCase(territory);

    const std::string key = language + "_" + territory;
    for (const auto& known : knownCodes)
        if (key == known.locale)
            return std::string(known.code);
    return UpperCase(language.substr(0, 2) + (territory.empty() ? language[1] : territory[0]));
}

} // namespace sys::posix
