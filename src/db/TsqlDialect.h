#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace fas::db {

// Rewrites a statement written in T-SQL into what the embedded engine understands, touching
// neither string literals nor quoted identifiers:
//  - ISNULL( -> IFNULL(;  RIGHT( / LEFT( -> tsql_right( / tsql_left(
//  - SELECT TOP n ...     -> SELECT ... LIMIT n
//  - CONVERT(VARCHAR, x, 101), DATEADD(day, ...), DATEDIFF(MINUTE, ...): the type or date part
//    becomes a string literal for the registered functions
//  - a + b                -> a || b (in this system + always joins texts)
//  - UPDATE T SET ... FROM T LEFT JOIN ... WHERE ...
//                         -> UPDATE T SET ... WHERE rowid IN (SELECT T.rowid FROM T ... WHERE ...)
std::string translateTsql(std::string_view sql);

// Registers GETDATE, DATEADD, DATEDIFF, tsql_convert, tsql_right, tsql_left with SQL Server's
// semantics (DATEDIFF counts boundaries crossed).
void registerTsqlFunctions(sqlite3* db);

}  // namespace fas::db
