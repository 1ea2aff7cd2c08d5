#pragma once

// The server binary run on a site's config.txt: what the end-to-end suites share.

#include <gmock/gmock.h>

#include <cstdlib>
#include <thread>

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

inline ProcessResult serve(const Site& site, std::vector<std::string> args,
                           std::map<std::string, std::optional<std::string>> env = {}) {
    return RunProcess(server(site, std::move(args), std::move(env)));
}

// Whether `done()` comes true within `limit`, asked every 50 ms.
template <typename Condition>
bool Eventually(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    for (const auto until = std::chrono::steady_clock::now() + limit; !done();
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
    }
    return true;
}

// A long first-day dispatch: 60 messages queued for as many recipients, sent through a relay that
// takes 100 ms to accept each, so that a stop lands in the middle of it.
struct SlowDispatch {
    SmtpTestServer smtp{{.storeMessages = false, .delayMs = 100}};
    Site site{DemoTemplate()};

    SlowDispatch() {
        site.sendThrough(smtp);
        for (int i = 0; i < 60; ++i) {
            addRow(site, "AutomationServer_EmailsSent",
                   {{"EmailTo", "r" + std::to_string(i) + "@example.test"},
                    {"EmailFrom", "alerts@example.test"},
                    {"EmailFromName", "Alerts"},
                    {"EmailBody", "Due"},
                    {"EmailSent", 0}});
        }
    }
    std::int64_t pending() {
        return site.count(
            "SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>''");
    }
    std::int64_t logged() {
        return site.count("SELECT SUM(CountEmails) FROM AutomationServer_Log");
    }
    // Whether the relay accepted a few messages, and not all, within a minute.
    testing::AssertionResult underWay() {
        Eventually([&] { return smtp.messagesAccepted() >= 5; }, std::chrono::seconds(60));
        const int accepted = smtp.messagesAccepted();
        return accepted >= 5 && accepted < 60
                   ? testing::AssertionSuccess()
                   : testing::AssertionFailure() << accepted << " of 60 messages accepted";
    }
    // After the stop: every message the relay accepted is marked sent and logged, no other, and
    // the rest waits.
    void expectStoppedWhole() {
        const int sent = smtp.messagesAccepted();
        EXPECT_EQ(site.count("SELECT COUNT(DISTINCT EmailTo) FROM AutomationServer_EmailsSent "
                             "WHERE EmailSent=1"),
                  sent)
            << "every accepted message marked, nothing else";
        EXPECT_EQ(logged(), sent);
        EXPECT_GT(pending(), 0);
    }
};

}  // namespace fas::test
