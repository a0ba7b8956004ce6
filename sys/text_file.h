// An upgrade or read-me file read as text, on every platform alike: a line ends at LF, at CR LF
// or at a lone CR, and arrives with one LF whichever it was; a Ctrl-Z byte ends the file. The
// Windows run-time's text mode keeps a lone CR inside the line, where whatever follows it on
// that line would be out of sight of a reader that cuts at the CR.
#pragma once

#include "fw/types.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace sys {

class TextFile {
  public:
    enum class Read { Line, End, Error };

    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Opens a name as the user gave it (matched as Windows matches names); only a regular
    // file. False on failure, with the reason in ErrorCode() (the system's code).
    bool Open(const std::string& name);
    // Takes an already open stream (tests use memory streams and failing ones); its size is
    // asked of the system unless given.
    void Attach(std::FILE* stream, std::int64_t size = -1);
    bool IsOpen() const { return stream_ != nullptr; }
    void Close();
    // Reads again from the first byte; false (with ErrorCode()) when the stream cannot seek.
    bool Rewind();

    // Size in bytes of the file as stored, from its status right after opening.
    std::int64_t Size() const { return size_; }

    // The next piece of a line, as fgets reads it: up to and including the first LF, at most
    // maxChars - 1 characters.
    Read ReadLine(std::string& line, std::size_t maxChars);
    // The system's error code of the opening or read that failed.
    DWORD ErrorCode() const { return errorCode_; }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // The next byte after text-mode translation; -1 at the end, -2 on a read error.
    int NextByte();
    bool Refill();

    std::unique_ptr<std::FILE, Closer> stream_;
    std::int64_t size_ = 0;
    char buffer_[65536];
    std::size_t begin_ = 0, end_ = 0;
    bool ended_ = false, failed_ = false;
    DWORD errorCode_ = 0;
};

} // namespace sys
