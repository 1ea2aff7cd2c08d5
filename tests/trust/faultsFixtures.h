#pragma once

// What the fault and soak suites share: a generated database copied for each case, a server state
// as start-up leaves it, and the content of what task runs leave behind, compared without the
// identity values and times that differ from one run to the next.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "db/Database.h"
#include "state/ServerState.h"
#include "support/SmtpTestServer.h"
#include "tasks/RunTasks.h"

#include "support/TestDatabase.h"

namespace fas::trust {

// A temporary folder in memory when the machine allows: the suites perform hundreds of runs.
class WorkDir : public test::TempDir {
  public:
    WorkDir() : TempDir(true) {}
};

// The small demo database, generated once and copied for each case: generation is deterministic
// for one day.
class DemoTemplate {
  public:
    DemoTemplate();
    const std::filesystem::path& file() const { return file_; }

  private:
    WorkDir dir_;
    std::filesystem::path file_;
};

// A copy of a database and the server state that serves it, as start-up leaves it: the shared
// connection closed, the company settings loaded, messages written to a pickup directory.
class ServerCopy {
  public:
    explicit ServerCopy(const std::filesystem::path& source);

    ServerState state;

    // One task run of the real rule catalog, or of the given steps.
    void run();
    void run(const tasks::TaskList& steps);

    // Sends the messages through this SMTP server from now on, as if the Company row named it.
    void sendThrough(const test::SmtpTestServer& server);

    // Reads and writes through a connection of its own, as the other software would.
    db::Recordset read(std::string_view sql, const db::Params& params = {});
    void exec(std::string_view sql, const db::Params& params = {});
    std::int64_t count(std::string_view sql, const db::Params& params = {});

    // The message files written to the pickup directory so far, oldest first.
    std::vector<std::filesystem::path> pickupFiles() const;
    // Their recipients (the To header) and decoded bodies; the rest of each message is the mail
    // suite's business.
    std::vector<test::ReceivedMessage> pickedUp() const;
    // Removes the message files written so far; returns how many there were.
    std::size_t removePickedUp();

    const std::filesystem::path& file() const { return file_; }

  private:
    WorkDir dir_;
    std::filesystem::path file_;
    std::filesystem::path pickup_;
};

// An outbox row that went out: its recipient text and its part of the digest.
struct SentRow {
    std::string emailTo;
    std::string body;
};

// What the runs leave in the database, each row as text without identity values and times.
struct EndState {
    std::multiset<std::string> issues;
    std::multiset<std::string> notifications;  // AutomationServer_Emails
    std::multiset<std::string> outbox;         // every AutomationServer_EmailsSent row
    std::multiset<std::string> pending;        // outbox rows with a recipient, not yet sent
    std::multiset<std::string> contracts;      // the notification mute of each contract
    std::vector<SentRow> sent;
};

EndState ReadEndState(ServerCopy& server);

// Equal content, or the first differences on either side.
testing::AssertionResult SameRows(std::string_view what, const std::multiset<std::string>& expected,
                                  const std::multiset<std::string>& actual);

// Issues, notification records, outbox rows and mutes equal; nothing pending that `expected`
// delivered.
testing::AssertionResult SameEndState(const EndState& expected, const EndState& actual);

// Each row reached its recipients at least once: a message to the same addresses carries its body.
testing::AssertionResult AllDelivered(const std::vector<SentRow>& rows,
                                      const std::vector<test::ReceivedMessage>& messages);

// The statements one catalog step issued in a run.
struct StepSpan {
    std::string label;
    std::uint64_t first = 0;  // ordinal of its first statement, counting the run's first as 1
    std::vector<std::string> statements;
};

// Performs one task run of the real catalog and notes which statements each step issued.
std::vector<StepSpan> RunAndMeasureSteps(ServerCopy& server);

}  // namespace fas::trust
