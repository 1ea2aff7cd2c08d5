// Every program a suite starts runs under a shell that records its process id and, once it ends,
// its exit status in files: one way for both platforms, since Wine gives no handle for the Linux
// programs (aiosmtpd, openssl, sqlfluff, promtool) the Windows build's suites start.
#include "support/ProcessRunner.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/Environment.h"

namespace fas::test {
using Clock = std::chrono::steady_clock;

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    std::error_code missing;
    for (const auto& entry : std::filesystem::directory_iterator(dir, missing)) {
        if (entry.path().extension() != ".tmp") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

std::string lineFeeds(std::string text) {
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
    }
    return text;
}

// One word for sh, whatever it holds.
std::string shellWord(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// An argument naming a file of this program's (C:\..., Z:\... under Wine) as the program sees it.
std::string hostArgument(const std::string& argument) {
    const bool windowsPath = argument.size() > 2 &&
                             std::isalpha(static_cast<unsigned char>(argument[0])) &&
                             argument[1] == ':' && (argument[2] == '\\' || argument[2] == '/');
    return windowsPath ? HostName(argument) : argument;
}

}  // namespace

BackgroundProcess::BackgroundProcess(const ProcessSpec& given)
    : windowsLineEnds_(given.windowsLineEnds) {
    const std::string program = given.program.generic_string();
    if (program.empty() || program.front() != '/') {
        throw std::runtime_error("The suites start programs by their full Linux name, not " +
                                 program);
    }
    // env(1) applies the changes to the inherited environment and the working directory.
    std::string command = "exec /usr/bin/env";
    std::string assignments;
    for (const auto& [name, value] : given.env) {
        if (value) {
            assignments += " " + shellWord(name + "=" + hostArgument(*value));
        } else {
            command += " -u " + shellWord(name);
        }
    }
    if (given.workingDirectory) {
        command += " -C " + shellWord(HostName(*given.workingDirectory));
    }
    command += assignments + " " + shellWord(program);
    for (const auto& argument : given.args) {
        command += " " + shellWord(hostArgument(argument));
    }
    const auto file = [&](const char* name) { return shellWord(HostName(files_.path() / name)); };
    // Each file written whole under another name first: a reader never sees half of it.
    startShell("(" + command + ") </dev/null >" + file("out") + " 2>" + file("err") +
               " & echo $! >" + file("pid.tmp") + "; mv " + file("pid.tmp") + " " + file("pid") +
               "; wait $!; echo $? >" + file("status.tmp") + "; mv " + file("status.tmp") + " " +
               file("status"));
    for (int attempt = 0; attempt < 1000 && pid_ <= 0; ++attempt) {
        std::ifstream(files_.path() / "pid") >> pid_;
        if (pid_ <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (pid_ <= 0) {
        throw std::runtime_error("Cannot start " + program + ": it never began");
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!reap(false)) {
        sendSignal(9);
        reap(true);
    }
}

bool BackgroundProcess::reap(bool block) {
    while (result_.exitStatus == -1 && result_.signal == 0) {
        int status = -1;
        std::ifstream(files_.path() / "status") >> status;
        if (status >= 0) {
            // The shell reports an end by signal N as 128 + N.
            result_.exitStatus = status > 128 ? -1 : status;
            result_.signal = status > 128 ? status - 128 : 0;
            collectShell();
        } else if (!block) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
}

std::string BackgroundProcess::out() const {
    const auto text = ReadWholeFile(files_.path() / "out");
    return windowsLineEnds_ ? lineFeeds(text) : text;
}

std::string BackgroundProcess::err() const {
    const auto text = ReadWholeFile(files_.path() / "err");
    return windowsLineEnds_ ? lineFeeds(text) : text;
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
        sendSignal(signal);
    }
    const auto deadline = Clock::now() + timeout;
    while (!reap(false)) {
        if (Clock::now() >= deadline) {
            result_.timedOut = true;
            sendSignal(9);
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
