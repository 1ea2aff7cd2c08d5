#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <stdexcept>

#include "support/ProcessRunner.h"

extern char** environ;

namespace fas::test {

void BackgroundProcess::startShell(const std::string& script) {
    std::string shell = "/bin/sh", option = "-c", text = script;
    char* argv[] = {shell.data(), option.data(), text.data(), nullptr};
    pid_t pid = -1;
    if (const int error = ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ)) {
        throw std::runtime_error(std::string("Cannot start /bin/sh: ") + std::strerror(error));
    }
    shell_ = pid;
}

void BackgroundProcess::sendSignal(int signal) {
    ::kill(pid_, signal);
}

void BackgroundProcess::collectShell() {
    ::waitpid(static_cast<pid_t>(shell_), nullptr, 0);
}

}  // namespace fas::test
