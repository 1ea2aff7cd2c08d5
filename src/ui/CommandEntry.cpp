#include "ui/CommandEntry.h"

#include <iostream>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "platform/ServiceHost.h"
#include "startup/CommandLine.h"
#include "startup/ConfigFile.h"
#include "startup/Preflight.h"
#include "startup/TestMail.h"
#include "tasks/RuleCatalog.h"
#include "ui/HeadlessMode.h"

namespace fas::ui {

int RunCommandLine(int argc, char** argv, const WindowRunner& runWindow) {
    platform::UseUtf8Console();
    const std::vector<std::string> args = platform::Utf8Arguments(argc, argv);
    startup::CommandLine commandLine;
    try {
        commandLine = startup::ParseCommandLine(args);
    } catch (const startup::CommandLineError& e) {
        std::cerr << "automation-server: " << e.what() << std::endl;
        return 2;
    }
    if (commandLine.help) {
        std::cout << startup::UsageText(FAS_VERSION);
        return 0;
    }
    if (commandLine.version) {
        std::cout << "automation-server " << FAS_VERSION << "\n";
        return 0;
    }

    ServerState state;
    state.options.pickupDirectory = commandLine.pickupDirectory;
    state.options.dryRun = commandLine.dryRun;
    state.options.verbose = commandLine.verbose;
    const auto configFile = commandLine.configFile.value_or(startup::DefaultConfigFile());
    if (commandLine.check) {
        return startup::RunPreflight(state, configFile, std::cout);
    }
    if (commandLine.testMailAddress) {
        return startup::RunTestMail(state, configFile, *commandLine.testMailAddress, std::cout,
                                    std::cerr);
    }
    if (commandLine.installServiceName) {
        try {
            const auto name = platform::InstallService(*commandLine.installServiceName,
                                                       std::filesystem::absolute(configFile));
            std::cout << "Registered the service " << name << " for " << configFile.string()
                      << "; it starts at boot. Start it now with: sc start " << name << "\n";
            return 0;
        } catch (const platform::ServiceError& e) {
            std::cerr << "automation-server: " << e.what() << std::endl;
            return 2;
        }
    }
    if (commandLine.service) {
        try {
            return platform::RunAsService([&] {
                return RunHeadless(state, configFile, false, tasks::RuleCatalog(),
                                   kServiceStartupRetry);
            });
        } catch (const platform::ServiceError& e) {
            std::cerr << "automation-server: " << e.what() << std::endl;
            return 2;
        }
    }
    if (commandLine.dryRun) {
        // A dry run is one run, never a schedule.
        return RunHeadless(state, configFile, true, tasks::RuleCatalog());
    }
    if (commandLine.once || commandLine.headless) {
        return RunHeadless(state, configFile, commandLine.once, tasks::RuleCatalog());
    }
    return runWindow(argc, argv, state, configFile);
}

int ExecWindowProgram(int argc, char** argv, ServerState&, const std::filesystem::path&) {
    const auto self = platform::ExecutableFile();
    const auto window = (self.empty() ? std::filesystem::path(argv[0]) : self).parent_path() /
                        platform::kWindowProgramName;
    try {
        std::vector<std::string> arguments = platform::Utf8Arguments(argc, argv);
        arguments.insert(arguments.begin(), argc > 0 ? argv[0] : "automation-server");
        return platform::RunWindowProgram(window, arguments);
    } catch (const std::runtime_error& e) {
        std::cerr << "automation-server: cannot show the window: " << e.what()
                  << ". The window is a program of its own beside the server (on Debian the "
                     "package automation-server-window); without it, run the server with "
                     "--headless (or --once)."
                  << std::endl;
        return 2;
    }
}

}  // namespace fas::ui
