#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fas::test {

// What to start: a program, its arguments (without the program name) and changes to the
// environment it inherits (a value of std::nullopt removes the variable).
struct ProcessSpec {
    std::filesystem::path program;
    std::vector<std::string> args;
    std::map<std::string, std::optional<std::string>> env;
    std::optional<std::filesystem::path> workingDirectory;
};

struct ProcessResult {
    int exitStatus = -1;  // the status passed to exit(); -1 when ended by a signal
    int signal = 0;       // the signal that ended it, or 0
    bool timedOut = false;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a process to its end (killing it after `timeout`) and captures its output.
ProcessResult RunProcess(const ProcessSpec& given,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A process that runs beside the test (a server waiting for its ticks). Killed when the object
// goes, if it still runs.
class BackgroundProcess {
  public:
    explicit BackgroundProcess(const ProcessSpec& given);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Reads output until standard output contains `text`, the process ends or the timeout passes.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Sends `signal` (SIGTERM by default) and waits for the end; the result holds all output.
    ProcessResult stop(int signal = 15,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));

    const std::string& out() const { return result_.out; }
    const std::string& err() const { return result_.err; }
    pid_t pid() const { return pid_; }

  private:
    // Reads what is available within `wait`; false once both pipes are closed.
    bool pump(std::chrono::milliseconds wait);
    void reap(bool block);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool exited_ = false;
    ProcessResult result_;
};

}  // namespace fas::test
