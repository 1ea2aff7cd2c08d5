#pragma once

// What the fault, hostile-input and soak suites share: a copy of the demo database served as
// start-up leaves it, and the content task runs leave behind, compared without the identity
// values and times that differ from one run to the next.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/SmtpTestServer.h"
#include "support/TestDatabase.h"
#include "tasks/RunTasks.h"

namespace fas::trust {

class ServerCopy {
  public:
    explicit ServerCopy(const std::filesystem::path& source = test::DemoTemplate());
    ServerState state;

    // One task run of the real catalog, or of the given steps.
    void run();
    void run(const tasks::TaskList& steps);
    void sendThrough(const test::SmtpTestServer& server);

    // Through a connection of its own, as the other software would.
    db::Recordset read(std::string_view sql, const db::Params& params = {});
    void exec(std::string_view sql, const db::Params& params = {});
    std::int64_t count(std::string_view sql, const db::Params& params = {});

    // The messages written to the pickup directory so far, oldest first: To header and body.
    std::vector<test::ReceivedMessage> pickedUp() const;

  private:
    test::TempDir dir_{true};
    std::filesystem::path file_;
};

struct SentRow {
    std::string emailTo, body;
};

// Issues, notification records, outbox rows and contract mutes as text rows.
struct EndState {
    std::multiset<std::string> rows;
    std::vector<SentRow> sent;
};
EndState ReadEndState(ServerCopy& server);
testing::AssertionResult SameEndState(const EndState& expected, const EndState& actual);

// Each sent row reached its recipients at least once: a message to the same addresses carries
// its body.
testing::AssertionResult AllDelivered(const std::vector<SentRow>& rows,
                                      const std::vector<test::ReceivedMessage>& messages);

// The statements each catalog step issued in one run of the real catalog.
struct StepSpan {
    std::string label;
    std::uint64_t first = 0;  // ordinal of its first statement in the run, from 1
    std::vector<std::string> statements;
};
std::vector<StepSpan> RunAndMeasureSteps(ServerCopy& server);

}  // namespace fas::trust
