#pragma once

#include "link/link_settings.h"
#include "res/messages.h"

#include <string>

// What the link needs from the program that uses it: the pause before each line, the
// language and trace of the moment, the settings to open with, and the boxes that report.
class LinkHost {
  public:
    virtual ~LinkHost() = default;

    // 0 French, any other value English.
    virtual int Language() const = 0;
    // Character times to pause before each write.
    virtual unsigned ReadyWaitCount() const = 0;
    virtual bool TraceMode() const = 0;
    // A trace box for a line sent or an answer received (message 71/72 or 73/74 with text);
    // returns only when the user goes on.
    virtual void ShowTrace(res::Msg message, const std::string& text) = 0;
    // The settings to open with, from the command line or the user's choice, into settings
    // (which holds the last ones); false when the user cancelled.
    virtual bool ChooseSettings(LinkSettings& settings) = 0;
    // Shows a failure and notes it in the journal; the button pressed.
    virtual int ReportFailure(const res::Failure& failure) = 0;
};
