#include "app/warnings.h"

#include "sys/text.h"

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

std::string JournalWarning(int language, const std::string& path,
                           const sys::AppendFailure& failure) {
    if (failure.kind == sys::AppendFailure::Kind::NoPlace)
        return Say(language, "qel32: the upgrade journal has no place: set QEL32_JOURNAL to a file",
                   "qel32 : le journal des mises à jour n'a pas d'emplacement : donnez un fichier "
                   "à QEL32_JOURNAL");
    return Say(language, "qel32: the upgrade journal " + path + " cannot be written (",
               "qel32 : le journal des mises à jour " + path + " ne peut être écrit (") +
           Reason(language, failure) + ")";
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
    if (!diagnosis.group.empty()) {
        const std::string command = "sudo usermod -aG " + diagnosis.group + " " + sys::UserName();
        return line + Say(language,
                          ", which only the group " + diagnosis.group + " may use: " + command +
                              ", then log in again",
                          ", que seul le groupe " + diagnosis.group +
                              " peut utiliser : " + command + ", puis reconnectez-vous");
    }
    return line;
}
