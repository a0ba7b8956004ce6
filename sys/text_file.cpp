#include "sys/text_file.h"

#include "sys/sys.h"

namespace sys {

namespace {
constexpr int endOfFileMark = 0x1A; // Ctrl-Z
}

bool TextFile::Open(const std::string& name) {
    Close();
    std::FILE* f = OpenRegularFile(name);
    if (f == nullptr) {
        errorCode_ = LastFileError();
        return false;
    }
    Attach(f);
    return true;
}

void TextFile::Attach(std::FILE* stream, std::int64_t size) {
    Close();
    stream_.reset(stream);
    size_ = size >= 0 ? size : StreamSize(stream);
    if (size_ < 0)
        size_ = 0;
}

bool TextFile::Rewind() {
    if (!stream_)
        return false;
    if (!SeekToStart(stream_.get())) {
        errorCode_ = LastFileError();
        return false;
    }
    std::clearerr(stream_.get());
    begin_ = end_ = 0;
    ended_ = failed_ = false;
    return true;
}

void TextFile::Close() {
    stream_.reset();
    begin_ = end_ = 0;
    ended_ = failed_ = false;
    size_ = 0;
    errorCode_ = 0;
}

bool TextFile::Refill() {
    if (ended_ || failed_ || !stream_)
        return false;
    // Keep an unread CR so that it can still meet its LF.
    if (begin_ < end_) {
        buffer_[0] = buffer_[begin_];
        end_ = 1;
    } else {
        end_ = 0;
    }
    begin_ = 0;
    const std::size_t n = std::fread(buffer_ + end_, 1, sizeof buffer_ - end_, stream_.get());
    end_ += n;
    if (n == 0) {
        if (std::ferror(stream_.get())) {
            failed_ = true;
            errorCode_ = LastFileError();
        } else
            ended_ = true;
        return false;
    }
    return true;
}

int TextFile::NextByte() {
    for (;;) {
        if (begin_ == end_ && !Refill())
            return failed_ ? -2 : -1;
        const auto c = static_cast<unsigned char>(buffer_[begin_]);
        if (c == endOfFileMark) {
            ended_ = true;
            begin_ = end_ = 0;
            return -1;
        }
        if (c != '\r') {
            ++begin_;
            return c;
        }
        // A CR ends the line, alone or with the LF that follows it.
        if (begin_ + 1 == end_ && !Refill()) {
            if (failed_)
                return -2;
            begin_ = end_ = 0;
            return '\n';
        }
        begin_ += buffer_[begin_ + 1] == '\n' ? 2 : 1;
        return '\n';
    }
}

TextFile::Read TextFile::ReadLine(std::string& line, std::size_t maxChars) {
    line.clear();
    if (!stream_ || maxChars < 2)
        return Read::End;
    while (line.size() < maxChars - 1) {
        const int c = NextByte();
        if (c == -2)
            return Read::Error;
        if (c == -1)
            break;
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return line.empty() ? Read::End : Read::Line;
}

} // namespace sys
