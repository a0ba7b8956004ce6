#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_set>
#include <vector>

// The texts sent to the monitor and the answers read from it since the last identification known
// to answer a question (the stretch): what each text may still get, and what came. The monitor
// answers in order and carries no sequence number, so an answer belongs to a text only by where
// it stands. The stretch is read in step, each answer for the oldest text still owed one; when an
// identification closes it, every pairing of its answers with its texts that what was read
// allows is weighed:
//
// | rule  | a pairing                                                                        |
// |-------|----------------------------------------------------------------------------------|
// | order | pairs answers with texts in the order both went                                  |
// | time  | never gives an answer to a text that left after the answer was seen              |
// | kind  | gives an identification to a question only, an acceptance never to a question,  |
// |       | any other answer (refusal, garbage, garbled identification) to any text          |
// | owed  | gives each record line and exit command at least one answer, unless its own read |
// |       | ended in silence; questions and the upgrade-mode command may get none            |
//
// A record counted as accepted stays so only when, under every such pairing, the last of its
// copies that got an answer got acceptances only (an end record may get none at all). Two
// departures that cancel out, one answer lost where another's double took its place in time,
// leave no trace in the stream; nothing without sequence numbers can see them.
class AnswersOwed {
  public:
    enum class Text : std::uint8_t { Question, Mode, Record, Exit };
    enum class Answer : std::uint8_t { Identification, Acceptance, Other };
    static constexpr std::uint32_t noRecord = 0xFFFFFFFF;

    // A record the sequence counted as accepted that some pairing refuses: it goes again.
    // attempt: the failed attempts before its last copy.
    struct Doubt {
        std::uint32_t record;
        int attempt;
    };

    AnswersOwed() { Reset(); }
    // A new transmission: the stretch opens at the identification of the run, whose answer may
    // still come doubled.
    void Reset();

    // A text has left (or begun to): its place in the stretch. attempt: failed attempts before.
    std::size_t Sent(Text kind, std::uint32_t record = noRecord, bool endRecord = false,
                     int attempt = 0);
    // The text's read ended in silence: it may go without an answer, and is still owed one.
    void Silent(std::size_t text);
    // Texts in the stretch: an answer seen now may answer any of them.
    std::size_t Texts() const { return texts_.size(); }
    // An answer read, first seen when `seenAfter` texts of the stretch had left, taken for the
    // oldest text still owed an answer of its kind.
    void Read(Answer kind, std::size_t seenAfter);
    // The sequence moved past this record: it counts as accepted unless a pairing refuses it.
    void Counted(std::uint32_t record) { counted_.insert(record); }

    // True when a text other than a copy of this one (a record by its place in the file) is
    // still owed an answer in step: an answer on its way could be taken for the new text's.
    bool OwesBesides(Text kind, std::uint32_t record) const;
    // True when an answer turned up that no text was owed, or that refuses a record counted as
    // accepted: the stretch is not known in step.
    bool OutOfStep() const { return unowed_ > 0; }
    // True when a record line was sent since the last identification that closed a stretch.
    bool RecordsOpen() const;
    // True until some copy of the end record has been answered: a monitor may say nothing to it,
    // but one that answered it once has heard it.
    bool EndMayGoUnanswered() const { return !endAnswered_; }

    // An identification was read: it closes the stretch at the oldest question still owed whose
    // closing the answers allow, and the next stretch opens there. false when no pairing lets
    // it answer any question owed (then Read it: a doubled identification). doubted: the records
    // counted as accepted that it puts in doubt, in order.
    bool Close(std::vector<Doubt>& doubted);

  private:
    struct SentText {
        Text kind;
        bool endRecord;
        bool mayGoUnanswered;
        std::uint32_t record;
        int attempt;
    };
    struct ReadAnswer {
        Answer kind;
        std::uint32_t seenAfter;
    };
    // The texts each answer may take in some pairing that ends at `end` (which may take answers
    // too): answer i at places[first[i]..last[i]). Not possible when no pairing exists.
    struct Pairings {
        std::vector<std::uint32_t> first, last, places;
        bool possible = false;
    };
    Pairings Weigh(std::size_t end) const;
    bool MustBeAnswered(std::size_t text, std::size_t end) const;
    // The counted records some pairing refuses, or whose answers went with the closed part.
    std::vector<Doubt> InDoubt(const Pairings& pairings, std::size_t end) const;

    std::vector<SentText> texts_; // texts_[0]: the question whose identification opened it
    std::vector<ReadAnswer> answers_;
    std::deque<std::size_t> owed_;              // texts still owed an answer in step, oldest first
    std::unordered_set<std::uint32_t> counted_; // records counted as accepted in this stretch
    unsigned unowed_ = 0;             // answers no text was owed, or that refuse a record counted
    std::size_t identifications_ = 0; // among the answers
    bool endAnswered_ = false;
};
