#include "support/SmtpTestServer.h"

#include <sstream>
#include <stdexcept>

namespace fas::test {
namespace {

const std::string kScript = FAS_SOURCE_DIR "/tests/support/smtp_test_server.py";

// Fields in the order the server script writes them, each ended by a NUL byte.
ReceivedMessage load(const std::filesystem::path& file) {
    std::istringstream in(ReadWholeFile(file));
    std::vector<std::string> f;
    for (std::string field; std::getline(in, field, '\0');) {
        f.push_back(field);
    }
    f.resize(10);
    ReceivedMessage m{f[0], f[1], f[2], {}, f[4], f[5], f[6], f[7], f[8], f[9]};
    std::istringstream list(f[3]);
    for (std::string line; std::getline(list, line);) {
        m.rcptTos.push_back(line);
    }
    return m;
}

}  // namespace

TestCertificate::TestCertificate() {
    const auto result =
        RunProcess({"/usr/bin/openssl",
                    {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                     "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                     "-keyout", key().string(), "-out", certificate().string()},
                    {},
                    {}});
    if (result.exitStatus != 0) {
        throw std::runtime_error("openssl could not make a test certificate: " + result.err);
    }
}

SmtpTestServer::SmtpTestServer(SmtpServerOptions options) : options_(std::move(options)) {
    std::vector<std::string> args = {kScript, "--dir", store_.path().string(), "--port",
                                     std::to_string(options_.port)};
    if (options_.certificate != nullptr) {
        args.insert(args.end(), {"--cert", options_.certificate->certificate().string(), "--key",
                                 options_.certificate->key().string()});
    }
    if (options_.tls != SmtpServerOptions::Tls::None) {
        args.push_back(options_.tls == SmtpServerOptions::Tls::Implicit ? "--implicit-tls"
                                                                        : "--require-starttls");
    }
    if (options_.authUser) {
        args.insert(args.end(),
                    {"--auth-user", *options_.authUser, "--auth-password", options_.authPassword});
    }
    for (const auto& [flag, values] :
         {std::pair{"--reject", &options_.rejectRecipients},
          {"--defer", &options_.deferRecipients},
          {"--reject-data-containing", &options_.rejectDataContaining}}) {
        for (const auto& value : *values) {
            args.insert(args.end(), {flag, value});
        }
    }
    args.insert(args.end(),
                {"--max-messages-per-connection", std::to_string(options_.maxMessagesPerConnection),
                 "--delay-ms", std::to_string(options_.delayMs), "--size",
                 std::to_string(options_.sizeLimit)});
    if (!options_.storeMessages) {
        args.push_back("--count-only");
    }
    process_ = std::make_unique<BackgroundProcess>(ProcessSpec{"/usr/bin/python3", args, {}, {}});
    if (!process_->waitForOutput("\n", std::chrono::seconds(20))) {
        throw std::runtime_error("The SMTP test server did not start: " + process_->stop().err);
    }
    port_ = std::stoi(process_->out());
}

void SmtpTestServer::stop() {
    if (process_) {
        process_->stop();
        process_.reset();
    }
}

int SmtpTestServer::connections() const {
    return std::stoi(ReadWholeFile(store_.path() / "connections"));
}

int SmtpTestServer::messagesAccepted() const {
    return std::stoi(ReadWholeFile(store_.path() / "messages"));
}

std::vector<ReceivedMessage> SmtpTestServer::messages() const {
    std::vector<ReceivedMessage> out;
    for (const auto& file : FilesIn(store_.path())) {
        if (file.filename().string().starts_with("msg-")) {
            out.push_back(load(file));
        }
    }
    return out;
}

std::vector<ReceivedMessage> SmtpTestServer::parseMessageFiles(
    const std::vector<std::filesystem::path>& files) {
    TempDir parsed;
    std::vector<std::string> args = {kScript, "--dir", parsed.path().string(), "--parse"};
    for (const auto& file : files) {
        args.push_back(file.string());
    }
    std::vector<ReceivedMessage> out;
    if (!files.empty() && RunProcess({"/usr/bin/python3", args, {}, {}}).exitStatus != 0) {
        throw std::runtime_error("The message files could not be parsed");
    }
    for (std::size_t i = 1; i <= files.size(); ++i) {
        out.push_back(load(parsed.path() / std::to_string(i)));
    }
    return out;
}

}  // namespace fas::test
