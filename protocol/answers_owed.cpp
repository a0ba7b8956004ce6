#include "protocol/answers_owed.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace {

using Text = AnswersOwed::Text;
using Answer = AnswersOwed::Answer;

bool Fits(Answer answer, Text text) {
    switch (answer) {
    case Answer::Identification: return text == Text::Question;
    case Answer::Acceptance: return text != Text::Question;
    case Answer::Other: return true;
    }
    return false;
}

} // namespace

void AnswersOwed::Reset() {
    texts_.assign(1, SentText{Text::Question, false, true, noRecord, 0});
    answers_.clear();
    owed_.clear();
    counted_.clear();
    unowed_ = 0;
    identifications_ = 0;
    endAnswered_ = false;
}

std::size_t AnswersOwed::Sent(Text kind, std::uint32_t record, bool endRecord, int attempt) {
    const bool optional = kind == Text::Question || kind == Text::Mode;
    texts_.push_back(SentText{kind, endRecord, optional, record, attempt});
    if (kind != Text::Mode)
        owed_.push_back(texts_.size() - 1);
    return texts_.size() - 1;
}

void AnswersOwed::Silent(std::size_t text) {
    texts_.at(text).mayGoUnanswered = true;
}

void AnswersOwed::Read(Answer kind, std::size_t seenAfter) {
    const bool identification = kind == Answer::Identification;
    const bool afterOthers = answers_.size() > identifications_;
    identifications_ += identification ? 1 : 0;
    answers_.push_back(ReadAnswer{kind, static_cast<std::uint32_t>(seenAfter)});
    const auto owner = std::find_if(owed_.begin(), owed_.end(), [&](std::size_t text) {
        return (texts_[text].kind == Text::Question) == identification;
    });
    if (owner == owed_.end()) {
        // An identification before any other answer may be the opening question's double; any
        // other answer nobody was owed shifts the pairing.
        if (!identification || afterOthers)
            ++unowed_;
        return;
    }
    const SentText& text = texts_[*owner];
    endAnswered_ = endAnswered_ || text.endRecord;
    if (kind != Answer::Acceptance && text.kind == Text::Record && counted_.count(text.record) != 0)
        ++unowed_;
    // The monitor answers in order: whatever was owed before it will not be answered now.
    owed_.erase(owed_.begin(), std::next(owner));
}

bool AnswersOwed::OwesBesides(Text kind, std::uint32_t record) const {
    return std::any_of(owed_.begin(), owed_.end(), [&](std::size_t text) {
        const SentText& t = texts_[text];
        return t.kind != Text::Question && !(t.kind == kind && t.record == record);
    });
}

bool AnswersOwed::RecordsOpen() const {
    return std::any_of(texts_.begin() + 1, texts_.end(),
                       [](const SentText& t) { return t.kind == Text::Record; });
}

bool AnswersOwed::MustBeAnswered(std::size_t text, std::size_t end) const {
    return text < end && !texts_[text].mayGoUnanswered;
}

AnswersOwed::Pairings AnswersOwed::Weigh(std::size_t end) const {
    Pairings p;
    const std::size_t m = answers_.size();
    // next[j + 1]: the first text after j (j from -1) that must be answered, else end.
    std::vector<std::uint32_t> next(end + 2);
    next[end + 1] = static_cast<std::uint32_t>(end);
    for (std::size_t k = end + 1; k-- > 0;)
        next[k] = MustBeAnswered(k, end) ? static_cast<std::uint32_t>(k) : next[k + 1];
    if (m == 0) {
        p.possible = next[0] >= end;
        return p;
    }
    // after[j]: the texts after j that must be answered; the answers left must be as many.
    std::vector<std::uint32_t> after(end + 1, 0);
    for (std::size_t k = end; k-- > 0;)
        after[k] = after[k + 1] + (MustBeAnswered(k + 1, end) ? 1 : 0);
    // Forward: the places each answer can take after some pairing of the answers before it.
    p.first.resize(m);
    p.last.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
        const long limit = static_cast<long>(std::min<std::size_t>(answers_[i].seenAfter, end + 1));
        long added = -1;
        const auto span = [&](long from, long to) {
            for (long j = std::max(from, added + 1); j <= to && j < limit; ++j) {
                const auto at = static_cast<std::size_t>(j);
                if (Fits(answers_[i].kind, texts_[at].kind) && after[at] < m - i)
                    p.places.push_back(static_cast<std::uint32_t>(j));
            }
            added = std::max(added, to);
        };
        p.first[i] = static_cast<std::uint32_t>(p.places.size());
        if (i == 0) {
            span(0, next[0]);
        } else {
            for (std::size_t k = p.first[i - 1]; k < p.last[i - 1]; ++k)
                span(p.places[k], next[p.places[k] + 1]);
        }
        p.last[i] = static_cast<std::uint32_t>(p.places.size());
        if (p.last[i] == p.first[i])
            return p;
    }
    // Backward: keep the places from which the answers after can still be paired, every text
    // that must be answered answered by the end.
    for (std::size_t i = m; i-- > 0;) {
        std::uint32_t out = p.first[i];
        for (std::uint32_t k = p.first[i]; k < p.last[i]; ++k) {
            const std::uint32_t j = p.places[k];
            bool onward;
            if (i + 1 == m) {
                onward = next[j + 1] >= end;
            } else {
                const auto b = p.places.begin() + p.first[i + 1];
                const auto e = p.places.begin() + p.last[i + 1];
                const auto successor = std::lower_bound(b, e, j);
                onward = successor != e && *successor <= next[j + 1];
            }
            if (onward)
                p.places[out++] = j;
        }
        p.last[i] = out;
        if (out == p.first[i])
            return p;
    }
    p.possible = true;
    return p;
}

