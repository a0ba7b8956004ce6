#include "app/console_help.h"

#include "app/messages.h"
#include "fw/dialog_template.h"
#include "sys/sys.h"
#include "ui/about_dlg.h"

namespace {

struct HelpTexts {
    const char* usage;
    const char* moreOptions;
    const char* files;
    const char* statuses;
    const char* journal;
    const char* example;
};

const HelpTexts french = {
    "Utilisation : qel32 [options]\n",
    "-h(fichier)\n"
    "    . le seul fichier de mise à jour à envoyer (pas de liste des fichiers)\n"
    "-s\n"
    "    . choix d'un seul fichier dans la liste au lieu de tous\n"
    "-d\n"
    "    . trace : chaque ligne, réponse et comparaison est affichée\n"
    "-f\n"
    "    . compatibilité par position : le n-ième fichier convient au n-ième moniteur\n"
    "--help\n"
    "    . affiche cette aide\n"
    "--version\n"
    "    . affiche la version\n"
    "\n"
    "La valeur d'une option suit sa lettre ou forme tout l'argument suivant :\n"
    "« -h fw-2.hex » désigne fw-2.hex, nom pris tel qu'il est écrit.\n",
    "Les fichiers de mise à jour (*.hex) et le lisez-moi (LISEZMOI.TXT, README.TXT) sont pris\n"
    "dans le répertoire courant.\n",
    "Code de sortie : 0 mise à jour effectuée ; 1 arrêt sur un échec affiché ; 2 annulée ou\n"
    "refusée ; 3 trace arrêtée par Annuler ; 128 + n arrêt par le signal n.\n",
    "Journal (une ligne JSON par tentative, QEL32_JOURNAL pour un autre) :\n",
    "Exemple :\n",
};

const HelpTexts english = {
    "Usage: qel32 [options]\n",
    "-h(file)\n"
    "    . the one upgrade file to send (no list of files)\n"
    "-s\n"
    "    . choose one file of the list instead of all of them\n"
    "-d\n"
    "    . trace: every line, answer and comparison is shown\n"
    "-f\n"
    "    . compatibility by position: the n-th file fits the n-th monitor\n"
    "--help\n"
    "    . print this help\n"
    "--version\n"
    "    . print the version\n"
    "\n"
    "An option's value follows its letter or is the whole next argument:\n"
    "\"-h fw-2.hex\" names fw-2.hex, as it is written.\n",
    "The upgrade files (*.hex) and the read-me (README.TXT, LISEZMOI.TXT) are taken from the\n"
    "current directory.\n",
    "Exit status: 0 upgrade done; 1 ended on a failure that was shown; 2 cancelled or refused;\n"
    "3 trace ended with Cancel; 128 + n ended by signal n.\n",
    "Journal (one JSON line per attempt, QEL32_JOURNAL for another one):\n",
    "Example:\n",
};

} // namespace

std::string ConsoleHelp(int language) {
    const HelpTexts& texts = language == 0 ? french : english;
    std::string text = texts.usage;
    // The help page's own options first, from the one template the dialog shows.
    if (const fw::DialogTemplate* page =
            fw::FindDialogTemplate(CCommandLineDlg::TemplateFor(language))) {
        // The dialog's caption names the Windows program; this page is the command's.
        std::string caption = page->caption;
        if (const auto at = caption.find("QEL.EXE"); at != std::string::npos)
            caption.replace(at, 7, "qel32");
        text += "\n" + caption + "\n\n";
        for (const auto& control : page->controls)
            if (control.kind == fw::ControlKind::Static)
                text +=
                    (control.noPrefix ? control.text : fw::StripAccelerator(control.text)) + "\n";
    }
    text += texts.moreOptions;
    text += "\n";
    text += texts.files;
    text += "\n";
    text += texts.statuses;
    text += "\n";
    text += texts.journal;
    const std::string journal = sys::JournalPath();
    text += "    " + (journal.empty() ? std::string("-") : journal) + "\n";
    text += "\n";
    text += texts.example;
    text += "    qel32 -le -c 1,9600,8,1,n,n -h fw.hex\n";
    return text;
}

std::string ConsoleVersion() {
    const CVersionInfo version;
    const unsigned long ms = version.FileVersionMs();
    const unsigned long ls = version.FileVersionLs();
    return "qel32 " + std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF) + "\n" +
           version.AboutLine(CatalogueText(res::Msg::Version, 1)) + "\n";
}
