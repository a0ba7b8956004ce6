#include "program_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

std::string ProgramPath() {
    return QEL32_PROGRAM_PATH;
}

namespace {

std::string TempPath(const char* tag) {
    std::string pattern = std::string("/tmp/qel32-e2e-") + tag + "-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

std::string ReadAll(const std::string& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY);
    char buffer[4096];
    ssize_t n;
    while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    if (fd >= 0)
        close(fd);
    return text;
}

} // namespace

ProgramRun RunProgram(const ProgramOptions& options) {
    const std::string inPath = TempPath("in");
    const std::string outPath = TempPath("out");
    {
        const int fd = open(inPath.c_str(), O_WRONLY | O_TRUNC);
        if (write(fd, options.input.data(), options.input.size()) < 0)
            throw std::runtime_error("cannot write the input script");
        close(fd);
    }
    // With steps the input is a pipe that the test types into as the program goes.
    int typed[2] = {-1, -1};
    if (!options.steps.empty() && pipe(typed) != 0)
        throw std::runtime_error("pipe");
    // On a terminal, what the program writes is copied from the master side into the file.
    int master = -1;
    std::string slaveName;
    int limited[2] = {-1, -1};
    if (options.outputReadLimit >= 0 && pipe(limited) != 0)
        throw std::runtime_error("pipe");
    if (options.terminal) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slaveName = ptsname(master);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // The runner ignores SIGPIPE for itself; the program must be seen to do so on its own.
        signal(SIGPIPE, SIG_DFL);
        int in = open(inPath.c_str(), O_RDONLY);
        if (typed[0] >= 0) {
            close(typed[1]);
            close(in);
            in = typed[0];
        }
        int out = open(outPath.c_str(), O_WRONLY | O_TRUNC);
        if (master >= 0) {
            close(master);
            close(out);
            out = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
            termios raw{};
            tcgetattr(out, &raw);
            raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            tcsetattr(out, TCSANOW, &raw);
        }
        if (options.terminalInput && !slaveName.empty()) {
            close(in);
            in = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        }
        if (limited[1] >= 0) {
            close(limited[0]);
            dup2(limited[1], out);
            close(limited[1]);
        }
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        for (const int fd : options.closed)
            close(fd);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"})
            unsetenv(name);
        // The runs of the tests are no upgrades to keep: unless a test asks for the journal.
        setenv("QEL32_JOURNAL", "/dev/null", 1);
        for (const auto& [name, value] : options.env)
            setenv(name.c_str(), value.c_str(), 1);
        for (const auto& name : options.unset)
            unsetenv(name.c_str());
        if (options.uid != 0 && (setgroups(options.groups.size(), options.groups.data()) != 0 ||
                                 setgid(options.gid) != 0 || setuid(options.uid) != 0))
            _exit(125);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        const std::string program = options.program.empty() ? ProgramPath() : options.program;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : options.args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    std::thread copier;
    if (limited[0] >= 0) {
        // A reader such as head -c: it takes its bytes and goes.
        close(limited[1]);
        copier = std::thread([fd = limited[0], limit = options.outputReadLimit, outPath] {
            const int file = open(outPath.c_str(), O_WRONLY | O_APPEND);
            char buffer[256];
            long taken = 0;
            ssize_t n;
            while (taken < limit &&
                   (n = read(fd, buffer, std::min<size_t>(sizeof buffer, limit - taken))) > 0) {
                taken += n;
                if (write(file, buffer, static_cast<size_t>(n)) < 0)
                    break;
            }
            close(file);
            close(fd);
        });
    }
    if (master >= 0)
        copier = std::thread([master, outPath] {
            const int file = open(outPath.c_str(), O_WRONLY | O_APPEND);
            char buffer[4096];
            ssize_t n;
            // Ends with EIO once the program and everything it started have closed the slave.
            while ((n = read(master, buffer, sizeof buffer)) > 0)
                if (write(file, buffer, static_cast<size_t>(n)) < 0)
                    break;
            close(file);
        });
    ProgramRun run;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    int wstatus = 0;
    bool ended = false;
    const bool onTerminal = options.terminalInput && master >= 0;
    if (typed[1] >= 0 || onTerminal) {
        signal(SIGPIPE, SIG_IGN); // a program that ended early must not end the test
        if (typed[0] >= 0)
            close(typed[0]);
        const int keyboard = onTerminal ? master : typed[1];
        auto type = [&](const std::string& text) {
            if (!text.empty() && write(keyboard, text.data(), text.size()) < 0)
                throw std::runtime_error("cannot type into the program");
        };
        type(options.input);
        size_t from = 0; // each step looks after what the one before it saw
        for (const auto& step : options.steps) {
            size_t at;
            while ((at = ReadAll(outPath).find(step.shown, from)) == std::string::npos && !ended &&
                   std::chrono::steady_clock::now() < deadline) {
                ended = waitpid(pid, &wstatus, WNOHANG) == pid;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (at != std::string::npos)
                from = at + step.shown.size();
            if (ended)
                break;
            if (step.action)
                step.action();
            if (step.signal != 0)
                kill(pid, step.signal);
            type(step.input);
        }
        if (typed[1] >= 0)
            close(typed[1]);
    }
    for (; !ended;) {
        const pid_t done = waitpid(pid, &wstatus, WNOHANG);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (copier.joinable()) {
        copier.join();
        if (master >= 0)
            close(master);
    }
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    run.output = ReadAll(outPath);
    unlink(inPath.c_str());
    unlink(outPath.c_str());
    return run;
}
