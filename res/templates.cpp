// Dialog templates of both languages: identifiers, texts and positions in dialog units.
#include "fw/dialog_template.h"

#include <iterator>

namespace fw {

namespace {

using K = ControlKind;

// The progress frame shared by the analysis and transmission dialogs.
DialogTemplate ProgressTemplate(int id, const char* caption, const char* cancelText) {
    return {id,
            caption,
            0,
            0,
            219,
            82,
            "MS Sans Serif",
            8,
            {
                {K::CenteredStatic, 1022, "Texte H", 5, 9, 209, 8},
                {K::CenteredStatic, 1023, "Texte L", 5, 21, 209, 8},
                {K::FramedStatic, 1000, "", 11, 35, 195, 16},
                {K::PushButton, 2, cancelText, 84, 60, 50, 14},
                {K::PushButton, 1, "OK", 11, 60, 50, 14, false, true},
            }};
}

// The communication settings, both languages in reading order, each accelerator's label right
// before its control: Alt+P reaches the port list, Tab goes from the top left down.
DialogTemplate SettingsTemplate(bool english) {
    const auto t = [english](const char* fr, const char* en) { return english ? en : fr; };
    ControlTemplate baudBox{K::GroupBox, -1, t("&Vitesse", "&Baudrate"), 5, 4, 46, 140, true};
    std::vector<ControlTemplate> baud = {
        {K::RadioButton, 1003, "600", 11, 18, 28, 10, true},
        {K::RadioButton, 1004, "1200", 11, 32, 32, 10},
        {K::RadioButton, 1005, "2400", 11, 46, 32, 10},
        {K::RadioButton, 1006, "4800", 11, 60, 32, 10},
        {K::RadioButton, 1007, "9600", 11, 74, 32, 10},
        {K::RadioButton, 1008, "19200", 11, 88, 36, 10},
        {K::RadioButton, 1009, "38400", 11, 102, 36, 10},
        {K::RadioButton, 1022, "57600", 11, 116, 36, 10},
        {K::RadioButton, 1023, "115200", 11, 130, 36, 10},
    };
    ControlTemplate portsLabel{K::Static, -1, "&Ports", 55, 4, 18, 8, true};
    ControlTemplate ports{K::ListBox, 1010, "", 55, 15, 70, 35, true};
    std::vector<ControlTemplate> rest = {
        {K::GroupBox, -1, t("&Bits de données", "&Data Bits"), 55, 53, 60, 26, true},
        {K::RadioButton, 1011, "7", 61, 65, 20, 10, true},
        {K::RadioButton, 1012, "8", 84, 65, 20, 10},
        {K::GroupBox, -1, t("Bits d'&arrêt", "&Stop Bits"), 119, 53, 60, 26, true},
        {K::RadioButton, 1013, "1", 125, 65, 20, 10, true},
        {K::RadioButton, 1014, "2", 148, 65, 20, 10},
        {K::GroupBox, -1, t("Pa&rité", "Pa&rity"), 55, 80, 60, 64, true},
        {K::RadioButton, 1015, t("Paire", "Even"), 61, 92, 32, 10, true},
        {K::RadioButton, 1016, t("Impaire", "Odd"), 61, 104, english ? 28 : 39, 10},
        {K::RadioButton, 1017, t("Aucune", "None"), 61, 116, english ? 33 : 41, 10},
        {K::RadioButton, 1018, t("Ignorée", "Ignored"), 61, 128, 40, 10},
        {K::GroupBox, -1, t("&Contrôle de flux", "&Handshake"), 119, 80, 60, 64, true},
        {K::RadioButton, 1019, "Xon/Xoff", 125, 92, 45, 10, true},
        {K::RadioButton, 1020, t("Matériel", "Hardware"), 125, 104, english ? 45 : 41, 10},
        {K::RadioButton, 1021, t("Aucun", "None"), 125, 116, english ? 33 : 37, 10},
        {K::DefPushButton, 1, "OK", 133, 4, 45, 14, true},
        {K::PushButton, 2, t("Annuler", "Cancel"), 133, 20, 45, 14, true},
    };
    ControlTemplate help{K::Static,
                         -1,
                         t(". Définissez le port de communication sur lequel est\n  raccordé "
                           "l'appareil.\n\n. En conformité avec le paramétrage de l'appareil,\n "
                           " configurez les paramètres de communication ci-\n  dessus.",
                           ". Define the communication port to which the\n  instrument is "
                           "connected.\n\n. According to the instrument parameters, configure\n "
                           " the communication parameters above."),
                         5,
                         149,
                         173,
                         50,
                         true};
    std::vector<ControlTemplate> controls{baudBox};
    controls.insert(controls.end(), baud.begin(), baud.end());
    controls.push_back(portsLabel);
    controls.push_back(ports);
    controls.insert(controls.end(), rest.begin(), rest.end());
    controls.push_back(help);
    return {
        english ? 120 : 112,
        t("Ouverture de la liaison avec l'appareil", "Opening communication with the instrument"),
        26,
        21,
        183,
        202,
        "Helv",
        8,
        controls};
}

DialogTemplate WelcomeTemplate(bool english) {
    const auto t = [english](const char* fr, const char* en) { return english ? en : fr; };
    ControlTemplate files{K::ListBox, 1001, "", 30, 70, 124, 48, true};
    files.disabled = true;
    files.sorted = true;
    return {
        english ? 118 : 111,
        t("Mise à jour des appareils", "Upgrading instruments"),
        0,
        0,
        186,
        146,
        "MS Sans Serif",
        8,
        {
            {K::Icon, -1, "", 5, 5, 20, 20},
            {K::Static, -1,
             t("Bienvenue dans l'utilitaire de mise à jour",
               "Welcome to the instruments upgrading"),
             30, 5, 150, 8},
            {K::Static, -1, t("des appareils.", "utility."), 30, 14, 150, 8},
            {K::Static, -1,
             t("Ce programme va tenter de mettre à jour l'appareil",
               "This program will try to upgrade the instrument"),
             5, 30, 176, 8},
            {K::Static, -1,
             t("connecté sur le port série du PC, en référence à l'un",
               "connected to the PC serial port, according to one"),
             5, 39, 176, 8},
            {K::Static, -1, t("des fichiers suivants:", "of the following files:"), 5, 48, 176, 8},
            {K::Static, -1, t("Liste des fichiers de mise à jour:", "Upgrading files list:"), 30,
             61, 124, 8},
            files,
            {K::DefPushButton, 1, t("&Continuer", "&Continue"), 7, 127, 50, 14, true},
            {K::PushButton, 2, t("&Quitter", "&Exit"), 67, 127, 50, 14},
            {K::PushButton, 1002, t("&A propos de...", "&About..."), 127, 127, 52, 14},
        }};
}

DialogTemplate AboutTemplate(bool english) {
    const auto t = [english](const char* fr, const char* en) { return english ? en : fr; };
    // The French title line is wider than the English one: that dialog is 24 units wider so
    // that it shows whole, its buttons spread evenly across it.
    const int extra = english ? 0 : 24;
    std::vector<ControlTemplate> controls = {{K::Icon, -1, "", 8, 8, 20, 20}};
    if (english) {
        controls.push_back(
            {K::Static, -1, "Downloading utility for upgrading instruments", 36, 8, 150, 8});
    } else {
        controls.push_back({K::Static, -1, "Utilitaire de téléchargement pour la mise à jour", 36,
                            8, 150 + extra, 8});
        controls.push_back({K::Static, -1, "des appareils.", 36, 17, 150 + extra, 8});
    }
    controls.push_back({K::Static, -1, "", 36, 26, 150 + extra, 8});
    controls.push_back({K::DefPushButton, 1, "OK", 8, 60, 50, 14, true});
    controls.push_back(
        {K::PushButton, 1025, t("Lisez-moi...", "Read me..."), 70 + extra / 2, 60, 50, 14});
    controls.push_back({K::PushButton, 1027, "Options...", 132 + extra, 60, 50, 14});
    ControlTemplate version{K::CenteredStatic, 1026, "Version Qel32.exe", 8, 42, 174 + extra, 8};
    version.noPrefix = true;
    version.startsGroup = true; // ends the button row's group

    controls.push_back(version);
    return {english ? 117 : 100,
            t("A propos de Qel32", "About..."),
            0,
            0,
            190 + extra,
            82,
            "MS Sans Serif",
            8,
            controls};
}

DialogTemplate ReadMeTemplate(bool english) {
    return {english ? 121 : 115,
            english ? "Read me" : "Lisez-moi",
            0,
            0,
            310,
            269,
            "MS Sans Serif",
            8,
            {
                {K::Edit, 1024, "", 5, 5, 300, 236, true},
                {K::DefPushButton, 1, "OK", 130, 248, 50, 14, true},
            }};
}

DialogTemplate CommandLineTemplate(bool english) {
    const auto t = [english](const char* fr, const char* en) { return english ? en : fr; };
    const char* lines[][2] = {
        {"-r", t(". répète le téléchargement sans renouveler vérifications",
                 ". repeats last downloading without checking")},
        {"-l(f|e)", t(". force la langue française (f) ou anglaise (e)",
                      ". forces french (f) or english (e) language")},
        {"-c(1|2|3|4|5|6|7|8),(600|1200|2400|4800|9600|19200|38400|57600|115200),(7|8),(1|2),"
         "(e|o|n|i),(s|h|n)",
         t(". force format de communication", ". forces communication parameters")},
        {"-w(X)", t(". force le nombre de caractères d'attente appareil prêt (5 par défaut)",
                    ". force waiting for target ready characters quantity (default 5)")},
    };
    // Text in points and a frame in dialog units do not scale alike: at 150 and 175 % the
    // "-c" line needs some 5 % more than at 100 %, so the lines have room to spare.
    std::vector<ControlTemplate> controls;
    int y = 6;
    for (const auto& line : lines) {
        ControlTemplate option{K::Static, -1, line[0], 6, y, 369, 10};
        option.noPrefix = true;
        controls.push_back(option);
        controls.push_back({K::Static, -1, std::string("    ") + line[1], 6, y + 10, 369, 10});
        y += 22;
    }
    controls.push_back({K::DefPushButton, 1, "OK", 165, 96, 50, 14, true});
    return {english ? 124 : 123,
            t("QEL.EXE: Options de la ligne de commande", "QEL.EXE: Command Line Options"),
            0,
            0,
            381,
            115,
            "Arial",
            10,
            controls};
}

// The unit's serial number, asked before each confirmation on a station that traces units.
DialogTemplate UnitTemplate(bool english) {
    const auto t = [english](const char* fr, const char* en) { return english ? en : fr; };
    return {english ? 126 : 125,
            t("Appareil à mettre à jour", "Unit to upgrade"),
            0,
            0,
            186,
            62,
            "MS Sans Serif",
            8,
            {
                {K::Static, -1, t("&Numéro de série de l'appareil :", "Unit &serial number:"), 8, 8,
                 170, 8, true},
                {K::Input, 1040, "", 8, 19, 170, 13, true},
                {K::DefPushButton, 1, "OK", 40, 40, 50, 14, true},
                {K::PushButton, 2, t("Annuler", "Cancel"), 96, 40, 50, 14},
            }};
}

const DialogTemplate templates[] = {
    UnitTemplate(false),
    UnitTemplate(true),
    WelcomeTemplate(false),
    WelcomeTemplate(true),
    AboutTemplate(false),
    AboutTemplate(true),
    ReadMeTemplate(false),
    ReadMeTemplate(true),
    CommandLineTemplate(false),
    CommandLineTemplate(true),
    SettingsTemplate(false),
    SettingsTemplate(true),
    ProgressTemplate(114, "Analyse en cours...", "Annuler"),
    ProgressTemplate(119, "Analysing in progress...", "Cancel"),
    ProgressTemplate(113, "Transmission en cours...", "Annuler"),
    ProgressTemplate(122, "Transmitting in progress...", "Cancel"),
    // The language dialog carries both languages, since it is what picks one.
    {116,
     "QEL",
     0,
     0,
     139,
     58,
     "MS Sans Serif",
     8,
     {
         {K::Static, -1, "Sélectionnez votre langue", 8, 6, 123, 8},
         {K::Static, -1, "Select your language", 8, 17, 123, 8},
         {K::PushButton, 1028, "Français", 8, 34, 58, 14, true},
         {K::PushButton, 1027, "English", 73, 34, 58, 14},
     }},
};

} // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const auto& t : templates)
        if (t.id == id)
            return &t;
    return nullptr;
}

} // namespace fw
