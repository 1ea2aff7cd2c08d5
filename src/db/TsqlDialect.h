#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace fas::db {

// Rewrites a statement written in T-SQL into what the embedded engine understands, touching
// neither string literals, quoted identifiers nor comments, and keeping all other text as
// written:
//  - ISNULL( -> IFNULL(;  RIGHT( / LEFT( -> tsql_right( / tsql_left(  (LEFT JOIN stays)
//  - SELECT TOP n ...     -> SELECT ... LIMIT n, at the end of that SELECT (n a number or a ?,
//                            bare or in parentheses; a moved ? keeps its value: every ? of the
//                            statement is then numbered)
//  - CONVERT(VARCHAR, x, 101), DATEADD(day, ...), DATEDIFF(MINUTE, ...): the type or date part
//    becomes a string literal for the registered functions (CONVERT -> tsql_convert)
//  - a + b                -> a || b (in this system + always joins texts); a sign, and a + next
//                            to a number literal, which adds in SQL Server too, stay
//  - N'...'               -> '...'
//  - UPDATE T SET ... FROM T LEFT JOIN ... WHERE ...
//                         -> UPDATE T SET ... WHERE rowid IN (SELECT T.rowid FROM T ... WHERE ...)
//    (also when T is the alias of a table in that FROM)
// Never fails: text it cannot make sense of passes through for the engine to report.
std::string translateTsql(std::string_view sql);

// Registers GETDATE, DATEADD, DATEDIFF, tsql_convert, tsql_right, tsql_left with SQL Server's
// semantics (DATEDIFF counts boundaries crossed). Dates are read from either ISO text form or
// the date text form and written as "2027-03-15 10:30:00"; a Null in gives Null out; text that
// is no date is an error naming the function and the text. Throws DatabaseError when the
// engine refuses a registration.
void registerTsqlFunctions(sqlite3* db);

}  // namespace fas::db
