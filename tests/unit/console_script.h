// Answers the console's boxes from a script and keeps what they showed.
#pragma once

#include "fw/console/console_io.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

class ConsoleScript {
  public:
    explicit ConsoleScript(const std::string& answers) {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        if (::write(fds[1], answers.data(), answers.size()) < 0)
            throw std::runtime_error("write");
        ::close(fds[1]);
        input_ = fds[0];
        output_ = std::tmpfile();
        fw::console::ConsoleIo::Redirect(input_, output_);
    }
    ~ConsoleScript() {
        fw::console::ConsoleIo::Redirect(0, stdout);
        ::close(input_);
        std::fclose(output_);
    }
    ConsoleScript(const ConsoleScript&) = delete;
    ConsoleScript& operator=(const ConsoleScript&) = delete;

    std::string Shown() {
        std::fflush(output_);
        std::string text;
        std::rewind(output_);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, output_)) > 0)
            text.append(buffer, n);
        return text;
    }

  private:
    int input_ = -1;
    std::FILE* output_ = nullptr;
};
