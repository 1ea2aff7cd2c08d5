#pragma once

// The server binary run on a site's config.txt: what the end-to-end suites share.

#include <gmock/gmock.h>

#include <cstdlib>

#include "support/ProcessRunner.h"
#include "support/Site.h"

namespace fas::test {

// The server under test: this build's, or the Windows build's under Wine when
// FAS_WINDOWS_SERVER names it (the suite's second registration). Unix file names reach the
// Windows program through Wine's drive for the Unix root.
inline const char* WindowsServer() {
    const char* program = std::getenv("FAS_WINDOWS_SERVER");
    return program != nullptr && *program != '\0' ? program : nullptr;
}

inline ProcessSpec server(const Site& site, std::vector<std::string> args,
                          std::map<std::string, std::optional<std::string>> env = {}) {
    args.insert(args.begin(), {"--config", site.config().string()});
    if (const char* windows = WindowsServer()) {
        args.insert(args.begin(), windows);
        return {FAS_SOURCE_DIR "/tests/windows/run-under-wine", std::move(args), std::move(env),
                std::nullopt, true};
    }
    return {FAS_SERVER_BINARY, std::move(args), std::move(env), std::nullopt};
}

// How the platform under test asks a console server to stop: SIGTERM on Linux; under Wine,
// SIGINT, which Wine hands to the program as the console's Ctrl+C.
inline int StopRequestSignal() {
    return WindowsServer() != nullptr ? 2 : 15;
}

inline ProcessResult serve(const Site& site, std::vector<std::string> args,
                           std::map<std::string, std::optional<std::string>> env = {}) {
    return RunProcess(server(site, std::move(args), std::move(env)));
}

// `count` messages queued for as many recipients, as for a long first-day dispatch.
inline void QueueMessages(Site& site, int count) {
    for (int i = 0; i < count; ++i) {
        addRow(site, "AutomationServer_EmailsSent",
               {{"EmailTo", "r" + std::to_string(i) + "@example.test"},
                {"EmailFrom", "alerts@example.test"},
                {"EmailFromName", "Alerts"},
                {"EmailBody", "Due"},
                {"EmailSent", 0}});
    }
}

}  // namespace fas::test
