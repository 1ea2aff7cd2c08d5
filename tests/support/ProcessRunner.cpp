#include "support/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace fas::test {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> childEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto name = text.substr(0, text.find('='));
        if (changes.count(name) == 0) {
            env.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            env.push_back(name + "=" + *value);
        }
    }
    return env;
}

[[noreturn]] void childFail(const char* what) {
    const std::string message = std::string(what) + ": " + std::strerror(errno) + "\n";
    [[maybe_unused]] const auto written = ::write(2, message.data(), message.size());
    ::_exit(127);
}

}  // namespace

BackgroundProcess::BackgroundProcess(const ProcessSpec& given) {
    std::array<int, 2> outPipe{};
    std::array<int, 2> errPipe{};
    if (::pipe2(outPipe.data(), O_CLOEXEC) != 0 || ::pipe2(errPipe.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    // Everything the child needs is prepared before fork: only async-signal-safe calls after.
    std::vector<std::string> argStrings{given.program.string()};
    argStrings.insert(argStrings.end(), given.args.begin(), given.args.end());
    std::vector<char*> argv;
    for (auto& arg : argStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    auto envStrings = childEnvironment(given.env);
    std::vector<char*> envp;
    for (auto& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const std::string directory = given.workingDirectory ? given.workingDirectory->string() : "";

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
        }
        if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
            childFail("chdir");
        }
        ::execve(argv[0], argv.data(), envp.data());
        childFail("execve");
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
}

BackgroundProcess::~BackgroundProcess() {
    if (!exited_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    if (outFd_ >= 0) {
        ::close(outFd_);
    }
    if (errFd_ >= 0) {
        ::close(errFd_);
    }
}

bool BackgroundProcess::pump(std::chrono::milliseconds wait) {
    std::array<pollfd, 2> fds{};
    nfds_t count = 0;
    std::array<std::string*, 2> sinks{};
    std::array<int*, 2> owners{};
    if (outFd_ >= 0) {
        fds[count] = {outFd_, POLLIN, 0};
        sinks[count] = &result_.out;
        owners[count] = &outFd_;
        ++count;
    }
    if (errFd_ >= 0) {
        fds[count] = {errFd_, POLLIN, 0};
        sinks[count] = &result_.err;
        owners[count] = &errFd_;
        ++count;
    }
    if (count == 0) {
        return false;
    }
    const int ready = ::poll(fds.data(), count, static_cast<int>(wait.count()));
    if (ready <= 0) {
        return true;
    }
    std::array<char, 4096> buffer{};
    for (nfds_t i = 0; i < count; ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const auto got = ::read(fds[i].fd, buffer.data(), buffer.size());
        if (got > 0) {
            sinks[i]->append(buffer.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            ::close(fds[i].fd);
            *owners[i] = -1;
        }
    }
    return outFd_ >= 0 || errFd_ >= 0;
}

void BackgroundProcess::reap(bool block) {
    if (exited_) {
        return;
    }
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done != pid_) {
        return;
    }
    exited_ = true;
    if (WIFEXITED(status)) {
        result_.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result_.signal = WTERMSIG(status);
    }
}

bool BackgroundProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (result_.out.find(text) == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        if (!pump(std::min(left, std::chrono::milliseconds(100)))) {
            return result_.out.find(text) != std::string::npos;
        }
    }
    return true;
}

ProcessResult BackgroundProcess::stop(int signal, std::chrono::milliseconds timeout) {
    reap(false);
    if (!exited_ && signal != 0) {
        ::kill(pid_, signal);
    }
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const bool open = pump(std::chrono::milliseconds(50));
        reap(false);
        if (exited_ && !open) {
            break;
        }
        if (Clock::now() >= deadline) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            reap(true);
            while (pump(std::chrono::milliseconds(50))) {
            }
            break;
        }
    }
    return result_;
}

ProcessResult RunProcess(const ProcessSpec& given, std::chrono::milliseconds timeout) {
    BackgroundProcess process(given);
    return process.stop(0, timeout);
}

}  // namespace fas::test
