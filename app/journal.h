// The upgrade journal: one JSON line per upgrade attempt (a pass of the run, one instrument
// with "-r"), appended to a file that outlives the program, so that a production line knows
// which instrument got which file, when, and how it ended. A journal that cannot be written
// never changes an upgrade.
#pragma once

#include "files/upgrade_file.h"
#include "link/link_settings.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class UpgradeJournal {
  public:
    enum class Outcome { Done, Failed, Cancelled };

    // An attempt begins: the clock starts, and what the last one recorded is forgotten.
    void Begin();
    void SetLink(const LinkSettings& settings) { link_ = settings, haveLink_ = true; }
    // The monitors the instrument reported, with their state codes.
    void SetMonitors(const fw::CStringArray& references,
                     const std::vector<std::uint8_t>& stateCodes);
    // A file whose transmission begins.
    void AddFile(const CUpgradeFile& file);
    // The box that ended the attempt: a catalogue message as shown (its number in the shown
    // language), the reason it named, and the system's own text when there was one. A port
    // that cannot be opened shows only the system's text (shownId 0).
    void NoteFailure(int shownId, int shownReasonId = 0, const std::string& systemText = "");
    // The attempt ends: one line in the journal. False when it could not be written (the
    // warning has then been given).
    bool End(Outcome outcome);

    // The line End writes, for the tests.
    std::string Line(Outcome outcome) const;

  private:
    struct Monitor {
        std::string reference;
        unsigned state;
    };
    struct File {
        std::string name;
        std::uint32_t records;
        std::int32_t monitorIndex;
        std::string sha256;
    };

    std::chrono::system_clock::time_point startedAt_{};
    std::chrono::steady_clock::time_point started_{};
    LinkSettings link_{};
    bool haveLink_ = false;
    std::vector<Monitor> monitors_;
    std::vector<File> files_;
    int message_ = 0, reason_ = 0;
    std::string systemText_;
};
