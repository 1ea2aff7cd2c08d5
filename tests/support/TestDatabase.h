#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "db/Database.h"
#include "state/ServerState.h"

namespace fas::test {

// A temporary folder removed with everything in it when the object goes. `inMemory` puts it on
// the machine's RAM file system when there is one: suites that perform hundreds of runs, each
// statement a commit, go twice as fast there.
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

// A fresh database holding the empty compliance schema, in its own temporary folder.
class TempDatabase {
  public:
    TempDatabase();
    const std::filesystem::path& dir() const { return dir_.path(); }
    const std::filesystem::path& file() const { return file_; }
    // "sqlite:<absolute path>", as config.txt would name it.
    std::string location() const;
    // Points a server state at this database (state.DatabaseLocation, configDirectory, db); the
    // connection is left closed.
    void attach(ServerState& state) const;

  private:
    TempDir dir_;
    std::filesystem::path file_;
};

// A server state attached to a fresh schema database with its shared connection open: the
// situation inside a task run.
struct OpenState {
    TempDatabase database;
    ServerState state;
    OpenState();
    db::Database& db() { return state.db; }
    // Shorthands for test set-up and checks.
    void exec(std::string_view sql, const db::Params& params = {});
    db::Value scalar(std::string_view sql, const db::Params& params = {});
    std::int64_t count(std::string_view sql, const db::Params& params = {});
};

}  // namespace fas::test
