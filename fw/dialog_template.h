// The shape of a dialog template: the data in res/ fills it, each UI backend renders it.
#pragma once

#include <string>
#include <vector>

namespace fw {

enum class ControlKind {
    Static, // text label
    CenteredStatic,
    FramedStatic, // black frame, painted by its owner (gauges)
    Icon,
    PushButton,
    DefPushButton,
    RadioButton, // automatic radio button
    GroupBox,
    Edit,  // multi-line, read-only text pane
    Input, // one line the user types
    ListBox,
};

struct ControlTemplate {
    ControlKind kind;
    int id;           // -1 for controls the program never addresses
    std::string text; // UTF-8; '&' marks the accelerator letter
    int x, y, cx, cy; // dialog units
    bool startsGroup = false;
    bool hidden = false;
    bool noPrefix = false; // '&' shown as is
    bool disabled = false;
    bool sorted = false; // list box: items kept in order, without regard to case
};

struct DialogTemplate {
    int id;
    std::string caption;
    int x, y, cx, cy; // dialog units
    std::string fontName;
    int fontPoints;
    std::vector<ControlTemplate> controls;
};

// Provided by res/: the template with this identifier, or null.
const DialogTemplate* FindDialogTemplate(int id);

// The letter a control answers to: the one after '&', or 0 when there is none.
char AcceleratorOf(const std::string& text);
// The text as shown: "&&" becomes '&', a single '&' disappears.
std::string StripAccelerator(const std::string& text);

} // namespace fw
