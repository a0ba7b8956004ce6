// The console's two streams: answers read as lines from an input descriptor (a terminal or a
// script), everything shown written to an output stream.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace fw::console {

class ConsoleIo {
  public:
    ConsoleIo(int inputFd, std::FILE* output);

    void Write(const std::string& text);
    // Replaces the current line on a terminal (a gauge); the next Write starts a new line.
    void WriteInPlace(const std::string& line);
    void Flush();

    // Waits up to timeoutMs (negative: no limit) for a whole line; true when one is ready or
    // the input has ended. A stop request ends the wait as its time-out would.
    bool WaitForLine(int timeoutMs);
    // The next line without its end (CR LF or LF), consumed; nothing at the end of input, or
    // when a stop request ended the wait (Stopped()).
    std::optional<std::string> ReadLine();
    // The last wait ended on a stop request.
    bool Stopped() const { return stopped_; }
    // The next line if one is already complete, not consumed.
    std::optional<std::string> PeekReadyLine();
    void DropPeekedLine();

    bool InputIsTerminal() const { return inputIsTerminal_; }
    bool OutputIsTerminal() const { return outputIsTerminal_; }
    // Text as the output shows it: in the terminal's own character set, else UTF-8 as it is.
    std::string ForTerminal(const std::string& text) const;

    static ConsoleIo& Instance();
    // Tests point the console at their own descriptors.
    static void Redirect(int inputFd, std::FILE* output);

  private:
    bool HasWholeLine() const;
    bool FillOnce(int timeoutMs); // false on timeout or a stop request
    std::string TakeLine();
    // Output that cannot be written is noted once; the program goes on without it.
    void Put(const std::string& bytes);

    int inputFd_;
    std::FILE* output_;
    std::string pending_;
    bool ended_ = false;
    bool midLine_ = false; // a line written in place is still open
    bool stopped_ = false;
    bool outputFailed_ = false;
    bool inputIsTerminal_;
    bool outputIsTerminal_;
    std::string terminalCodeset_; // empty: UTF-8 as it is
};

} // namespace fw::console
