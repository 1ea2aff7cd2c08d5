#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/SmtpTestServer.h"
#include "support/TestDatabase.h"
#include "tasks/RunTasks.h"

namespace fas::test {

// config.txt naming the database `location`, as the installer writes it.
std::filesystem::path writeConfig(const std::filesystem::path& dir, const std::string& location);

// A compliance database (a copy of `source`, or the empty schema) beside its config.txt, and a
// server state on it as start-up leaves it: the Company row's settings loaded when there is one,
// the connection closed as between runs, messages written to the pickup folder.
class Site {
  public:
    explicit Site(const std::filesystem::path& source = {});
    ServerState state;
    db::Database& db() { return state.db; }
    // Opens the server's connection, as a task run does.
    Site& open();
    const std::filesystem::path& dir() const { return dir_.path(); }
    std::filesystem::path file() const { return dir() / "compliance.db"; }
    std::filesystem::path config() const { return dir() / "config.txt"; }
    std::filesystem::path pickup() const { return dir() / "pickup"; }

    // One task run in this process, of the real catalog or of the given steps; what it wrote to
    // standard error.
    std::string run();
    std::string run(const tasks::TaskList& steps);
    // Sends through `smtp` from now on: this state, and the Company row a server binary reads.
    void sendThrough(const SmtpTestServer& smtp);

    // Through the server's connection while it is open, as a step would; otherwise through a
    // connection of its own, as the other software would.
    db::Recordset read(std::string_view sql, const db::Params& params = {});
    void exec(std::string_view sql, const db::Params& params = {});
    db::Value scalar(std::string_view sql, const db::Params& params = {});
    std::int64_t count(std::string_view sql, const db::Params& params = {});
    // Every row of the given tables or SELECT statements (all tables when none is named), to
    // compare two moments.
    std::string contents(std::vector<std::string> tables = {});

    // The messages in the pickup folder, oldest first, as the SMTP test server parses them.
    std::vector<ReceivedMessage> pickedUp() const;

  private:
    db::Database& connection(db::Database& other);
    TempDir dir_{true};
};

// The empty schema with the server's connection open: the situation inside a task run.
struct OpenState : Site {
    explicit OpenState(const std::filesystem::path& source = {}) : Site(source) { open(); }
};

// Rows as the other software writes them: values bound; a column named again replaces its
// earlier value, so that builders take overrides. Returns the new row's ID.
using Columns = std::vector<std::pair<std::string, db::Value>>;
std::int64_t addRow(Site& s, const std::string& table, const Columns& columns);

// The times of a run (today, at any time but midnight) masked, in both the stored and the
// people's form, so that two runs' rows and texts compare.
std::string WithoutRunTimes(const std::string& text);
// The lines of `text` in sorted order: rows and messages whose order no run decides, compared
// with EXPECT_EQ, which shows the lines that differ.
std::string SortedLines(const std::string& text);
inline Columns with(Columns defaults, const Columns& overrides) {
    defaults.insert(defaults.end(), overrides.begin(), overrides.end());
    return defaults;
}

}  // namespace fas::test
