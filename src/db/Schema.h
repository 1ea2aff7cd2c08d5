#pragma once

#include <filesystem>

namespace fas::db {

// The compliance schema for the embedded engine (schema/sqlite.sql).
const char* schemaSql();

// Creates a new database file holding the empty compliance schema. Refuses to touch an existing
// file.
void createSchemaDatabase(const std::filesystem::path& file);

}  // namespace fas::db
