// Both halves of an upgrade on one file text: the analysis, then the transmission through the
// program's own dialog and link against a monitor scripted on a virtual clock
// (scripted_instrument.h), with the pause before each text, the drain wait and every byte's
// wire time on that clock, at a baud rate and a pacing count drawn from the input. Either the
// analysis refuses the file, or the lines the monitor receives are the protocol's commands and
// the file's records, and two properties hold:
// - safety: the upgrade succeeds only when the monitor the file was matched with holds every
//   byte of the file where the file puts it (a record refused by the monitor writes nothing, a
//   record whose answer was lost or garbled on its way was written), no other monitor got
//   anything, and the last answer the program read was the exit command's, an acceptance;
// - liveness: a monitor that answers soundly but for one odd answer, any one (lost, garbled,
//   late beyond its limit, doubled at any delay, an identification included, an answer nobody
//   asked for, a refusal followed by an acceptance, an end record left unanswered followed by a
//   question lost or garbled), gets the whole file in one pass, with success.
//
// Input: a byte of kind (bit 0: the file as it stands, else generated; bits 1-2: a monitor that
// loses answers, one that says more than asked, or the one-odd-answer monitor; answers in any
// order of acknowledgements, refusals, garbage and silence, late by any delay and in chunks), a
// byte of baud rate, a byte of pacing count, a byte of monitors (1 to 4, and the one the file
// is matched with), two of length, then that many bytes for the file and the rest for the
// monitor. A generated file is known by construction (records, repeated ones among them,
// comments, blank lines, zeros, control bytes, long lines, a Ctrl-Z, with LF, CR LF, CR and
// LF CR line ends); for a file as it stands a reading of its lines written here apart from the
// program's says what its records are.
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
        switch (g.Next() % 13) {
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
        case 11: // where the data of the records after it goes
            record(Record(0, 4, std::string(1, '\0') + static_cast<char>(g.Next() % 4)));
            break;
        case 12: // a record again, as it stands: the same line at another place
            record(e.records.back());
            break;
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

using scripted::Instrument;
using scripted::Reply;

// The sound monitor with one odd answer (at the oddAt-th answer it gives, counted from 1; perhaps
// none), each answer a little late and maybe in pieces, well inside every limit.
Instrument::Rule OneOdd(Bytes script, std::size_t answersExpected) {
    struct State {
        Bytes script;
        std::size_t given = 0, oddAt = 0;
        int odd = 0;
        bool endUnanswered = false; // the end record went unanswered: the next question is odd
    };
    auto state = std::make_shared<State>(State{script});
    state->oddAt = 1 + (state->script.Next() | state->script.Next() << 8) % (answersExpected + 2);
    state->odd = state->script.Next() % 8;
    // A double or an answer nobody asked for holds up the answers after it (the monitor answers
    // in order): up to 0.9 s, so that they stay within the shortest limit, the exit's.
    return [state](const std::string& line, int) {
        auto replies = scripted::TheInstrument().Sound(line);
        if (replies.empty())
            return replies; // the upgrade-mode command: no answer to make odd
        Reply& reply = replies.front();
        const std::uint8_t timing = state->script.Next(), split = state->script.Next();
        reply.delayMs = (timing % 8) * 40.0;
        reply.chunks = 1 + split % 3;
        reply.gapMs = ((split / 3) % 4) * 30.0;
        const bool question = line == "QEL?";
        const bool end = Instrument::Upper(line).find(":00000001FF") != std::string::npos;
        if (state->endUnanswered && question) {
            state->endUnanswered = false;
            if (state->odd == 6)
                return std::vector<Reply>{};
            reply.text = "1,1234#678A01\n";
            return replies;
        }
        if (++state->given != state->oddAt)
            return replies;
        switch (state->odd) {
        case 0: return std::vector<Reply>{}; // lost
        case 1:                              // garbled
            reply.text = question ? "1,1234#678A01\n" : "?#\n";
            return replies;
        case 2: { // late beyond its limit, not beyond the next attempt's
            const double limitMs = line == "EXITQEL" ? 1000 : 3000;
            reply.delayMs = limitMs * (1.05 + timing / 300.0);
            return replies;
        }
        case 5: // a refusal, then an acceptance
            if (line[0] == ':') {
                reply.text = "NACK\n";
                replies.push_back({"OK\n", timing * 3.5});
                return replies;
            }
            [[fallthrough]];
        case 3: // doubled, at any delay
            replies.push_back({reply.text, timing * 3.5, 1 + split % 2});
            return replies;
        case 4: // an answer nobody asked for; an acceptance answers no question, even unasked
            replies.push_back({timing % 3 == 0               ? "NACK\n"
                               : timing % 3 == 1 || question ? "READY\n"
                                                             : "OK\n",
                               timing * 3.5});
            return replies;
        default: // the end record unanswered, then its question lost or garbled
            if (!end) {
                --state->given; // not yet
                return replies;
            }
            state->endUnanswered = true;
            return std::vector<Reply>{};
        }
    };
}

const char* const references[] = {"12345678A01", "22223333B02", "44445555C03", "66667777D04"};

// Safety, from what the monitor holds and what the program read last.
void CheckTheRightBytesWentToTheRightMonitor(const Instrument& instrument,
                                             const std::vector<std::string>& records,
                                             long matched) {
    scripted::Image expected;
    unsigned long base = 0;
    for (const auto& record : records)
        scripted::ApplyRecord(record, expected, base);
    for (const auto& [monitor, image] : instrument.images) {
        if (monitor != matched && !image.empty())
            Violated("a record was written into another monitor than the file's");
        if (monitor == matched && image != expected)
            Violated("success with the monitor's image not the file's");
    }
    if (!expected.empty() && instrument.images.count(matched) == 0)
        Violated("success with nothing written");
    std::string lastRecord;
    for (const auto& line : instrument.Lines())
        if (!line.empty() && line[0] == ':')
            lastRecord = Instrument::Upper(line);
    if (lastRecord != Instrument::Upper(records.back()))
        Violated("success with the end record not the last record sent");
}

// The protocol's commands, and the records that put the address bases back to the file's start.
bool IsCommand(const std::string& line, long matched) {
    return line == "QEL?" || line == "MODEQEL" + std::to_string(matched) || line == "EXITQEL" ||
           line == ":020000020000FC" || line == ":020000040000FA";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    if (size < 6)
        return 0;
    const bool generated = data[0] % 2 == 0;
    const int monitorKind = (data[0] >> 1) % 4;
    const bool oneOdd = monitorKind >= 2;
    static const long rates[] = {0, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const long baud = rates[data[1] % 10];
    fixture.app.readyWaitCount = data[2];
    const std::size_t monitorCount = 1 + data[3] % 4;
    const long matched = static_cast<long>((data[3] / 4) % monitorCount);
    const std::size_t fileBytes = std::min<std::size_t>(size - 6, data[4] * 256u + data[5]);
    const Bytes file{data + 6, fileBytes};
    const Bytes script{data + 6 + fileBytes, size - 6 - fileBytes};

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
    record.monitorReference = references[matched];

    auto& instrument = scripted::TheInstrument();
    if (oneOdd) {
        instrument.Reset();
        instrument.rule = OneOdd(script, expected.records.size() + 2);
    } else {
        instrument.Reset(script.data, script.size);
        instrument.fuzz = monitorKind == 0 ? Instrument::Fuzz::Losses : Instrument::Fuzz::Surplus;
    }
    instrument.monitors.assign(references, references + monitorCount);
    instrument.baud = baud;
    // The line's format is read at opening: the port is opened for each input's baud rate.
    fixture.app.link->ClosePort();
    if (fixture.app.link->OpenPort() != 0)
        std::abort();
    CTransmissionDlg dialog(static_cast<std::int32_t>(matched), record, nullptr);
    const bool succeeded = dialog.DoModal() == IDOK;

    // Nothing but the protocol's commands and the file's records goes on the wire.
    for (const auto& line : instrument.Lines()) {
        const auto upper = Instrument::Upper(line);
        if (!IsCommand(line, matched) &&
            std::none_of(expected.records.begin(), expected.records.end(),
                         [&](const std::string& r) { return Instrument::Upper(r) == upper; }))
            Violated("a line that is no record of the file was sent");
    }
    for (const auto& [monitor, image] : instrument.images)
        if (monitor != matched && !image.empty())
            Violated("a record was written into another monitor than the file's");
    if (!succeeded) {
        if (oneOdd || script.size == 0)
            Violated("failed with a monitor that gave one odd answer at most");
        return 0;
    }
    CheckTheRightBytesWentToTheRightMonitor(instrument, expected.records, matched);
    // The exit is judged by the answer the program read for it: the last it took in.
    const std::size_t before = instrument.delivered.size();
    const std::size_t left = fixture.app.link->PendingInput().size();
    const std::size_t taken = before - (left - (instrument.delivered.size() - before));
    const int last = taken == 0 ? -1 : instrument.delivered[taken - 1];
    if (last < 0 || instrument.answers[static_cast<std::size_t>(last)].line != "EXITQEL" ||
        !Instrument::Accepts(instrument.answers[static_cast<std::size_t>(last)].text))
        Violated("success without the exit command's acceptance read");
    return 0;
}
