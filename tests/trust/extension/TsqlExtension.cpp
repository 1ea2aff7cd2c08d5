// The T-SQL functions of the embedded backend as a loadable SQLite extension: the SQLite ODBC
// driver loads it (LoadExt=), so statements the tests send through the ODBC backend find
// DATEADD, DATEDIFF, GETDATE and the rest with SQL Server's meaning.
#include <sqlite3.h>

#include <exception>

#include "db/TsqlDialect.h"

extern "C" int sqlite3_extension_init(sqlite3* db, char** error, const sqlite3_api_routines*);

extern "C" int sqlite3_extension_init(sqlite3* db, char** error, const sqlite3_api_routines*) {
    try {
        fas::db::registerTsqlFunctions(db);
        return SQLITE_OK;
    } catch (const std::exception& e) {
        *error = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
}
