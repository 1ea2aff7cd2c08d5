// Under Wine, CreateProcessW starts a program of the Linux machine but gives no handle for it:
// the shell the common part starts records what a handle would tell.
#include <windows.h>

#include <stdexcept>

#include "support/ProcessRunner.h"

namespace fas::test {

void BackgroundProcess::startUnix(const std::string& commandLine) {
    std::wstring line(commandLine.begin(), commandLine.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        throw std::runtime_error("Cannot start " + commandLine + " through Wine: error " +
                                 std::to_string(GetLastError()));
    }
    for (const HANDLE handle : {process.hProcess, process.hThread}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
}

}  // namespace fas::test
