// What each UI backend provides to the shared part of the class library.
#pragma once

#include "fw/fw.h"

#include <string>

namespace fw::backend {

// Called by the application object's constructor, so that the backend's own state outlives
// the application object (whose destructor still closes windows).
void Initialize();

// Shows a message box with the final style and caption; returns the button pressed.
// scripted: an answer to take in place of the user's (the console's unattended stations; a
// Windows box is always the user's); empty for none.
int ShowMessageBox(const std::string& text, const std::string& caption, UINT style,
                   const std::string& scripted);

} // namespace fw::backend
