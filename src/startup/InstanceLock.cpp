#include "startup/InstanceLock.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Database.h"
#include "platform/Files.h"

namespace fas::startup {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// Splits "Key=Value;Key={va;lue}" into its parts; braces keep their semicolons.
std::vector<std::string> connectionStringParts(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    bool inBraces = false;
    for (const char c : text) {
        if (c == '{') {
            inBraces = true;
        } else if (c == '}') {
            inBraces = false;
        }
        if (c == ';' && !inBraces) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(current);
    return parts;
}

std::string odbcKey(std::string_view location) {
    static const std::set<std::string> kIdentifying = {
        "server", "address", "addr", "network address", "database", "dsn", "filedsn"};
    const std::string converted = db::toOdbcConnectionString(location);
    std::set<std::string> kept;
    std::set<std::string> all;
    for (const auto& part : connectionStringParts(converted)) {
        const auto equals = part.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = lowered(trimmed(part.substr(0, equals)));
        const std::string value = lowered(trimmed(part.substr(equals + 1)));
        if (key.empty()) {
            continue;
        }
        if (key != "pwd" && key != "password") {
            all.insert(key + "=" + value);
        }
        if (kIdentifying.count(key) != 0) {
            kept.insert(key + "=" + value);
        }
    }
    const auto& chosen = kept.empty() ? all : kept;
    std::string key = "odbc:";
    for (const auto& part : chosen) {
        key += part + ";";
    }
    return chosen.empty() ? "odbc:" + lowered(trimmed(converted)) : key;
}

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

}  // namespace

std::string NormalisedDatabaseKey(std::string_view location,
                                  const std::filesystem::path& baseDirectory) {
    if (const auto file = db::sqlitePathOf(location, baseDirectory)) {
        std::error_code error;
        auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(*file), error);
        if (error) {
            canonical = std::filesystem::absolute(*file).lexically_normal();
        }
        return "sqlite:" + platform::ComparablePathText(canonical);
    }
    return odbcKey(location);
}

std::string InstanceLockName(std::string_view location,
                             const std::filesystem::path& baseDirectory) {
    std::array<char, 17> hex{};
    std::snprintf(
        hex.data(), hex.size(), "%016llx",
        static_cast<unsigned long long>(fnv1a(NormalisedDatabaseKey(location, baseDirectory))));
    return "automation-server-" + std::string(hex.data());
}

std::optional<InstanceLock> InstanceLock::acquire(std::string_view location,
                                                  const std::filesystem::path& baseDirectory) {
    auto lock = platform::SingleCopyLock::acquire(InstanceLockName(location, baseDirectory));
    if (!lock) {
        return std::nullopt;
    }
    return InstanceLock(std::move(*lock));
}

}  // namespace fas::startup
