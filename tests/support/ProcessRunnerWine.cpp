// Under Wine, the test helpers (aiosmtpd, the HTTP test server, openssl, sqlfluff, promtool) are
// programs of the Linux machine. Wine starts a Unix program from CreateProcessW but gives no
// handle for it, so a shell started that way runs the helper in the background, writes its
// process id, and writes its exit status once it ends; signals go through kill(1).
#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/Environment.h"
#include "support/ProcessRunner.h"

namespace fas::test {

namespace {

// One word for sh, whatever it holds.
std::string shellWord(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// An argument naming a file of this program's (C:\..., Z:\...) as the helper sees it.
std::string hostArgument(const std::string& argument) {
    const bool windowsPath = argument.size() > 2 &&
                             std::isalpha(static_cast<unsigned char>(argument[0])) &&
                             argument[1] == ':' && (argument[2] == '\\' || argument[2] == '/');
    return windowsPath ? HostName(argument) : argument;
}

// Starts a Unix program through Wine without waiting for it.
void startUnixProgram(const std::vector<std::string>& argv) {
    std::wstring commandLine;
    for (const auto& argument : argv) {
        std::wstring wide(argument.begin(), argument.end());
        std::wstring quoted = L"\"";
        std::size_t backslashes = 0;
        for (const wchar_t c : wide) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            quoted.push_back(c);
        }
        quoted.append(backslashes * 2, L'\\');
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted + L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        throw std::runtime_error("Cannot start " + argv.front() + " through Wine: error " +
                                 std::to_string(GetLastError()));
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
    }
    if (process.hThread != nullptr) {
        CloseHandle(process.hThread);
    }
}

}  // namespace

BackgroundProcess::BackgroundProcess(const ProcessSpec& given)
    : windowsLineEnds_(given.windowsLineEnds) {
    const std::string program = given.program.generic_string();
    if (program.empty() || program.front() != '/') {
        throw std::runtime_error(
            "Under Wine the suites start only helpers of the Linux machine, "
            "not " +
            program);
    }
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
    const std::string files = HostName(files_.path());
    const std::string script =
        "(" + command + ") </dev/null >" + shellWord(files + "/out") + " 2>" +
        shellWord(files + "/err") + " & echo $! >" + shellWord(files + "/pid.tmp") + "; mv " +
        shellWord(files + "/pid.tmp") + " " + shellWord(files + "/pid") + "; wait $!; echo $? >" +
        shellWord(files + "/status.tmp") + "; mv " + shellWord(files + "/status.tmp") + " " +
        shellWord(files + "/status");
    startUnixProgram({"/bin/sh", "-c", script});
    for (int attempt = 0; attempt < 1000 && pid_ <= 0; ++attempt) {
        std::ifstream(files_.path() / "pid") >> pid_;
        if (pid_ <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (pid_ <= 0) {
        throw std::runtime_error("Cannot start " + program + " through Wine: it never began");
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!reap(false)) {
        sendSignal(9);
        reap(true);
    }
}

bool BackgroundProcess::reap(bool block) {
    if (result_.exitStatus != -1 || result_.signal != 0) {
        return true;
    }
    for (;;) {
        int status = -1;
        std::ifstream(files_.path() / "status") >> status;
        if (status >= 0) {
            // The shell reports an end by signal N as 128 + N.
            result_.exitStatus = status > 128 ? -1 : status;
            result_.signal = status > 128 ? status - 128 : 0;
            return true;
        }
        if (!block) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void BackgroundProcess::sendSignal(int signal) {
    startUnixProgram({"/bin/kill", "-s", std::to_string(signal), std::to_string(pid_)});
}

}  // namespace fas::test
