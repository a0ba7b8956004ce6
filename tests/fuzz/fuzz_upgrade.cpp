// Both halves of an upgrade on one file text: the analysis, then the transmission through the
// program's own dialog and link against a monitor scripted on a virtual clock
// (scripted_instrument.h), with the pause before each text, the drain wait and every byte's
// wire time on that clock, at a baud rate and a pacing count drawn from the input. Either the
// analysis refuses the file, or the record lines the monitor receives are the file's records,
// in order, and nothing else, and two properties hold:
// - safety: the upgrade succeeds only when every record line, the end record included, got an
//   acceptance of its own and no refusal of it arrived after that and before the next text
//   other than a question left (an end record may go wholly unanswered);
// - liveness: a monitor that answers soundly but loses or garbles one answer, any one, gets
//   the whole file in one pass, with success.
//
// Input: a byte of kind (bit 0: the file as it stands, else generated; bit 1: the one-loss
// monitor, else one whose answers come in any order of acknowledgements, refusals, garbage and
// silence, late by any delay and in chunks), a byte of baud rate, a byte of pacing count, two
// of length, then that many bytes for the file and the rest for the monitor. A generated file
// is known by construction (records, comments, blank lines, zeros, control bytes, long lines,
// a Ctrl-Z, with LF, CR LF, CR and LF CR line ends); for a file as it stands a reading of its
// lines written here apart from the program's says what its records are.
#include "../unit/hex_test_files.h"
#include "app/upgrade_app.h"
#include "files/hex_analysis.h"
#include "fw/console/console_io.h"
#include "protocol/transmission_dlg.h"
#include "scripted_instrument.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using testfiles::Record;

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t Next() {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

struct Expected {
    std::string text;
    bool refused = false;             // the analysis must refuse the file
    std::vector<std::string> records; // else: every record, in order, the end record last
};

const std::string bom = "\xEF\xBB\xBF";

// A file built from the bytes. Whatever follows the end record is never read.
Expected Generate(Bytes g) {
    static const char* const ends[] = {"\n", "\r\n", "\r", "\n\r"};
    Expected e;
    auto end = [&] { return ends[g.Next() % 4]; };
    auto record = [&](const std::string& line) {
        e.text += line + end();
        e.records.push_back(line);
    };
    if (g.Next() % 8 == 0)
        e.text += bom;
    for (const auto& line : testfiles::DataRecords(testfiles::ListBytes("12345678A01"), 16, 0x100))
        record(line);
    unsigned address = 0x1000; // every record its own address, so that no two are alike
    bool fileEnded = false;
    for (int items = 0; items < 64 && g.size > 0 && !fileEnded; ++items) {
        switch (g.Next() % 11) {
        case 0:
        case 1:
        case 2: {
            std::string data(g.Next() % 33, '\0');
            for (auto& c : data)
                c = static_cast<char>(g.Next());
            std::string line = Record(address, 0, data);
            address += 0x40;
            if (g.Next() % 4 == 0)
                for (auto& c : line)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            record(line);
            break;
        }
        case 3: e.text += std::string(g.Next() % 2 ? "\t" : "") + "; comment" + end(); break;
        case 4: e.text += end(); break;
        case 5: // a blank before the colon: text, neither checked nor sent
            e.text += " " + Record(address, 0, "skipped") + end();
            break;
        case 6: // zeros where lines were, as in a torn copy
            e.text += std::string(1 + g.Next() % 40, '\0');
            e.refused = true;
            break;
        case 7: {
            static const char controls[] = {'\x01', '\x08', '\x0B', '\x0C', '\x1B', '\x7F'};
            e.text += std::string("; x") + controls[g.Next() % sizeof controls] + end();
            e.refused = true;
            break;
        }
        case 8: e.text += "; " + std::string(250 + g.Next() % 300, 'x') + end(); break;
        case 9: // Ctrl-Z ends the file before its end record
            e.text += "\x1A" + Record(address, 0, "unread") + end();
            e.refused = true;
            fileEnded = true;
            break;
        case 10: { // two records on one line, apart by a lone CR
            const std::string one = Record(address, 0, "one"),
                              two = Record(address + 0x20, 0, "two");
            e.text += one + "\r" + two + end();
            e.records.push_back(one);
            e.records.push_back(two);
            address += 0x40;
            break;
        }
        }
    }
    if (!fileEnded)
        record(g.Next() % 2 ? ":00000001FF" : ":00000001ff");
    for (std::size_t trailing = g.Next() % 8; trailing > 0; --trailing)
        e.text += static_cast<char>(g.Next()); // after the end record: never read
    if (e.refused)
        e.records.clear();
    return e;
}

// The records of a file as they stand: a Ctrl-Z ends the text, a line ends at CR LF, CR or
// LF, a line longer than 254 characters (its LF counted) comes in pieces of its own, and an
// editor's mark before the first line is no part of it. None when a line before the end
// record holds a zero or a control character, or when there is no end record.
std::vector<std::string> RecordsOf(const std::string& bytes) {
    const std::string text = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> pieces;
    std::string line;
    auto flush = [&](bool lineEnd) {
        if (lineEnd)
            line += '\n';
        for (std::size_t at = 0; at < line.size(); at += 254)
            pieces.push_back(line.substr(at, 254));
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            flush(true);
        } else {
            line += text[i];
        }
    }
    flush(false);
    if (!pieces.empty() && pieces[0].compare(0, bom.size(), bom) == 0)
        pieces[0].erase(0, bom.size());
    std::vector<std::string> records;
    for (auto& piece : pieces) {
        for (const char c : piece) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 32 && c != '\t' && c != '\n') || byte == 127)
                return {};
        }
        if (piece.empty() || piece[0] != ':')
            continue;
        if (piece.back() == '\n')
            piece.pop_back();
        records.push_back(piece);
        if (scripted::Instrument::Upper(piece).find(":00000001FF") != std::string::npos)
            return records;
    }
    return {};
}

