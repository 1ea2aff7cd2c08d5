#include "db/ConnectFailure.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace fas::db {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The words Microsoft's ODBC Driver 18 (OpenSSL on Linux, Schannel on Windows) uses when the TLS
// handshake or the certificate check fails. FreeTDS says "Adaptive Server connection failed" for
// a failed handshake as for a server that is down: that stays a failure that may pass.
bool isTlsRefusal(const OdbcDiagnostic& d) {
    static constexpr std::array kWords = {
        "certificate",   "ssl provider",     "ssl routines",        "ssl security error",
        "tls handshake", "handshake failed", "unsupported protocol"};
    const std::string text = lowered(d.text);
    return std::any_of(kWords.begin(), kWords.end(),
                       [&](const char* word) { return text.find(word) != std::string::npos; });
}

// The value of the Server= (or Address=, Addr=) keyword, blanks around it removed.
std::string serverOf(std::string_view connectionString) {
    std::string server;
    std::size_t start = 0;
    while (start <= connectionString.size()) {
        const auto end = std::min(connectionString.find(';', start), connectionString.size());
        const std::string_view part = connectionString.substr(start, end - start);
        const auto equals = part.find('=');
        if (equals != std::string_view::npos) {
            std::string key = lowered(part.substr(0, equals));
            key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
            if (key == "server" || key == "address" || key == "addr") {
                server = std::string(part.substr(equals + 1));
                server.erase(0, server.find_first_not_of(" {"));
                server.erase(server.find_last_not_of(" }") + 1);
            }
        }
        start = end + 1;
    }
    return server;
}

constexpr const char* kTlsAdvice =
    "The database server's certificate or TLS was refused, and that will not pass by itself. "
    "Cure it in the connection string or on this machine: make the machine trust the "
    "certificate authority that issued the server's certificate; add HostNameInCertificate=<the "
    "name on the certificate> when the server is reached by another name; or, on a network you "
    "trust, add TrustServerCertificate=yes (the connection stays encrypted, but no longer proves "
    "that it reaches your server). A server without TLS 1.2 needs its updates first.";

}  // namespace

ConnectFailure ClassifyConnectFailure(const std::vector<OdbcDiagnostic>& diagnostics,
                                      std::string_view connectionString) {
    if (std::any_of(diagnostics.begin(), diagnostics.end(), isTlsRefusal)) {
        return {false, kTlsAdvice};
    }
    const bool connection = std::any_of(diagnostics.begin(), diagnostics.end(),
                                        [](const auto& d) { return d.state.rfind("08", 0) == 0; });
    const bool timedOut = std::any_of(diagnostics.begin(), diagnostics.end(), [](const auto& d) {
        return d.state == "HYT00" || d.state == "HYT01";
    });
    if (!connection && !timedOut) {
        return {false, {}};
    }
    ConnectFailure failure{true, {}};
    const std::string server = serverOf(connectionString);
    if (timedOut && server.find('\\') != std::string::npos &&
        server.find(',') == std::string::npos) {
        failure.advice =
            "The server names an instance (" + server +
            ") without a port: such an instance is found only through the SQL Server Browser "
            "service, which drivers on Linux never ask. Give its port: Server=host\\instance,port "
            "or Server=host,port.";
    }
    return failure;
}

}  // namespace fas::db
