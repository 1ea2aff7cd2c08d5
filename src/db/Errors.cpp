#include "db/Errors.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <vector>

#include "db/Text.h"
#include "db/TsqlTokenizer.h"

namespace fas::db {

std::string statementForMessage(std::string_view sql) {
    constexpr std::size_t kLimit = 400;
    std::string text;
    text.reserve(std::min(sql.size(), kLimit) + 3);
    for (char c : sql.substr(0, std::min(sql.size(), kLimit))) {
        text.push_back(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
    }
    if (sql.size() > kLimit) {
        text += "...";
    }
    return text;
}

int queryTimeoutSeconds() {
    constexpr const char* kVariable = "AUTOMATION_SERVER_QUERY_TIMEOUT";
    const char* given = std::getenv(kVariable);
    if (given == nullptr || *given == '\0') {
        return kDefaultQueryTimeoutSeconds;
    }
    const std::string_view text(given);
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 1 ||
        seconds > 86400) {
        throw DatabaseError(std::string(kVariable) + " must be a whole number of seconds from 1 " +
                            "to 86400, not '" + std::string(text) + "'");
    }
    return seconds;
}

std::string statementPurpose(std::string_view sql) {
    std::vector<std::string_view> words;
    for (const TsqlToken& t : tokenizeTsql(sql)) {
        if (t.kind != TsqlTokenKind::Blank && t.kind != TsqlTokenKind::Comment) {
            words.push_back(sql.substr(t.begin, t.end - t.begin));
        }
    }
    // The first name after `keyword` (at any depth) that is no subquery.
    const auto nameAfter = [&](std::string_view keyword) -> std::string {
        for (std::size_t i = 0; i + 1 < words.size(); ++i) {
            if (equalsIgnoringCase(words[i], keyword) && words[i + 1] != "(") {
                return std::string(words[i + 1]);
            }
        }
        return "?";
    };
    if (words.empty()) {
        return "the empty statement";
    }
    if (equalsIgnoringCase(words[0], "SELECT")) {
        return "the query reading " + nameAfter("FROM");
    }
    if (equalsIgnoringCase(words[0], "UPDATE")) {
        return "the update of " + nameAfter("UPDATE");
    }
    if (equalsIgnoringCase(words[0], "INSERT")) {
        return "the insert into " + nameAfter("INTO");
    }
    if (equalsIgnoringCase(words[0], "DELETE")) {
        return "the delete from " + nameAfter("FROM");
    }
    if (equalsIgnoringCase(words[0], "BEGIN") || equalsIgnoringCase(words[0], "SAVE")) {
        return "the start of a transaction";  // where a lock held by another program is waited for
    }
    return "the statement " + std::string(words[0]);
}

std::string timeoutMessage(std::string_view sql, int seconds) {
    return statementPurpose(sql) + " was cancelled: it did not finish within the query timeout " +
           "of " + std::to_string(seconds) + " s (AUTOMATION_SERVER_QUERY_TIMEOUT)";
}

std::string deadlockMessage(std::string_view sql, std::string_view driverText) {
    return statementPurpose(sql) + " was chosen as the victim of a deadlock with another " +
           "program: the database undid its transaction: " + std::string(driverText);
}

std::string deadlockGivenUpMessage(const DatabaseError& failure, int tries) {
    return std::string(failure.what()) + " (deadlocked on each of " + std::to_string(tries) +
           " tries; the database undid it each time, the next run does it again)";
}

std::string lockTimeoutMessage(std::string_view sql, std::string_view driverText) {
    return statementPurpose(sql) + " waited longer than the database's lock time-out for rows " +
           "another program holds; it was not done: " + std::string(driverText);
}

}  // namespace fas::db
