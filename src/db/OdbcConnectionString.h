#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fas::db {

// One keyword=value pair of a connection string, the value unquoted.
struct OdbcAttribute {
    std::string key;
    std::string value;
};

// Splits an ODBC or OLE DB connection string into its pairs. Values may be written plain, in
// braces ({a;b}, "}}" for "}") or in double or single quotes (doubled quote for a quote).
std::vector<OdbcAttribute> parseOdbcAttributes(std::string_view connectionString);

// The value as an ODBC connection string must carry it: in braces when it holds ';', '{', '}',
// '=' or leading or trailing blanks.
std::string quoteOdbcValue(std::string_view value);

// The message with every password of the connection string removed: each PWD=/Password= value
// and, in case a driver echoed it elsewhere, each literal occurrence of the password itself.
std::string removePasswords(std::string_view message, std::string_view connectionString);

}  // namespace fas::db
