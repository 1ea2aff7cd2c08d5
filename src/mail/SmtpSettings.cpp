#include "mail/SmtpSettings.h"

#include <charconv>

#include "mail/MailErrors.h"

namespace fas::mail {

namespace {

std::string_view trimmedBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isHostCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':' || byte >= 0x80;
}

}  // namespace

std::int32_t parsePortSetting(std::string_view text) {
    const auto digits = trimmedBlanks(text);
    std::int32_t port = 0;
    const auto* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, port);
    if (digits.empty() || error != std::errc() || stop != end || port < 1 || port > 65535) {
        throw MailUnavailable("The mail server port AutomationServerEmailServerPort '" +
                              std::string(text) + "' is not a port number (1 to 65535)");
    }
    return port;
}

SmtpSecurity securityFor(bool useSslTls, std::int32_t port) {
    if (!useSslTls) {
        return SmtpSecurity::None;
    }
    return port == 465 ? SmtpSecurity::ImplicitTls : SmtpSecurity::StartTls;
}

SmtpSettings smtpSettingsFrom(const CompanySettings& company, const char* caFile) {
    SmtpSettings settings;
    settings.host = std::string(trimmedBlanks(company.AutomationServerEmailServer));
    if (settings.host.empty()) {
        throw MailUnavailable(
            "No mail server is set: AutomationServerEmailServer in the Company row is empty");
    }
    for (const char c : settings.host) {
        if (!isHostCharacter(c)) {
            throw MailUnavailable("The mail server AutomationServerEmailServer '" + settings.host +
                                  "' is not a host name or address");
        }
    }
    settings.port = parsePortSetting(company.AutomationServerEmailServerPort);
    settings.security = securityFor(company.AutomationServerEmailUseSSLTLS, settings.port);
    settings.user = company.AutomationServerEmailUser;
    settings.password = company.AutomationServerEmailPassword;
    if (caFile != nullptr && *caFile != '\0') {
        settings.caFile = caFile;
    }
    return settings;
}

}  // namespace fas::mail
