#include "support/ProcessRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fas::test {
using Clock = std::chrono::steady_clock;

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

BackgroundProcess::BackgroundProcess(const ProcessSpec& given) {
    // Everything the child needs is prepared before fork: only async-signal-safe calls after.
    std::vector<std::string> args{given.program.string()}, env;
    args.insert(args.end(), given.args.begin(), given.args.end());
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (given.env.count(std::string(*entry).substr(0, std::strcspn(*entry, "="))) == 0) {
            env.emplace_back(*entry);
        }
    }
    for (const auto& [name, value] : given.env) {
        if (value) {
            env.push_back(name + "=" + *value);
        }
    }
    std::vector<char*> argv, envp;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    for (auto& entry : env) {
        envp.push_back(entry.data());
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string out = (files_.path() / "out").string(),
                      err = (files_.path() / "err").string();
    const std::string directory = given.workingDirectory ? given.workingDirectory->string() : "";
    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        if (directory.empty() || ::chdir(directory.c_str()) == 0) {
            ::execve(argv[0], argv.data(), envp.data());
        }
        const char* why = std::strerror(errno);
        [[maybe_unused]] const auto written = ::write(2, why, std::strlen(why));
        ::_exit(127);
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!reap(false)) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
}

std::string BackgroundProcess::out() const {
    return ReadWholeFile(files_.path() / "out");
}

std::string BackgroundProcess::err() const {
    return ReadWholeFile(files_.path() / "err");
}

bool BackgroundProcess::reap(bool block) {
    int status = 0;
    if (result_.exitStatus != -1 || result_.signal != 0) {
        return true;
    }
    if (::waitpid(pid_, &status, block ? 0 : WNOHANG) != pid_) {
        return false;
    }
    result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

bool BackgroundProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
        const bool ended = reap(false);
        if (out().find(text) != std::string::npos) {
            return true;
        }
        if (ended) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

ProcessResult BackgroundProcess::stop(int signal, std::chrono::milliseconds timeout) {
    if (!reap(false) && signal != 0) {
        ::kill(pid_, signal);
    }
    const auto deadline = Clock::now() + timeout;
    while (!reap(false)) {
        if (Clock::now() >= deadline) {
            result_.timedOut = true;
            ::kill(pid_, SIGKILL);
            reap(true);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result_.out = out();
    result_.err = err();
    return result_;
}

ProcessResult RunProcess(const ProcessSpec& given, std::chrono::milliseconds timeout) {
    return BackgroundProcess(given).stop(0, timeout);
}

}  // namespace fas::test
