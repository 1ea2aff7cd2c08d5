// Connection strings for the ODBC backend: converting the OLE DB strings written for the old
// provider, and keeping passwords out of every message.
#include "db/OdbcConnectionString.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "db/Connection.h"

namespace fas::db {
namespace {

constexpr std::string_view kDefaultDriver = "ODBC Driver 18 for SQL Server";
constexpr std::string_view kDriverVariable = "AUTOMATION_SERVER_ODBC_DRIVER";
constexpr std::string_view kRedacted = "***";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Lower case with runs of blanks folded to one space: "Initial  Catalog" -> "initial catalog".
std::string normalizedKey(std::string_view key) {
    std::string out;
    for (char c : trim(key)) {
        if (isBlank(c)) {
            if (out.empty() || out.back() != ' ') {
                out.push_back(' ');
            }
        } else {
            out.push_back(lower(c));
        }
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// Reads one value starting at `pos` (just after '=' and any blanks). Returns the unquoted value
// and leaves `pos` on the ';' that ends it (or at the end).
std::string readValue(std::string_view text, std::size_t& pos) {
    std::string value;
    if (pos < text.size() && text[pos] == '{') {
        ++pos;
        while (pos < text.size()) {
            if (text[pos] == '}') {
                if (pos + 1 < text.size() && text[pos + 1] == '}') {
                    value.push_back('}');
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            value.push_back(text[pos++]);
        }
    } else if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        const char quote = text[pos++];
        while (pos < text.size()) {
            if (text[pos] == quote) {
                if (pos + 1 < text.size() && text[pos + 1] == quote) {
                    value.push_back(quote);
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            value.push_back(text[pos++]);
        }
    } else {
        const std::size_t end = std::min(text.find(';', pos), text.size());
        value = std::string(trim(text.substr(pos, end - pos)));
        pos = end;
        return value;
    }
    // Anything between a closing brace or quote and the next ';' is not part of the value.
    pos = std::min(text.find(';', pos), text.size());
    return value;
}

std::string braced(std::string_view value) {
    std::string out = "{";
    for (char c : value) {
        out.push_back(c);
        if (c == '}') {
            out.push_back('}');
        }
    }
    out.push_back('}');
    return out;
}

bool isPasswordKey(std::string_view normalized) {
    return normalized == "pwd" || normalized == "password";
}

std::string driverName() {
    std::string name(kDefaultDriver);
    if (const char* configured = std::getenv(std::string(kDriverVariable).c_str())) {
        std::string_view value = trim(configured);
        if (value.size() >= 2 && value.front() == '{' && value.back() == '}') {
            value = trim(value.substr(1, value.size() - 2));
        }
        if (!value.empty()) {
            name = std::string(value);
        }
    }
    return name;
}

bool isTrueFlag(std::string_view value) {
    const std::string v = normalizedKey(value);
    return v == "sspi" || v == "true" || v == "yes";
}

std::string yesNo(std::string_view value) {
    const std::string v = normalizedKey(value);
    return v == "true" || v == "yes" || v == "1" || v == "-1" ? "yes" : "no";
}

// The ODBC form of one OLE DB pair; nothing when ODBC has no use for it.
std::optional<OdbcAttribute> convertOleDbAttribute(const OdbcAttribute& attribute) {
    const std::string key = normalizedKey(attribute.key);
    const std::string& value = attribute.value;
    if (key == "data source" || key == "server" || key == "address" || key == "addr" ||
        key == "network address") {
        return OdbcAttribute{"Server", value};
    }
    if (key == "initial catalog" || key == "database") {
        return OdbcAttribute{"Database", value};
    }
    if (key == "user id" || key == "uid" || key == "user") {
        return OdbcAttribute{"UID", value};
    }
    if (isPasswordKey(key)) {
        return OdbcAttribute{"PWD", value};
    }
    if (key == "integrated security" || key == "trusted_connection") {
        if (isTrueFlag(value)) {
            return OdbcAttribute{"Trusted_Connection", "yes"};
        }
        return std::nullopt;
    }
    if (key == "application name") {
        return OdbcAttribute{"APP", value};
    }
    if (key == "workstation id") {
        return OdbcAttribute{"WSID", value};
    }
    if (key == "use encryption for data" || key == "encrypt") {
        return OdbcAttribute{"Encrypt", yesNo(value)};
    }
    if (key == "trust server certificate" || key == "trustservercertificate") {
        return OdbcAttribute{"TrustServerCertificate", yesNo(value)};
    }
    if (key == "current language") {
        return OdbcAttribute{"Language", value};
    }
    if (key == "initial file name") {
        return OdbcAttribute{"AttachDBFileName", value};
    }
    // Persist Security Info only told the OLE DB provider whether to keep the password after
    // opening; the timeouts are set by the program (login timeout); the rest steer only the
    // OLE DB provider itself.
    static constexpr std::string_view kDropped[] = {
        "provider",
        "persist security info",
        "connect timeout",
        "connection timeout",
        "timeout",
        "network library",
        "network",
        "packet size",
        "auto translate",
        "use procedure for prepare",
        "oledb services",
        "ole db services",
        "general timeout",
        "locale identifier",
        "prompt",
        "datatypecompatibility",
        "tag with column collation when possible",
        "mars connection",
    };
    if (std::find(std::begin(kDropped), std::end(kDropped), key) != std::end(kDropped)) {
        return std::nullopt;
    }
    return attribute;
}

std::string joinAttributes(const std::vector<OdbcAttribute>& attributes) {
    std::string out;
    for (const OdbcAttribute& a : attributes) {
        out += a.key;
        out += '=';
        out += quoteOdbcValue(a.value);
        out += ';';
    }
    return out;
}

enum class ProviderKind { None, SqlServerOleDb, OdbcBridge, Other };

ProviderKind providerOf(const std::vector<OdbcAttribute>& attributes) {
    for (const OdbcAttribute& a : attributes) {
        if (normalizedKey(a.key) != "provider") {
            continue;
        }
        const std::string_view provider = trim(a.value);
        if (startsWithNoCase(provider, "SQLOLEDB") || startsWithNoCase(provider, "SQLNCLI") ||
            startsWithNoCase(provider, "MSOLEDBSQL")) {
            return ProviderKind::SqlServerOleDb;
        }
        if (startsWithNoCase(provider, "MSDASQL")) {
            return ProviderKind::OdbcBridge;
        }
        return ProviderKind::Other;
    }
    return ProviderKind::None;
}

// The literal forms a password may take in a message: as written and as quoted in the string.
std::vector<std::string> passwordsIn(std::string_view connectionString) {
    std::vector<std::string> found;
    for (const OdbcAttribute& a : parseOdbcAttributes(connectionString)) {
        if (isPasswordKey(normalizedKey(a.key)) && !a.value.empty()) {
            found.push_back(a.value);
            const std::string quoted = quoteOdbcValue(a.value);
            if (quoted != a.value) {
                found.push_back(quoted);
            }
        }
    }
    // Longest first, so a password that contains another is removed whole.
    std::sort(found.begin(), found.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return found;
}

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// At `pos`, a password keyword followed by '='? Returns the position just after the '='.
std::optional<std::size_t> passwordKeywordAt(std::string_view text, std::size_t pos) {
    if (pos > 0 && isWordChar(text[pos - 1])) {
        return std::nullopt;
    }
    for (std::string_view keyword : {std::string_view("password"), std::string_view("pwd")}) {
        if (!startsWithNoCase(text.substr(pos), keyword)) {
            continue;
        }
        std::size_t p = pos + keyword.size();
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) {
            ++p;
        }
        if (p < text.size() && text[p] == '=') {
            return p + 1;
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<OdbcAttribute> parseOdbcAttributes(std::string_view connectionString) {
    std::vector<OdbcAttribute> attributes;
    std::size_t pos = 0;
    while (pos < connectionString.size()) {
        const std::size_t equals = connectionString.find('=', pos);
        const std::size_t semicolon = connectionString.find(';', pos);
        if (equals == std::string_view::npos || semicolon < equals) {
            // A segment without a value (or an empty one) carries nothing.
            if (semicolon == std::string_view::npos) {
                break;
            }
            pos = semicolon + 1;
            continue;
        }
        OdbcAttribute attribute;
        attribute.key = std::string(trim(connectionString.substr(pos, equals - pos)));
        pos = equals + 1;
        while (pos < connectionString.size() && isBlank(connectionString[pos])) {
            ++pos;
        }
        attribute.value = readValue(connectionString, pos);
        if (!attribute.key.empty()) {
            attributes.push_back(std::move(attribute));
        }
        if (pos < connectionString.size()) {
            ++pos;  // the ';'
        }
    }
    return attributes;
}

std::string quoteOdbcValue(std::string_view value) {
    const bool needsBraces = value.find_first_of(";{}=") != std::string_view::npos ||
                             (!value.empty() && (isBlank(value.front()) || isBlank(value.back())));
    return needsBraces ? braced(value) : std::string(value);
}

std::string toOdbcConnectionString(std::string_view connectionString) {
    const std::vector<OdbcAttribute> attributes = parseOdbcAttributes(connectionString);
    const ProviderKind provider = providerOf(attributes);
    if (provider == ProviderKind::SqlServerOleDb) {
        std::vector<OdbcAttribute> converted;
        for (const OdbcAttribute& a : attributes) {
            if (auto odbc = convertOleDbAttribute(a)) {
                converted.push_back(std::move(*odbc));
            }
        }
        // Driver names hold blanks, so the name is always braced.
        return "Driver=" + braced(driverName()) + ";" + joinAttributes(converted);
    }
    if (provider == ProviderKind::OdbcBridge) {
        // The OLE DB provider for ODBC: the rest of the string is already ODBC.
        std::vector<OdbcAttribute> rest;
        for (const OdbcAttribute& a : attributes) {
            if (normalizedKey(a.key) != "provider") {
                rest.push_back(a);
            }
        }
        return joinAttributes(rest);
    }
    return std::string(connectionString);
}

std::string redactConnectionString(std::string_view connectionString) {
    const std::string_view text = connectionString;
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::optional<std::size_t> valueStart = passwordKeywordAt(text, pos);
        if (!valueStart) {
            out.push_back(text[pos++]);
            continue;
        }
        std::size_t p = *valueStart;
        while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) {
            ++p;
        }
        out.append(text.substr(pos, p - pos));
        if (p < text.size() && (text[p] == '{' || text[p] == '"' || text[p] == '\'')) {
            readValue(text, p);
        } else {
            // A plain value ends at ';' or, in a message that quotes it, at the end of the line.
            p = std::min(text.find_first_of(";\r\n", p), text.size());
        }
        out.append(kRedacted);
        pos = p;
    }
    return out;
}

std::string removePasswords(std::string_view message, std::string_view connectionString) {
    std::string out(message);
    for (const std::string& password : passwordsIn(connectionString)) {
        for (std::size_t at = out.find(password); at != std::string::npos;
             at = out.find(password, at + kRedacted.size())) {
            out.replace(at, password.size(), kRedacted);
        }
    }
    return redactConnectionString(out);
}

}  // namespace fas::db
