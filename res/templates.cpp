// Dialog templates of both languages: identifiers, texts and positions in dialog units.
#include "fw/dialog_template.h"

#include <iterator>

namespace fw {

namespace {

using K = ControlKind;

const DialogTemplate templates[] = {
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
