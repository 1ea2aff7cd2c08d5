#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fas::startup {

class CommandLineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What the command line asks for.
struct CommandLine {
    std::optional<std::filesystem::path> configFile;  // otherwise config.txt beside the program
    bool headless = false;                            // poll loop without a window
    bool once = false;                                // one task run, then exit
    bool help = false;
    bool version = false;
    std::optional<std::filesystem::path> pickupDirectory;
    bool dryRun = false;   // one run inside a transaction that is rolled back
    bool check = false;    // preflight: check everything a run needs, change nothing
    bool verbose = false;  // print what each catalog step did
    // Send one test message to this address, then exit.
    std::optional<std::string> testMailAddress;
    bool service = false;  // Windows: the headless server under the service control manager
    // Windows: register the service of one more database, then exit.
    std::optional<std::string> installServiceName;
};

// Parses the arguments after the program name. Accepts "--option VALUE" and "--option=VALUE".
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string UsageText(std::string_view version);

}  // namespace fas::startup