struct Fixture {
    CUpgradeApp app;
    std::string path;
    Fixture() {
        scripted::TheInstrument(); // made first, gone last: the link closes on it at exit
        app.language = 1;
        char folder[] = "/tmp/qel32-fuzz-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            std::abort();
        path = std::string(folder) + "/firmware.hex";
        // Every box is answered by the end of the input: Cancel, or OK where it is alone.
        fw::console::ConsoleIo::Redirect(::open("/dev/null", O_RDONLY),
                                         std::fopen("/dev/null", "w"));
        app.link = std::make_unique<CQelComm>(nullptr, app);
    }
};

// What a crash input broke, for the one who runs it again.
[[noreturn]] void Violated(const char* what) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
}

bool IsCommand(const std::string& line) {
    return line == "QEL?" || line == "MODEQEL0" || line == "EXITQEL";
}

using scripted::Instrument;

// The sound monitor with one answer lost or garbled (the lossAt-th it gives, counted from 1;
// perhaps none), each answer a little late and maybe in pieces, well inside every limit.
Instrument::Rule OneLoss(Bytes script, std::size_t answersExpected) {
    struct State {
        Bytes script;
        std::size_t given = 0, lossAt = 0;
        bool garble = false;
    };
    auto state = std::make_shared<State>(State{script});
    state->lossAt = 1 + (state->script.Next() | state->script.Next() << 8) % (answersExpected + 2);
    state->garble = state->script.Next() % 2 == 1;
    return [state](const std::string& line, int) {
        auto replies = scripted::TheInstrument().Sound(line);
        if (replies.empty())
            return replies; // the upgrade-mode command: no answer to lose
        scripted::Reply& reply = replies.front();
        const std::uint8_t timing = state->script.Next(), split = state->script.Next();
        reply.delayMs = (timing % 8) * 40.0;
        reply.chunks = 1 + split % 3;
        reply.gapMs = ((split / 3) % 4) * 30.0;
        if (++state->given != state->lossAt)
            return replies;
        if (!state->garble)
            return std::vector<scripted::Reply>{};
        const auto comma = reply.text.find(',');
        if (comma != std::string::npos)
            reply.text[comma + 3] = '#'; // an identification no longer read as one
        else
            reply.text = "?#\n";
        return replies;
    };
}

