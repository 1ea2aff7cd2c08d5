// Every program a suite starts runs under a shell that records its process id and, once it ends,
// its exit status in files: one way for both platforms, since Wine gives no handle for the Linux
// programs (aiosmtpd, openssl, sqlfluff, promtool) the Windows build's suites start.
#include "support/ProcessRunner.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <regex>
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

// One word for sh, whatever it holds; an argument naming a file of this program's (C:\...,
// Z:\... under Wine) as the Linux program sees it.
std::string shellWord(std::string text) {
    if (text.size() > 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
        (text[2] == '\\' || text[2] == '/')) {
        text = HostName(text);
    }
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

}  // namespace

#ifdef _WIN32
// Under Wine, CreateProcessW starts a program of the Linux machine but gives no handle for it:
// the shell started here records what a handle would tell.
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
#else
// Started in the background of a shell that ends at once: the program is no child of this one,
// and nothing is left to collect.
void BackgroundProcess::startUnix(const std::string& commandLine) {
    if (std::system((commandLine + " &").c_str()) != 0) {
        throw std::runtime_error("Cannot start " + commandLine);
    }
}
#endif

BackgroundProcess::BackgroundProcess(const ProcessSpec& given)
    : windowsLineEnds_(given.windowsLineEnds) {
    // The changes to the inherited environment and the working directory made in the subshell.
    std::string command;
    for (const auto& [name, value] : given.env) {
        command +=
            value ? "export " + name + "=" + shellWord(*value) + "; " : "unset " + name + "; ";
    }
    if (given.workingDirectory) {
        command += "cd " + shellWord(HostName(*given.workingDirectory)) + " && ";
    }
    command += "exec " + shellWord(given.program.generic_string());
    for (const auto& argument : given.args) {
        command += " " + shellWord(argument);
    }
    const auto file = [&](const char* name) { return shellWord(HostName(files_.path() / name)); };
    // Each record written whole under another name first: a reader never sees half of it.
    std::ofstream(files_.path() / "run", std::ios::binary)
        << "(" << command << ") </dev/null >" << file("out") << " 2>" << file("err")
        << " &\necho $! >" << file("pid.tmp") << "; mv " << file("pid.tmp") << " " << file("pid")
        << "\nwait $!\necho $? >" << file("status.tmp") << "; mv " << file("status.tmp") << " "
        << file("status") << "\n";
    startUnix("\"/bin/sh\" \"" + HostName(files_.path() / "run") + "\"");
    for (int attempt = 0; attempt < 1000 && pid_ <= 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream(files_.path() / "pid") >> pid_;
    }
    if (pid_ <= 0) {
        throw std::runtime_error("Cannot start " + given.program.string() + ": it never began");
    }
}

BackgroundProcess::~BackgroundProcess() {
    stop(9, std::chrono::hours(1));
}

bool BackgroundProcess::ended() {
    if (result_.exitStatus == -1 && result_.signal == 0) {
        int status = -1;
        std::ifstream(files_.path() / "status") >> status;
        // The shell reports an end by signal N as 128 + N.
        result_.exitStatus = status > 128 ? -1 : status;
        result_.signal = status > 128 ? status - 128 : 0;
    }
    return result_.exitStatus != -1 || result_.signal != 0;
}

std::string BackgroundProcess::read(const char* name) const {
    const std::string text = ReadWholeFile(files_.path() / name);
    // A Windows console program's CR LF line ends read as LF.
    return windowsLineEnds_ ? std::regex_replace(text, std::regex("\r\n"), "\n") : text;
}

bool BackgroundProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        const bool over = ended();  // asked first: once it ended, all its output is there
        if (const bool found = out().find(text) != std::string::npos; found || over) {
            return found;
        }
    }
    return false;
}

void BackgroundProcess::sendSignal(int signal) const {
    startUnix("/bin/kill -s " + std::to_string(signal) + " " + std::to_string(pid_));
}

ProcessResult BackgroundProcess::stop(int signal, std::chrono::milliseconds timeout) {
    if (!ended() && signal != 0) {
        sendSignal(signal);
    }
    for (const auto deadline = Clock::now() + timeout; !ended();
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        if (Clock::now() >= deadline && !result_.timedOut) {
            result_.timedOut = true;
            sendSignal(9);
        }
    }
    result_.out = out();
    result_.err = err();
    return result_;
}

ProcessResult RunProcess(const ProcessSpec& given, std::chrono::milliseconds timeout) {
    return BackgroundProcess(given).stop(0, timeout);
}

}  // namespace fas::test
