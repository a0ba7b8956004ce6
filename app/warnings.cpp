#include "app/warnings.h"

#include "sys/text.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Say(int language, const std::string& english, const std::string& french) {
    return language == 0 ? french : english;
}

std::string Reason(int language, const sys::AppendFailure& failure) {
    using Kind = sys::AppendFailure::Kind;
    switch (failure.kind) {
    case Kind::ForeignLink:
        return Say(language, "\"" + failure.subject + "\" is a link that another user owns",
                   "« " + failure.subject + " » est un lien d'un autre utilisateur");
    case Kind::ForeignFolder:
        return Say(language, "its folder belongs to another user",
                   "son dossier appartient à un autre utilisateur");
    case Kind::NotRegular:
        return Say(language, "it is not a regular file", "ce n'est pas un fichier ordinaire");
    case Kind::ForeignFile:
        return Say(language, "it belongs to another user", "il appartient à un autre utilisateur");
    case Kind::Partial:
        return Say(language, "the disk took only part of it",
                   "le disque n'en a pris qu'une partie");
    case Kind::NoPlace:
    case Kind::System: break;
    }
    return sys::TrimSystemText(sys::SystemErrorText(failure.code));
}

} // namespace

std::string JournalWarning(int language, const std::string& path, const sys::AppendFailure& failure,
                           const std::string& wentTo) {
    if (failure.kind == sys::AppendFailure::Kind::NoPlace)
        return Say(language, "qel32: the upgrade journal has no place: set QEL32_JOURNAL to a file",
                   "qel32 : le journal des mises à jour n'a pas d'emplacement : donnez un fichier "
                   "à QEL32_JOURNAL");
    const std::string line =
        Say(language, "qel32: the upgrade journal " + path + " cannot be written (",
            "qel32 : le journal des mises à jour " + path + " ne peut être écrit (") +
        Reason(language, failure) + ")";
    if (wentTo.empty())
        return line;
    return line + Say(language, ": this attempt's line went to " + wentTo,
                      " : la ligne de cette tentative est allée dans " + wentTo);
}

std::string JournalRequiredText(int language, const std::string& path,
                                const sys::AppendFailure& failure) {
    return Say(language,
               "The upgrade journal " + path + " cannot be written (" + Reason(language, failure) +
                   "), and this station requires it (QEL32_JOURNAL_REQUIRED): nothing was sent",
               "Le journal des mises à jour " + path + " ne peut être écrit (" +
                   Reason(language, failure) +
                   "), et ce poste l'exige (QEL32_JOURNAL_REQUIRED) : rien n'a été envoyé");
}

std::string LoopPassLine(int language, const LoopPass& pass) {
    static const char* const outcomes[2][3] = {{"réussi", "échoué", "annulé"},
                                               {"done", "failed", "cancelled"}};
    const int english = language == 0 ? 0 : 1;
    std::string line = Say(language, "qel32: pass ", "qel32 : passage ") +
                       std::to_string(pass.pass) + (english ? ": " : " : ") +
                       outcomes[english][pass.outcome];
    for (const auto& f : pass.files)
        line += Say(language, ", " + f.name + " to " + f.monitor + ", ",
                    ", " + f.name + " vers " + f.monitor + ", ") +
                std::to_string(f.accepted) + "/" + std::to_string(f.records) +
                Say(language, " records", " enregistrements");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", pass.seconds);
    std::string time = seconds;
    if (!english)
        std::replace(time.begin(), time.end(), '.', ',');
    line += ", " + time;
    if (!pass.unit.empty())
        line += Say(language, ", unit ", ", appareil ") + pass.unit;
    return line;
}

std::string OtherInstrumentLine(int language, const std::vector<std::string>& identified,
                                const std::vector<std::string>& verified) {
    const auto list = [](const std::vector<std::string>& monitors) {
        std::string text;
        for (const auto& m : monitors)
            text += (text.empty() ? "" : ", ") + m;
        return text;
    };
    return Say(language,
               "qel32: another instrument answered the verification: monitors " + list(verified) +
                   ", where " + list(identified) + " had identified itself",
               "qel32 : un autre appareil a répondu à la vérification : moniteurs " +
                   list(verified) + ", là où " + list(identified) + " s'était identifié");
}

std::string ModeText(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

std::string PortFailureLine(int language, int port, const sys::PortDescription& description,
                            const sys::PortOpenDiagnosis& diagnosis) {
    const std::string com = "COM" + std::to_string(port);
    std::string line = Say(language, "qel32: " + com + " is " + description.device,
                           "qel32 : " + com + " est " + description.device);
    if (diagnosis.absent) {
        std::string ports;
        for (const auto& present : diagnosis.present)
            ports += (ports.empty() ? "" : ", ") + present;
        if (ports.empty())
            ports = Say(language, "none", "aucun");
        return line + Say(language,
                          ", which is not there: plug the adapter in, or choose "
                          "another port (present: " +
                              ports + ")",
                          ", qui n'est pas là : branchez l'adaptateur, ou choisissez un autre "
                          "port (présents : " +
                              ports + ")");
    }
    if (diagnosis.holderPid != 0) {
        const std::string holder =
            std::to_string(diagnosis.holderPid) + " (" + diagnosis.holderName + ")";
        return line + Say(language, ", held by process " + holder + ": close that program",
                          ", tenu par le processus " + holder + " : fermez ce programme");
    }
    if (diagnosis.groupMayUse) {
        const std::string command = "sudo usermod -aG " + diagnosis.group + " " + sys::UserName();
        return line + Say(language,
                          ", which only the group " + diagnosis.group + " may use: " + command +
                              ", then log in again",
                          ", que seul le groupe " + diagnosis.group +
                              " peut utiliser : " + command + ", puis reconnectez-vous");
    }
    // Joining its group would not let the user in, or would give them the system's own.
    if (!diagnosis.group.empty()) {
        const std::string owners =
            diagnosis.owner + ":" + diagnosis.group + " " + ModeText(diagnosis.mode);
        return line + Say(language,
                          " (" + owners +
                              "), which this user may not use: an administrator "
                              "must give access to it",
                          " (" + owners +
                              "), que cet utilisateur ne peut utiliser : un "
                              "administrateur doit lui en donner l'accès");
    }
    return line;
}
