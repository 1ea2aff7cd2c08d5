#include "support/TestDatabase.h"

#include <algorithm>
#include <stdexcept>

#include <stdlib.h>
#include <unistd.h>

#include "db/Schema.h"
#include "tools/DemoData.h"

namespace fas::test {

TempDir::TempDir(bool inMemory) {
    const bool memory = inMemory && ::access("/dev/shm", W_OK | X_OK) == 0;
    std::string pattern =
        ((memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
         "fas-test-XXXXXX")
            .string();
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

TempDatabase::TempDatabase(const std::filesystem::path& source)
    : file_(dir_.path() / "compliance.db") {
    std::filesystem::copy_file(source, file_);
}

std::string TempDatabase::location() const {
    return "sqlite:" + file_.string();
}

void TempDatabase::attach(ServerState& state) const {
    state.DatabaseLocation = location();
    state.configDirectory = dir();
    state.db.setLocation(location(), dir());
}

const std::filesystem::path& DemoTemplate() {
    static const TempDir dir(true);
    static const std::filesystem::path file = [] {
        const auto f = dir.path() / "demo.db";
        tools::GenerateDemoDatabase(f, tools::DemoScale::small());
        return f;
    }();
    return file;
}

OpenState::OpenState() : OpenState(std::filesystem::path()) {}

OpenState::OpenState(const std::filesystem::path& source)
    : database(source.empty() ? TempDatabase() : TempDatabase(source)) {
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
    return rs.eof() ? db::Value() : rs.value(rs.columns().front());
}

std::int64_t OpenState::count(std::string_view sql, const db::Params& params) {
    return scalar(sql, params).asInt64();
}

std::int64_t addRow(OpenState& s, const std::string& table, const Columns& columns) {
    std::vector<std::string> names;
    db::Params values;
    for (const auto& [name, value] : columns) {
        const auto it = std::find(names.begin(), names.end(), name);
        if (it == names.end()) {
            names.push_back(name);
            values.push_back(value);
        } else {
            values[static_cast<std::size_t>(it - names.begin())] = value;
        }
    }
    std::string list, marks;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ",") + name;
        marks += marks.empty() ? "?" : ",?";
    }
    s.exec("INSERT INTO " + table + " (" + list + ") VALUES (" + marks + ")", values);
    return s.count("SELECT MAX(ID) FROM " + table);
}

db::Value isoDay(int offset) {
    return db::Value(db::DateTime::todayLocal().addDays(offset).toIso().substr(0, 10));
}

db::Value isoDayAt(int offset, int hour, int minute) {
    db::DateTime d = db::DateTime::todayLocal().addDays(offset);
    d.hour = hour;
    d.minute = minute;
    return db::Value(d.toIso());
}

}  // namespace fas::test
