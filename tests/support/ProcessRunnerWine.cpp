// Under Wine, CreateProcessW starts a program of the Linux machine but gives no handle for it:
// the shell the common part starts records what a handle would tell, and signals go through
// kill(1).
#include <windows.h>

#include <stdexcept>

#include "support/ProcessRunner.h"

namespace fas::test {

namespace {

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

void BackgroundProcess::startShell(const std::string& script) {
    startUnixProgram({"/bin/sh", "-c", script});
}

void BackgroundProcess::sendSignal(int signal) {
    startUnixProgram({"/bin/kill", "-s", std::to_string(signal), std::to_string(pid_)});
}

void BackgroundProcess::collectShell() {}

}  // namespace fas::test