// Safety, from what the monitor saw: each record's answers that reached the PC before the next
// text other than a question left, the last of them an acceptance (none at all only for the
// end record).
void CheckEveryRecordWasAccepted(const Instrument& instrument,
                                 const std::vector<std::string>& records) {
    const auto& received = instrument.received;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string record = Instrument::Upper(records[i]);
        std::size_t last = received.size();
        for (std::size_t k = 0; k < received.size(); ++k)
            if (Instrument::Upper(received[k].line) == record)
                last = k;
        if (last == received.size())
            Violated("success with a record never sent");
        scripted::Us nextLeft = -1;
        for (std::size_t k = last + 1; k < received.size() && nextLeft < 0; ++k)
            if (received[k].line != "QEL?")
                nextLeft = received[k].leftAt;
        if (nextLeft < 0)
            Violated("success with nothing sent after the last record");
        std::optional<bool> verdict;
        for (const auto& answer : instrument.answers)
            if (Instrument::Upper(answer.line) == record && answer.firstByteAt <= nextLeft)
                verdict = Instrument::Accepts(answer.text);
        const bool end = i + 1 == records.size();
        if (Instrument::Tracing())
            std::fprintf(stderr, "record %zu %s: sent last at %lld, next text at %lld, %s\n", i,
                         record.c_str(), static_cast<long long>(received[last].leftAt),
                         static_cast<long long>(nextLeft),
                         verdict ? (*verdict ? "accepted" : "refused") : "unanswered");
        if (verdict ? !*verdict : !end)
            Violated(verdict ? "success with a record whose last answer was a refusal"
                             : "success with a record that got no answer of its own");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    if (size < 5)
        return 0;
    const bool generated = data[0] % 2 == 0;
    const bool oneLoss = (data[0] & 2) != 0;
    static const long rates[] = {0, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const long baud = rates[data[1] % 10];
    fixture.app.readyWaitCount = data[2];
    const std::size_t fileBytes = std::min<std::size_t>(size - 5, data[3] * 256u + data[4]);
    const Bytes file{data + 5, fileBytes};
    const Bytes script{data + 5 + fileBytes, size - 5 - fileBytes};

    Expected expected;
    if (generated) {
        expected = Generate(file);
    } else {
        expected.text.assign(reinterpret_cast<const char*>(file.data), file.size);
        expected.records = RecordsOf(expected.text);
        // Records are not checked here: a file with records may still be refused.
        expected.refused = expected.records.empty();
    }
    std::ofstream(fixture.path, std::ios::binary | std::ios::trunc) << expected.text;

    CUpgradeFile record(fixture.path);
    sys::TextFile text;
    if (!text.Open(fixture.path))
        std::abort();
    HexFileAnalysis analysis(text, record);
    HexFileAnalysis::Outcome outcome;
    while ((outcome = analysis.NextStep()) == HexFileAnalysis::Outcome::Continue) {
    }
    text.Close();
    const bool sound = outcome == HexFileAnalysis::Outcome::Sound;
    if (sound == expected.refused && (generated || sound))
        Violated(sound ? "a file that is no sound text was taken" : "a sound file was refused");
    if (!sound)
        return 0;
    if (record.recordCount != expected.records.size())
        Violated("the analysis counted another number of records");
    record.monitorReference = "12345678A01";

    auto& instrument = scripted::TheInstrument();
    if (oneLoss) {
        instrument.Reset();
        instrument.rule = OneLoss(script, expected.records.size() + 2);
    } else {
        instrument.Reset(script.data, script.size);
    }
    instrument.baud = baud;
    // The line's format is read at opening: the port is opened for each input's baud rate.
    fixture.app.link->ClosePort();
    if (fixture.app.link->OpenPort() != 0)
        std::abort();
    CTransmissionDlg dialog(0, record, nullptr);
    const bool succeeded = dialog.DoModal() == IDOK;

    // Each record line received is the current record again or the next one: no other text,
    // no record skipped, none out of order.
    std::size_t at = 0;
    bool any = false;
    for (const auto& line : instrument.Lines()) {
        if (IsCommand(line))
            continue;
        const auto upper = Instrument::Upper(line);
        const auto is = [&](std::size_t i) {
            return i < expected.records.size() && Instrument::Upper(expected.records[i]) == upper;
        };
        if (any && is(at + 1))
            ++at;
        else if (!is(any ? at : 0))
            Violated("a line that is not the current record nor the next one was sent");
        any = true;
    }
    if (!succeeded) {
        if (oneLoss || script.size == 0)
            Violated("failed with a monitor that lost or garbled one answer at most");
        return 0;
    }
    if (!any || at + 1 != expected.records.size())
        Violated("success before the last record was sent");
    const bool exitAccepted = std::any_of(
        instrument.answers.begin(), instrument.answers.end(), [](const Instrument::Answered& a) {
            return a.line == "EXITQEL" && Instrument::Accepts(a.text);
        });
    if (!exitAccepted)
        Violated("success without an accepted exit command");
    CheckEveryRecordWasAccepted(instrument, expected.records);
    return 0;
}
