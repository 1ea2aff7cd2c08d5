#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "support/ProcessRunner.h"

extern char** environ;

namespace fas::test {

BackgroundProcess::BackgroundProcess(const ProcessSpec& given)
    : windowsLineEnds_(given.windowsLineEnds) {
    // env(1) applies the changes to the inherited environment and the working directory.
    std::vector<std::string> args{"/usr/bin/env"}, assignments;  // its options come first
    for (const auto& [name, value] : given.env) {
        if (value) {
            assignments.push_back(name + "=" + *value);
        } else {
            args.insert(args.end(), {"-u", name});
        }
    }
    if (given.workingDirectory) {
        args.insert(args.end(), {"-C", given.workingDirectory->string()});
    }
    args.insert(args.end(), assignments.begin(), assignments.end());
    args.push_back(given.program.string());
    args.insert(args.end(), given.args.begin(), given.args.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (files_.path() / "out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (files_.path() / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("Cannot start " + given.program.string() + ": " +
                                 std::strerror(error));
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!reap(false)) {
        sendSignal(SIGKILL);
        reap(true);
    }
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

void BackgroundProcess::sendSignal(int signal) {
    ::kill(pid_, signal);
}

}  // namespace fas::test
