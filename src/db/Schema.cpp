#include "db/Schema.h"
#include "platform/Files.h"

#include <sqlite3.h>

#include <string>

#include "db/Errors.h"

namespace fas::db {

extern const char* const kSchemaSql;

const char* schemaSql() {
    return kSchemaSql;
}

void createSchemaDatabase(const std::filesystem::path& file) {
    if (std::filesystem::exists(file)) {
        throw DatabaseError("Refusing to create a database over the existing file " +
                            file.string());
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(platform::PathText(file).c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* message = nullptr;
    // One transaction for the whole schema: a commit per table makes creation slow.
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, &message);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, &message);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, kSchemaSql, nullptr, nullptr, &message);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, &message);
    }
    if (rc != SQLITE_OK) {
        std::string reason = message ? message : (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_free(message);
        sqlite3_close_v2(db);
        std::filesystem::remove(file);
        throw DatabaseError("Cannot create the database " + file.string() + ": " + reason);
    }
    sqlite3_close_v2(db);
}

}  // namespace fas::db
