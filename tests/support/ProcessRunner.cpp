#include "support/ProcessRunner.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fas::test {
using Clock = std::chrono::steady_clock;

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

namespace {

std::string lineFeeds(std::string text) {
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
    }
    return text;
}

}  // namespace

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
