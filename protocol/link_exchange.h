#pragma once

#include "link/qel_comm.h"
#include "protocol/transmission_sequence.h"

// The program's link as the transmission sequence's port.
static_assert(ExchangePort::answerMaxChars == CQelComm::answerMaxChars);

class LinkExchangePort : public ExchangePort {
  public:
    explicit LinkExchangePort(CQelComm& link) : link_(link) {}
    bool Pace() override { return link_.PaceBeforeSend(); }
    int WriteLine(const std::string& text, bool waitUntilSent) override {
        return link_.WriteLine(text, waitUntilSent);
    }
    std::string WriteFailureText() override {
        return CQelComm::SystemErrorText(link_.LastWriteError());
    }
    int ReadAnswer(std::string& answer, int timeoutSeconds) override {
        return link_.ReadAnswer(answer, CQelComm::answerMaxChars, timeoutSeconds);
    }
    std::string PendingInput() override { return link_.PendingInput(); }
    void DropInput(std::size_t count) override { link_.DropInput(count); }
    bool Stopped() override { return link_.Stopped(); }

  private:
    CQelComm& link_;
};
