#pragma once

// What the fault suites share: a copy of the demo database, the content task runs leave behind
// (compared without the identity values and times that differ from one run to the next), and the
// clean runs that must complete a faulted one.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/Site.h"

namespace fas::trust {

// A copy of the demo database as start-up leaves it.
struct ServerCopy : test::Site {
    ServerCopy() : Site(test::DemoTemplate()) {}
};

// The lines of `text` in sorted order: rows whose order no run decides, compared with EXPECT_EQ,
// which shows the lines that differ.
std::string SortedLines(const std::string& text);

// Issues, notification records, outbox rows and contract mutes as sorted text rows, and the rows
// sent (addressees, body).
struct EndState {
    std::string rows;
    std::vector<std::pair<std::string, std::string>> sent;
};
EndState ReadEndState(ServerCopy& server);

// Each sent row reached its recipients at least once: a message to the same addresses carries
// its body.
testing::AssertionResult AllDelivered(const EndState& end,
                                      const std::vector<test::ReceivedMessage>& messages);

// What every fault walk ends with: `runs` runs after the faulted one, none with an error, leave
// the database as `expected`, every notification delivered among `received()` (by default the
// pickup folder's messages).
void ExpectCleanRunsEndAs(ServerCopy& server, int runs, const EndState& expected,
                          const std::function<std::vector<test::ReceivedMessage>()>& received = {});

// The statements each catalog step issued in one run of the real catalog.
struct StepSpan {
    std::string label;
    std::uint64_t first = 0;  // ordinal of its first statement in the run, from 1
    std::vector<std::string> statements;
};
std::vector<StepSpan> RunAndMeasureSteps(ServerCopy& server);

// Two clean runs of the demo, made once per test program: the issue-due rule sees the issues
// raised after it only in the next run, so two runs settle a database.
struct Reference {
    ServerCopy server;
    std::vector<StepSpan> steps = RunAndMeasureSteps(server);
    RunCounters firstRun = server.state.counters;
    std::vector<std::string> errors = server.state.report.errors;  // of both runs
    EndState end;                                                  // after the second
};
const Reference& TheReference();

}  // namespace fas::trust
