#include "support/SmtpTestServer.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fas::test {

namespace {

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("Cannot read " + file.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

void loadParsedFields(ReceivedMessage& m, const std::filesystem::path& folder) {
    m.subject = readFile(folder / "subject");
    m.from = readFile(folder / "from");
    m.to = readFile(folder / "to");
    m.date = readFile(folder / "date");
    m.messageId = readFile(folder / "message_id");
    m.mimeVersion = readFile(folder / "mime_version");
    m.transferEncoding = readFile(folder / "transfer_encoding");
    m.contentType = readFile(folder / "content_type");
    m.charset = readFile(folder / "charset");
    m.body = readFile(folder / "body");
    m.defects = readFile(folder / "defects");
}

}  // namespace

ReceivedMessage ReceivedMessage::load(const std::filesystem::path& folder) {
    ReceivedMessage m;
    m.connection = std::stoi(readFile(folder / "connection"));
    m.tls = readFile(folder / "tls");
    m.authUser = readFile(folder / "auth_user");
    m.mailFrom = readFile(folder / "mail_from");
    m.rcptTos = lines(readFile(folder / "rcpt_tos"));
    m.raw = readFile(folder / "raw.eml");
    loadParsedFields(m, folder);
    return m;
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value)
    : name_(std::move(name)) {
    if (const char* previous = std::getenv(name_.c_str())) {
        previous_ = previous;
    }
    ::setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_) {
        ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

TestCertificate::TestCertificate()
    : cert_(dir_.path() / "cert.pem"), key_(dir_.path() / "key.pem") {
    const auto result =
        RunProcess({"/usr/bin/openssl",
                    {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                     "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                     "-keyout", key_.string(), "-out", cert_.string()},
                    {},
                    {}});
    if (result.exitStatus != 0) {
        throw std::runtime_error("openssl could not make a test certificate: " + result.err);
    }
}

std::filesystem::path SmtpTestServer::script() {
    return std::filesystem::path(FAS_SOURCE_DIR) / "tests" / "support" / "smtp_test_server.py";
}

SmtpTestServer::SmtpTestServer(SmtpServerOptions options) : options_(std::move(options)) {
    std::vector<std::string> args = {
        script().string(), "--dir",  store_.path().string(),       "--host",
        options_.host,     "--port", std::to_string(options_.port)};
    using Tls = SmtpServerOptions::Tls;
    if (options_.tls != Tls::None) {
        if (options_.certificate == nullptr) {
            throw std::logic_error("SmtpTestServer: TLS needs a certificate");
        }
        args.insert(args.end(), {"--cert", options_.certificate->certificate().string(), "--key",
                                 options_.certificate->key().string()});
        args.push_back(options_.tls == Tls::StartTls          ? "--starttls"
                       : options_.tls == Tls::RequireStartTls ? "--require-starttls"
                                                              : "--implicit-tls");
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
    if (options_.maxMessagesPerConnection > 0) {
        args.insert(args.end(), {"--max-messages-per-connection",
                                 std::to_string(options_.maxMessagesPerConnection)});
    }
    if (!options_.storeMessages) {
        args.push_back("--count-only");
    }
    process_ = std::make_unique<BackgroundProcess>(ProcessSpec{python(), args, {}, {}});
    if (!process_->waitForOutput("\n", std::chrono::seconds(20))) {
        const auto result = process_->stop();
        throw std::runtime_error("The SMTP test server did not start: " + result.err);
    }
    port_ = std::stoi(process_->out());
}

SmtpTestServer::~SmtpTestServer() {
    stop();
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
    std::vector<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(store_.path())) {
        const auto name = entry.path().filename().string();
        if (entry.is_directory() && name.starts_with("msg-") && !name.ends_with(".partial")) {
            folders.push_back(entry.path());
        }
    }
    std::sort(folders.begin(), folders.end());
    std::vector<ReceivedMessage> out;
    for (const auto& folder : folders) {
        out.push_back(ReceivedMessage::load(folder));
    }
    return out;
}

std::vector<ReceivedMessage> SmtpTestServer::parseMessageFiles(
    const std::vector<std::filesystem::path>& files) {
    if (files.empty()) {
        return {};
    }
    TempDir parsed;
    std::vector<std::string> args = {script().string(), "--dir", parsed.path().string(), "--parse"};
    for (const auto& file : files) {
        args.push_back(file.string());
    }
    const auto result = RunProcess({python(), args, {}, {}});
    if (result.exitStatus != 0) {
        throw std::runtime_error("Cannot parse the message files: " + result.err);
    }
    std::vector<ReceivedMessage> out(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        out[i].raw = readFile(files[i]);
        loadParsedFields(out[i], parsed.path() / std::to_string(i + 1));
    }
    return out;
}

}  // namespace fas::test
