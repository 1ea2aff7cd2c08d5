#include "db/Errors.h"

#include <algorithm>

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

}  // namespace fas::db
