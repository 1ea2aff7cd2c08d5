#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/CompanySettings.h"

namespace fas::mail {

enum class SmtpSecurity {
    None,         // plain SMTP
    StartTls,     // STARTTLS required before anything else is sent
    ImplicitTls,  // TLS from the first byte (smtps)
};

// Where and how the SMTP transport connects.
struct SmtpSettings {
    std::string host;
    std::int32_t port = 25;
    SmtpSecurity security = SmtpSecurity::None;
    std::string user;                   // no AUTH when empty
    std::string password;               // never part of any message
    std::optional<std::string> caFile;  // trusted CAs instead of the system store
    bool reuseConnection = true;        // one connection for every message of a dispatch
    std::chrono::seconds connectTimeout{30};
    std::chrono::seconds responseTimeout{60};  // also the longest stall while sending
};

// The environment variable naming a CA file to trust instead of the system store.
inline constexpr const char* kSmtpCaFileVariable = "AUTOMATION_SERVER_SMTP_CA_FILE";

// AutomationServerEmailServerPort as a port number. Surrounding blanks are ignored; anything
// else that is not a decimal number from 1 to 65535 (letters, nothing) throws MailUnavailable
// naming the setting.
std::int32_t parsePortSetting(std::string_view text);

// Implicit TLS on port 465, STARTTLS on any other port when the setting asks for TLS.
SmtpSecurity securityFor(bool useSslTls, std::int32_t port);

// The company's mail server settings, checked; caFile as the environment gives it (nullptr or
// empty: the system store). Throws MailUnavailable naming the setting at fault.
SmtpSettings smtpSettingsFrom(const CompanySettings& company, const char* caFile);

}  // namespace fas::mail
