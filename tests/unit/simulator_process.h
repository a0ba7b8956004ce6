// The instrument simulator as a child process on its own pseudo-terminal, published as COMn in
// a private ports folder that QEL32_PORTS points at while the object lives.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

class SimulatorProcess {
  public:
    explicit SimulatorProcess(std::vector<std::string> args, int port = 1) {
        folder_ = std::filesystem::temp_directory_path() /
                  ("qel32-ports-" + std::to_string(::getpid()) + "-" + std::to_string(++counter_));
        std::filesystem::create_directories(folder_);
        logPath_ = (folder_ / "received.log").string();
        imagePath_ = (folder_ / "image.bin").string();
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe");
        std::vector<std::string> all{QEL32_SIMULATOR_PATH,
                                     "--ports",
                                     folder_.string(),
                                     "--port",
                                     std::to_string(port),
                                     "--log",
                                     logPath_,
                                     "--image",
                                     imagePath_};
        all.insert(all.end(), args.begin(), args.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::signal(SIGPIPE, SIG_DFL); // as from a shell, whatever this test ignores
            ::dup2(out[1], 1);
            ::close(out[0]);
            std::vector<char*> argv;
            for (auto& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdout_ = ::fdopen(out[0], "r");
        char line[512] = {};
        if (stdout_ == nullptr || std::fgets(line, sizeof line, stdout_) == nullptr)
            throw std::runtime_error("the simulator did not start");
        // "ready COMn DEVICE"
        std::string ready = line;
        device_ = ready.substr(ready.rfind(' ') + 1);
        if (!device_.empty() && device_.back() == '\n')
            device_.pop_back();
        previousPorts_ = std::getenv("QEL32_PORTS") ? std::getenv("QEL32_PORTS") : "";
        ::setenv("QEL32_PORTS", folder_.c_str(), 1);
    }

    ~SimulatorProcess() {
        Stop();
        if (stdout_ != nullptr)
            std::fclose(stdout_);
        if (previousPorts_.empty())
            ::unsetenv("QEL32_PORTS");
        else
            ::setenv("QEL32_PORTS", previousPorts_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Ends the simulator, which writes its image.
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    // Puts the other instrument (--swap-to) on the cable; back once it is there.
    void Swap() const {
        Signal(SIGUSR1);
        char line[64];
        while (stdout_ != nullptr && std::fgets(line, sizeof line, stdout_) != nullptr &&
               std::string(line) != "swapped\n") {
        }
    }
    // Sends the simulator a signal (SIGUSR1: another instrument on the cable, with --swap-to).
    void Signal(int signal) const {
        if (pid_ > 0)
            ::kill(pid_, signal);
    }

    std::string Received() const { return ReadFile(logPath_); }
    // What it received once nothing more has come for a moment: a line the program wrote just
    // before it ended may not have been read yet on a busy machine.
    std::string ReceivedWhenQuiet() const {
        std::string text = Received();
        for (int i = 0; i < 30; ++i) {
            ::usleep(100'000);
            std::string now = Received();
            if (now == text && i >= 2)
                break;
            text = std::move(now);
        }
        return text;
    }
    std::string Image() const { return ReadFile(imagePath_); }
    const std::string& ImagePath() const { return imagePath_; }
    const std::string& Device() const { return device_; }
    std::string PortsFolder() const { return folder_.string(); }

  private:
    static std::string ReadFile(const std::string& path) {
        std::string text;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                text.append(buffer, n);
            std::fclose(f);
        }
        return text;
    }

    static inline int counter_ = 0;
    std::filesystem::path folder_;
    std::string logPath_, imagePath_, device_, previousPorts_;
    pid_t pid_ = -1;
    std::FILE* stdout_ = nullptr;
};
