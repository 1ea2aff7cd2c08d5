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
    const std::filesystem::path& dir() const { return dir_.path(); }
    std::filesystem::path file() const { return dir() / "compliance.db"; }
    std::filesystem::path config() const { return dir() / "config.txt"; }
    std::filesystem::path pickup() const { return dir() / "pickup"; }

    // One task run in this process, of the real catalog or of the given steps.
    void run();
    void run(const tasks::TaskList& steps);
    // Sends through `smtp` from now on: this state, and the Company row a server binary reads.
    void sendThrough(const SmtpTestServer& smtp);

    // Through a connection of its own, as the other software would.
    db::Recordset read(std::string_view sql, const db::Params& params = {});
    void exec(std::string_view sql, const db::Params& params = {});
    std::int64_t count(std::string_view sql, const db::Params& params = {});
    // Every row of the given tables (all when none is named), to compare two moments.
    std::string contents(std::vector<std::string> tables = {});

    // The messages in the pickup folder, oldest first: the To header and the decoded body.
    std::vector<ReceivedMessage> pickedUp() const;

  private:
    TempDir dir_{true};
};

}  // namespace fas::test
