#include "res/catalogue.h"

#include <iterator>

namespace res {

namespace {

struct Entry {
    int id;
    const char* text;
};

// Exact to the character: the blanks, the missing final periods and the two blanks in 60 are
// what the instrument makers' users have always seen.
constexpr Entry entries[] = {
    {3, "Aucun fichier de mise à jour (.HEX) n'a été trouvé dans le répertoire courant de "
        "l'application"},
    {4, "No upgrading file (.HEX) has been found in the current directory"},
    {5, "Impossible d'ouvrir le fichier \"%1\""},
    {6, "Unable to open file \"%1\""},
    {7, "Le fichier \"%1\" n'est pas intègre"},
    {8, "File \"%1\" is wrong"},
    {9, "Impossible d'effectuer la mise à jour"},
    {10, "Unable to upgrade the instrument"},
    {11, "Impossible de fermer la communication"},
    {12, "Unable to close communication"},
    {13, "Impossible d'allouer le chronomètre"},
    {14, "Unable to set timer"},
    {15, "Pas de réponse de l'appareil"},
    {16, "No answer from the instrument"},
    {17, "Pas d'erreur"},
    {18, "No error"},
    {19, "Erreur inconnue"},
    {20, "Unknown error"},
    {21, "N° d'ID invalide ou non supporté"},
    {22, "Invalid or unsupported ID"},
    {23, "Port déjà ouvert"},
    {24, "Port already opened"},
    {25, "Port non ouvert"},
    {26, "Port not opened"},
    {27, "Impossible d'allouer les tampons"},
    {28, "Unable to allocate queues"},
    {29, "Erreur dans les paramètres par défaut"},
    {30, "Error in default parameters"},
    {31, "Port matériel absent"},
    {32, "Hardware not present"},
    {33, "Nombre de bits incorrect"},
    {34, "Illegal byte size"},
    {35, "Vitesse non supportée"},
    {36, "Unsupported baudrate"},
    {37, "Transmission du fichier \"%1\""},
    {38, "Transmitting file \"%1\""},
    {39, "En cours..."},
    {40, "In progress..."},
    {41, "La mise à jour a été effectuée avec succès pour les fichiers:"},
    {42, "Upgrading has been successfully done for the files:"},
    {43, "La ligne n'a pas été comprise par l'appareil"},
    {44, "The line has not be accepted by the instrument"},
    {45, "Impossible de transmettre la ligne:\n  \"%1\""},
    {46, "Unable to transmit line:\n  \"%1\""},
    {47, "Impossible d'identifier l'appareil"},
    {48, "Unable to identify the instrument"},
    {49, "La commande n'a pas été comprise par l'appareil"},
    {50, "The command has not be accepted by the instrument"},
    {51, "Impossible de transmettre la commande \"%1\""},
    {52, "Unable to transmit command:\n  \"%1\""},
    {53, "Impossible de passer le moniteur en mode de mise à jour"},
    {54, "Unable to set the monitor to upgrading mode"},
    {55, "Analyse du fichier \"%1\""},
    {56, "Analysing file \"%1\""},
    {57, "Voulez-vous vraiment annuler la procédure de mise à jour ?"},
    {58, "Do you want to abort the upgrading process ?"},
    {59, "La liste de compatibilité du fichier \"%1\" n'est pas intègre"},
    {60, "The compatibility list of the file  \"%1\" is wrong"},
    {61, "L'appareil ne peut être mis à jour sans un retour à l'usine"},
    {62, "The instrument cant be upgraded without intervention in the factory"},
    {63, "La mise à jour de l'appareil va être effectuée par transmission des fichiers "
         "suivants:"},
    {64, "The instrument upgrading will be done by transmitting following files:"},
    {65, "Contactez votre revendeur"},
    {66, "Contact your resaler"},
    {67, "Vérifiez le cordon de liaison et les paramètres de communication\nou bien fermez les "
         "autres applications utilisant ce port."},
    {68, "Verify the link cable and the communication parameters\nor close other applications "
         "using this port."},
    {69, "En arrêtant maintenant la procédure de mise à jour, l'appareil ne sera pas "
         "opérationnel.\n\nVoulez-vous vraiment interrompre la procédure de mise à jour ?"},
    {70, "When you stop now the upgrading process, the instrument will not be operational.\n\nDo "
         "you want to abort upgrading process ?"},
    {71, "La ligne suivante vient d'être envoyée:\n%1"},
    {72, "Following line has just been sent:\n%1"},
    {73, "La réponse suivante vient d'être reçue:\n%1"},
    {74, "Following answer has just been received:\n%1"},
    {75, "Comparaison références:\nMoniteur appareil:\t\"%1\"\nMoniteurs compatibles:\t \"%2\""},
    {76, "Compare references:\nInstrument Monitor:\t\"%1\"\nCompatibles Monitors:\t \"%2\""},
    {77, "Moniteur appareil: \"%1\""},
    {78, "Instrument Monitor: \"%1\""},
    {79, "Liste de compatibilité"},
    {80, "Compatibility List"},
    {81, "Aucune liste de compatibilité n'a été trouvée dans le fichier \"%1\""},
    {82, "No compatibility list has been found in the file \"%1\""},
    {83, "Mise à jour des appareils"},
    {84, "Upgrading instruments"},
    {85, "Version"},
    {101, "&A propos de Qel32..."},
};

} // namespace

std::string LoadString(int id) {
    for (const auto& e : entries)
        if (e.id == id)
            return e.text;
    return std::string();
}

} // namespace res
