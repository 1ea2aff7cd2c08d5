#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TestDatabase.h"

namespace fas::test {

// What to start: a program, its arguments (without the program name) and changes to the
// environment it inherits (a value of std::nullopt removes the variable).
struct ProcessSpec {
    std::filesystem::path program;
    std::vector<std::string> args;
    std::map<std::string, std::optional<std::string>> env;
    std::optional<std::filesystem::path> workingDirectory;
    // A Windows console program's output: its CR LF line ends are read as LF.
    bool windowsLineEnds = false;
};

struct ProcessResult {
    int exitStatus = -1;  // the status passed to exit(); -1 when ended by a signal
    int signal = 0;       // the signal that ended it, or 0
    bool timedOut = false;
    std::string out, err;
};

std::string ReadWholeFile(const std::filesystem::path& file);
// The files of a folder in name order, those still being written (*.tmp) left out; none when
// the folder does not exist.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir);

// Runs a process to its end (killing it after `timeout`) and captures its output.
ProcessResult RunProcess(const ProcessSpec& given,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A process that runs beside the test, its output going to files; killed with the object.
class BackgroundProcess {
  public:
    explicit BackgroundProcess(const ProcessSpec& given);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Waits until standard output contains `text`; false when the process ends or time is up.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Sends `signal` (none when 0) and waits for the end; the result holds all output.
    ProcessResult stop(int signal = 15,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::string out() const { return read("out"); }
    std::string err() const { return read("err"); }

  private:
    // Whether the program ended, its result then filled in from the shell's record.
    bool ended();
    std::string read(const char* name) const;
    // The platform's part: starts a command line of the Linux machine (double-quoted words)
    // without waiting for it.
    static void startUnix(const std::string& commandLine);
    void sendSignal(int signal) const;
    TempDir files_;
    bool windowsLineEnds_ = false;
    long pid_ = -1;
    ProcessResult result_;
};

}  // namespace fas::test
