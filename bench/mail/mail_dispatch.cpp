// Mail dispatch throughput: single-row recipient groups delivered to a local SMTP server
// (aiosmtpd) with STARTTLS, once over one reused connection and once with a fresh connection
// (TCP, TLS handshake, EHLO) per message.
//
//   fas-bench-mail-dispatch [MESSAGES]      (default 2000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mail/DispatchOutbox.h"
#include "mail/SmtpTransport.h"
#include "support/SmtpTestServer.h"
#include "support/Site.h"

namespace {

using fas::test::SmtpServerOptions;

struct Run {
    double seconds = 0;
    int connections = 0;
    int accepted = 0;
};

Run dispatchAll(int messages, bool reuse, const fas::test::TestCertificate& certificate) {
    SmtpServerOptions options{.tls = SmtpServerOptions::Tls::RequireStartTls,
                              .certificate = &certificate,
                              .storeMessages = false};
    fas::test::SmtpTestServer server(options);

    fas::test::OpenState db;
    db.state.company.Name = "Benchmark Fleet";
    db.state.company.AutomationServerEmailFooter = "Footer";
    db.db().beginTransaction();
    for (int i = 0; i < messages; ++i) {
        db.exec(
            "INSERT INTO AutomationServer_EmailsSent (EmailFrom,EmailFromName,EmailTo,EmailBody,"
            "EmailSent) VALUES (?,?,?,?,0)",
            {"alerts@fleet.example", "Benchmark Fleet",
             "driver" + std::to_string(i) + "@fleet.example",
             "Driver " + std::to_string(i) + ": licence expires 3/15/2027"});
    }
    db.db().commitTransaction();

    fas::mail::SmtpSettings settings;
    settings.host = server.host();
    settings.port = server.port();
    settings.security = fas::mail::SmtpSecurity::StartTls;
    settings.caFile = certificate.certificate().string();
    settings.reuseConnection = reuse;

    const auto start = std::chrono::steady_clock::now();
    {
        fas::mail::SmtpTransport transport(settings);
        fas::mail::DispatchOutbox(db.state, transport);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!db.state.report.errors.empty()) {
        std::fprintf(stderr, "dispatch reported: %s\n", db.state.report.errors.front().c_str());
    }
    return {elapsed.count(), server.connections(), server.messagesAccepted()};
}

}  // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (messages <= 0) {
        std::fprintf(stderr, "usage: %s [MESSAGES]\n", argv[0]);
        return 2;
    }
    try {
        const fas::test::TestCertificate certificate;
        const Run reused = dispatchAll(messages, true, certificate);
        const Run fresh = dispatchAll(messages, false, certificate);
        const double reusedRate = reused.accepted / reused.seconds;
        const double freshRate = fresh.accepted / fresh.seconds;
        std::printf("| mode | messages | connections | seconds | messages/s |\n");
        std::printf("|---|---:|---:|---:|---:|\n");
        std::printf("| one reused connection (STARTTLS) | %d | %d | %.2f | %.0f |\n",
                    reused.accepted, reused.connections, reused.seconds, reusedRate);
        std::printf("| fresh connection per message (STARTTLS) | %d | %d | %.2f | %.0f |\n",
                    fresh.accepted, fresh.connections, fresh.seconds, freshRate);
        std::printf("\nratio reused / fresh: %.2f\n", reusedRate / freshRate);
        return reused.accepted == messages && fresh.accepted == messages ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
}
