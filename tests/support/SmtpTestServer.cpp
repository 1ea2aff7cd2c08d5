#include "support/SmtpTestServer.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

namespace fas::test {
namespace {

const std::string kScript = FAS_SOURCE_DIR "/tests/support/smtp_test_server.py";

std::string readFile(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

// Fields as the server script writes them: name, length and bytes, each followed by a line break.
ReceivedMessage load(const std::filesystem::path& file) {
    std::istringstream in(readFile(file));
    ReceivedMessage m;
    std::map<std::string, std::string*> fields = {{"tls", &m.tls},
                                                  {"auth_user", &m.authUser},
                                                  {"mail_from", &m.mailFrom},
                                                  {"raw", &m.raw},
                                                  {"subject", &m.subject},
                                                  {"from", &m.from},
                                                  {"to", &m.to},
                                                  {"date", &m.date},
                                                  {"message_id", &m.messageId},
                                                  {"body", &m.body},
                                                  {"charset", &m.charset},
                                                  {"defects", &m.defects},
                                                  {"transfer_encoding", &m.transferEncoding}};
    std::string name, connection, recipients;
    fields["connection"] = &connection;
    fields["rcpt_tos"] = &recipients;
    for (std::size_t length = 0; std::getline(in, name) && in >> length && in.get() == '\n';) {
        std::string value(length, '\0');
        in.read(value.data(), static_cast<std::streamsize>(length));
        in.get();
        if (auto* field = fields[name]) {
            *field = std::move(value);
        }
    }
    m.connection = connection.empty() ? 0 : std::stoi(connection);
    std::istringstream list(recipients);
    for (std::string line; std::getline(list, line);) {
        m.rcptTos.push_back(line);
    }
    return m;
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value)
    : name_(std::move(name)) {
    if (const char* previous = std::getenv(name_.c_str())) {
        previous_ = previous;
    }
    ::setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    previous_ ? ::setenv(name_.c_str(), previous_->c_str(), 1) : ::unsetenv(name_.c_str());
}

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
    std::vector<std::string> args = {
        kScript,       "--dir",  store_.path().string(),       "--host",
        options_.host, "--port", std::to_string(options_.port)};
    if (options_.tls != SmtpServerOptions::Tls::None) {
        if (options_.certificate == nullptr) {
            throw std::logic_error("SmtpTestServer: TLS needs a certificate");
        }
        args.insert(args.end(),
                    {"--cert", options_.certificate->certificate().string(), "--key",
                     options_.certificate->key().string(),
                     options_.tls == SmtpServerOptions::Tls::Implicit ? "--implicit-tls"
                                                                      : "--require-starttls"});
    }
    if (options_.authUser) {
        args.insert(args.end(),
                    {"--auth-user", *options_.authUser, "--auth-password", options_.authPassword});
    }
    for (const auto& address : options_.rejectRecipients) {
        args.insert(args.end(), {"--reject", address});
    }
    for (const auto& address : options_.rejectDataTo) {
        args.insert(args.end(), {"--reject-data-to", address});
    }
    args.insert(args.end(), {"--max-messages-per-connection",
                             std::to_string(options_.maxMessagesPerConnection)});
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
    return std::stoi(readFile(store_.path() / "connections"));
}

int SmtpTestServer::messagesAccepted() const {
    return std::stoi(readFile(store_.path() / "messages"));
}

std::vector<ReceivedMessage> SmtpTestServer::messages() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(store_.path())) {
        if (entry.path().filename().string().starts_with("msg-") &&
            entry.path().extension() != ".tmp") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<ReceivedMessage> out;
    std::transform(files.begin(), files.end(), std::back_inserter(out), load);
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
