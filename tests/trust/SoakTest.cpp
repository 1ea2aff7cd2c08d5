// Consecutive task runs, as a server polling all day performs them, against a database the other
// software changes between runs: dates renewed, flags set, records deleted, contracts muted and
// unmuted, issues closed by people. After every run the invariants hold and no file is left open.

#include <random>

#include <gtest/gtest.h>

#include "tasks/CatalogTable.h"
#include "trust/TrustSite.h"

namespace fas::trust {
namespace {

constexpr int kRuns = 30;

testing::AssertionResult invariantsHold(ServerCopy& server, const db::DateTime& start,
                                        std::size_t written) {
    if (!server.state.report.errors.empty()) {
        return testing::AssertionFailure() << "run error: " << server.state.report.errors.front();
    }
    if (written != static_cast<std::size_t>(server.state.counters.emails())) {
        return testing::AssertionFailure()
               << written << " messages written, " << server.state.counters.emails() << " counted";
    }
    // clang-format off
    const std::vector<std::pair<const char*, std::string>> never = {
        {"two open automatic issues of one item and day", "SELECT COUNT(*) FROM (SELECT 1 FROM Issues WHERE Status='Open' "
         "AND EnteredBy='AUTO SERVER' GROUP BY Category,AUTO_Item,ItemID,CONVERT(VARCHAR,Auto_Date,101) HAVING COUNT(*)>1)"},
        {"two notification records of one item and day", "SELECT COUNT(*) FROM (SELECT 1 FROM AutomationServer_Emails "
         "GROUP BY Category,Item,ItemID,CONVERT(VARCHAR,ItemKey,101) HAVING COUNT(*)>1)"},
        {"outbox rows left pending", "SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>''"},
        {"outbox rows both pending and marked sent",
         "SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE (EmailSent=0) <> (DateSent IS NULL)"},
        {"contract mutes due before the run still set",
         "SELECT COUNT(*) FROM ServiceContract WHERE EnableNotificationsAtTime<=?"}};
    // clang-format on
    for (const auto& [what, sql] : never) {
        if (const auto n = server.count(sql, sql.ends_with("?") ? db::Params{start} : db::Params{});
            n != 0) {
            return testing::AssertionFailure() << n << " " << what;
        }
    }
    return testing::AssertionSuccess();
}

std::size_t openFiles() {
    const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(
        std::distance(std::filesystem::begin(fds), std::filesystem::end(fds)));
}

TEST(Soak, RunsAmidChangesKeepTheInvariants) {
    // A fixed seed replays the same changes on the same day; FAS_SOAK_SEED tries others.
    const char* given = std::getenv("FAS_SOAK_SEED");
    const std::uint32_t seed =
        given != nullptr ? static_cast<std::uint32_t>(std::stoul(given)) : 20261207;
    SCOPED_TRACE("FAS_SOAK_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    std::vector<std::pair<std::string, std::string>> dates;
    for (const auto& e : tasks::CatalogTable()) {
        if (e.processor == tasks::Processor::DateExpiryRule ||
            e.processor == tasks::Processor::ContractDateRule ||
            e.processor == tasks::Processor::TrainingExpiryRule) {
            dates.emplace_back(e.params.Table, e.params.Field);
        }
    }
    const std::vector<std::pair<const char*, const char*>> flags = {
        // clang-format off
        {"Vehicle", "NotInService"}, {"Vehicle", "Suspended"}, {"Driver", "Terminated"}, {"Driver", "DocMVR"},
        {"Driver", "CDL"}, {"Training", "Expires"}, {"DrugAlcoholTest", "Completed"}};  // clang-format on
    ServerCopy server;
    std::size_t files = 0, warmFds = 0;
    int busy = 0;
    for (int run = 1; run <= kRuns; ++run) {
        for (int change = pick(1, 4); change > 0; --change) {
            const auto now = db::DateTime::nowLocal();
            switch (pick(0, 4)) {
                case 0: {
                    const auto& [table, field] = dates[static_cast<std::size_t>(
                        pick(0, static_cast<int>(dates.size()) - 1))];
                    server.exec("UPDATE " + table + " SET " + field + "=? WHERE ID=?",
                                {db::DateTime::todayLocal().addDays(pick(-5, 20)), pick(1, 8)});
                    break;
                }
                case 1: {
                    const auto& [table, flag] = flags[static_cast<std::size_t>(
                        pick(0, static_cast<int>(flags.size()) - 1))];
                    server.exec(std::string("UPDATE ") + table + " SET " + flag + "=? WHERE ID=?",
                                {pick(0, 1), pick(1, 8)});
                    break;
                }
                case 2:
                    server.exec(pick(0, 1) ? "DELETE FROM Driver WHERE ID=?"
                                           : "DELETE FROM Vehicle WHERE ID=?",
                                {pick(1, 30)});
                    break;
                case 3:
                    server.exec(
                        "UPDATE ServiceContract SET "
                        "DisableEmailNotifications=1,EnableNotificationsAtTime=? WHERE ID=?",
                        {now.addSeconds(pick(-120, 120)), pick(1, 6)});
                    break;
                default:
                    server.exec("UPDATE Issues SET Status='Closed',EditedBy='ann' WHERE ID=?",
                                {pick(1, 60)});
            }
        }
        const auto start = db::DateTime::nowLocal();
        server.run();
        const std::size_t now = server.pickedUp().size();
        ASSERT_TRUE(invariantsHold(server, start, now - files)) << "after run " << run;
        const auto& c = server.state.counters;
        busy += c.issuesCreated() + c.issuesClosed() + server.state.report.notificationsQueued > 0;
        files = now;
        if (run == 3) {
            warmFds = openFiles();
        }
    }
    EXPECT_EQ(openFiles(), warmFds);
    EXPECT_GE(busy, 3) << "the changes gave the runs work";
}

}  // namespace
}  // namespace fas::trust
