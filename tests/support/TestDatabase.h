#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/Database.h"
#include "state/ServerState.h"

namespace fas::test {

// A temporary folder removed with everything in it when the object goes. `inMemory` puts it on
// the machine's RAM file system when there is one: suites that perform hundreds of runs go twice
// as fast there.
class TempDir {
  public:
    explicit TempDir(bool inMemory = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// A database in its own temporary folder: the empty compliance schema, or a copy of `source`.
class TempDatabase {
  public:
    TempDatabase();
    explicit TempDatabase(const std::filesystem::path& source);
    const std::filesystem::path& dir() const { return dir_.path(); }
    const std::filesystem::path& file() const { return file_; }
    // "sqlite:<absolute path>", as config.txt would name it.
    std::string location() const;
    // Points a server state at this database; the connection is left closed.
    void attach(ServerState& state) const;

  private:
    TempDir dir_;
    std::filesystem::path file_;
};

// The small demo database (something due in every kind of record), generated once per test
// program: copies of it are the compliance databases of the suites that run the whole catalog.
const std::filesystem::path& DemoTemplate();

// A server state attached to a database with its shared connection open: the situation inside a
// task run.
struct OpenState {
    TempDatabase database;
    ServerState state;
    OpenState();
    explicit OpenState(const std::filesystem::path& source);
    db::Database& db() { return state.db; }
    void exec(std::string_view sql, const db::Params& params = {});
    db::Value scalar(std::string_view sql, const db::Params& params = {});
    std::int64_t count(std::string_view sql, const db::Params& params = {});
};

// Rows as the other software writes them: values bound; a column named again replaces its
// earlier value, so that builders take overrides. Returns the new row's ID.
using Columns = std::vector<std::pair<std::string, db::Value>>;
std::int64_t addRow(OpenState& s, const std::string& table, const Columns& columns);
inline Columns with(Columns defaults, const Columns& overrides) {
    defaults.insert(defaults.end(), overrides.begin(), overrides.end());
    return defaults;
}

// Today plus `offset` days as the embedded database holds a date alone, or with a time of day.
db::Value isoDay(int offset);
db::Value isoDayAt(int offset, int hour, int minute);

}  // namespace fas::test