std::vector<AnswersOwed::Doubt> AnswersOwed::InDoubt(const Pairings& pairings,
                                                     std::size_t end) const {
    std::vector<Doubt> doubted;
    if (counted_.empty())
        return doubted;
    // The texts to which some pairing gives an answer that is no acceptance.
    std::vector<bool> mayRefuse(end + 1, false);
    for (std::size_t i = 0; pairings.possible && i < answers_.size(); ++i)
        if (answers_[i].kind != Answer::Acceptance)
            for (std::uint32_t k = pairings.first[i]; k < pairings.last[i]; ++k)
                mayRefuse[pairings.places[k]] = true;
    // For each record, over its copies in order: the last that must be answered, and whether
    // that one or a later one may have got anything but acceptances.
    struct Copies {
        bool answered = false; // some copy must be answered
        bool refusable = false;
        bool beyond = false; // a copy after the end: its answers went with the closed part
        bool endRecord = false;
        int attempt = 0;
    };
    std::unordered_map<std::uint32_t, Copies> records;
    for (const std::uint32_t record : counted_)
        records.emplace(record, Copies{});
    for (std::size_t k = 1; k < texts_.size(); ++k) {
        const SentText& t = texts_[k];
        const auto it = t.kind == Text::Record ? records.find(t.record) : records.end();
        if (it == records.end())
            continue;
        Copies& c = it->second;
        c.endRecord = t.endRecord;
        c.attempt = t.attempt;
        if (k > end) {
            c.beyond = true;
            continue;
        }
        if (MustBeAnswered(k, end)) {
            c.answered = true;
            c.refusable = mayRefuse[k];
        } else {
            c.refusable = c.refusable || mayRefuse[k];
        }
    }
    for (const auto& [record, c] : records)
        if (!pairings.possible || c.beyond || c.refusable ||
            (!c.answered && !(c.endRecord && !endAnswered_)))
            doubted.push_back(Doubt{record, c.attempt});
    std::sort(doubted.begin(), doubted.end(),
              [](const Doubt& a, const Doubt& b) { return a.record < b.record; });
    return doubted;
}

bool AnswersOwed::Close(std::vector<Doubt>& doubted) {
    for (std::size_t q = 1; q < texts_.size(); ++q) {
        if (texts_[q].kind != Text::Question)
            continue;
        const Pairings pairings = Weigh(q);
        if (!pairings.possible)
            continue;
        doubted = InDoubt(pairings, q);
        // The next stretch opens at that question; texts sent after it are owed again, what
        // they were answered having gone with the closed part.
        std::vector<SentText> opened(texts_.begin() + static_cast<long>(q), texts_.end());
        opened[0].mayGoUnanswered = true;
        texts_ = std::move(opened);
        answers_.clear();
        counted_.clear();
        owed_.clear();
        unowed_ = 0;
        identifications_ = 0;
        for (std::size_t k = 1; k < texts_.size(); ++k)
            if (texts_[k].kind != Text::Mode)
                owed_.push_back(k);
        return true;
    }
    return false;
}
