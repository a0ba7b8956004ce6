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

const DialogTemplate templates[] = {
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
