#include "platform/Process.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace fas::platform {

const char* const kWindowProgramName = "automation-server-window";

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Console() {}

long ProcessId() {
    return static_cast<long>(::getpid());
}

std::string HostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string("?");
}

std::filesystem::path ExecutableFile() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self;
}

int RunWindowProgram(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    throw std::runtime_error(program.string() + ": " + std::strerror(errno));
}

}  // namespace fas::platform
