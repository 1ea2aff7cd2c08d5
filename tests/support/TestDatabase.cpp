#include "support/TestDatabase.h"

#include <stdexcept>
#include <string>

#include <stdlib.h>
#include <unistd.h>

#include "db/Schema.h"

namespace fas::test {

TempDir::TempDir(bool inMemory) {
    std::error_code error;
    const bool memory = inMemory && std::filesystem::is_directory("/dev/shm", error) &&
                        ::access("/dev/shm", W_OK | X_OK) == 0;
    const std::filesystem::path base =
        memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    std::string pattern = (base / "fas-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("Cannot create a temporary folder from " + pattern);
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

TempDatabase::TempDatabase() : file_(dir_.path() / "compliance.db") {
    db::createSchemaDatabase(file_);
}

std::string TempDatabase::location() const {
    return "sqlite:" + file_.string();
}

void TempDatabase::attach(ServerState& state) const {
    state.DatabaseLocation = location();
    state.configDirectory = dir();
    state.db.setLocation(location(), dir());
}

OpenState::OpenState() {
    database.attach(state);
    if (!state.db.OpenDatabase()) {
        throw std::runtime_error("Cannot open the test database: " + state.db.lastOpenError());
    }
}

void OpenState::exec(std::string_view sql, const db::Params& params) {
    state.db.execute(sql, params);
}

db::Value OpenState::scalar(std::string_view sql, const db::Params& params) {
    db::Recordset rs = state.db.query(sql, params);
    if (rs.eof() || rs.columns().empty()) {
        return db::Value();
    }
    return rs.value(rs.columns().front());
}

std::int64_t OpenState::count(std::string_view sql, const db::Params& params) {
    return scalar(sql, params).asInt64();
}

}  // namespace fas::test
