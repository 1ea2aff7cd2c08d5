// Three hundred consecutive task runs, as a server polling all day performs them (the headless
// loop calls RunTasks with the catalog once per tick), against a database the other software
// changes between runs: dates renewed, flags set, records deleted and added, contracts muted and
// unmuted, issues closed by people. After every run the invariants hold, and the process neither
// grows nor keeps files open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>

#include "tasks/CatalogTable.h"
#include "trust/faultsFixtures.h"

namespace fas::trust {
namespace {

using db::DateTime;

constexpr int kRuns = 300;
constexpr int kWarmUpRuns = 20;
constexpr long kRssMarginKb = 2048;

struct Column {
    std::string table;
    std::string column;
};

// The date columns the catalog's date rules watch, by rule item.
std::map<std::string, Column> watchedDates() {
    std::map<std::string, Column> out;
    for (const auto& entry : tasks::CatalogTable()) {
        using P = tasks::Processor;
        if (entry.processor == P::DateExpiryRule || entry.processor == P::ContractDateRule ||
            entry.processor == P::TrainingExpiryRule) {
            out.emplace(entry.params.Item, Column{entry.params.Table, entry.params.Field});
        }
    }
    return out;
}

// Flags that exclude rows from the rules or settle their issues.
const std::vector<Column> kFlags = {
    {"Vehicle", "Suspended"},
    {"Vehicle", "NotInService"},
    {"Vehicle", "DocPAI"},
    {"Vehicle", "DOCCabCard"},
    {"Vehicle", "TankerVExpire"},
    {"Vehicle", "OtherDateEnabled"},
    {"Driver", "Terminated"},
    {"Driver", "Suspended"},
    {"Driver", "ApplicantOnly"},
    {"Driver", "DAOnly"},
    {"Driver", "CDL"},
    {"Driver", "DocMVR"},
    {"Driver", "DocMedCard"},
    {"Driver", "docPreEmpDachQuery"},
    {"Driver", "TWIC"},
    {"Driver", "H"},
    {"DrugAlcoholTest", "Completed"},
    {"DrugAlcoholTest", "CCF"},
    {"RoadsideInspection", "HaveCopy"},
    {"RoadsideInspection", "CopyUnobtainable"},
    {"Accident", "AccidentReport"},
    {"Training", "Expires"},
};

const std::vector<std::string> kItemTables = {"Vehicle",         "Driver",   "DrugAlcoholTest",
                                              "RegistrationDoc", "Training", "RoadsideInspection",
                                              "Accident"};

// Changes the database between runs the way the other software and its users do. Every choice
// comes from one seeded generator, so a seed replays the same changes on the same day.
class OtherSoftware {
  public:
    OtherSoftware(ServerCopy& server, std::uint32_t seed) : server_(server), random_(seed) {}

    // One change; returns what it did.
    std::string change() {
        switch (std::discrete_distribution<int>({40, 22, 6, 6, 16, 5, 5})(random_)) {
            case 0:
                return renewDate();
            case 1:
                return setFlag();
            case 2:
                return deleteRecord();
            case 3:
                return addRecord();
            case 4:
                return muteOrUnmute();
            case 5:
                return toggleContractStatus();
            default:
                return closeIssueByHand();
        }
    }

    int mutesDue() const { return mutesDue_; }

  private:
    int uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
    template <typename T>
    const T& pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(uniform(0, static_cast<int>(items.size()) - 1))];
    }

    std::vector<std::int64_t> ids(const std::string& table, const std::string& where = "") {
        std::vector<std::int64_t> out;
        for (db::Recordset rs = server_.read("SELECT ID FROM " + table + where + " ORDER BY ID");
             !rs.eof(); rs.moveNext()) {
            out.push_back(rs.int64("ID"));
        }
        return out;
    }

    std::string renewDate() {
        // Half the renewals are of dates someone was reminded of: the rows of open issues.
        std::vector<std::pair<Column, std::int64_t>> issued;
        for (db::Recordset rs = server_.read(
                 "SELECT AUTO_Item,ItemID FROM Issues WHERE Status='Open' AND EnteredBy='AUTO "
                 "SERVER' ORDER BY ID");
             !rs.eof(); rs.moveNext()) {
            if (const auto it = dates_.find(rs.joined("AUTO_Item")); it != dates_.end()) {
                issued.emplace_back(it->second, rs.int64("ItemID"));
            }
        }
        if (!issued.empty() && chance(0.5)) {
            const auto& [c, id] = pick(issued);
            const bool renewed = chance(0.6);
            const DateTime date =
                DateTime::todayLocal().addDays(renewed ? uniform(30, 400) : uniform(-10, 20));
            server_.exec("UPDATE " + c.table + " SET " + c.column + "=? WHERE ID=?", {date, id});
            return c.table + " " + std::to_string(id) + " " + c.column + " " +
                   (renewed ? "renewed to " : "moved to ") + date.toIso();
        }
        auto it = dates_.begin();
        std::advance(it, uniform(0, static_cast<int>(dates_.size()) - 1));
        const Column& c = it->second;
        const auto rows = ids(c.table);
        if (rows.empty()) {
            return "no " + c.table + " row to renew";
        }
        const std::int64_t id = pick(rows);
        const db::Value date = chance(0.1)
                                   ? db::Value()
                                   : db::Value(DateTime::todayLocal().addDays(uniform(-30, 120)));
        server_.exec("UPDATE " + c.table + " SET " + c.column + "=? WHERE ID=?", {date, id});
        return c.table + " " + std::to_string(id) + " " + c.column + " = " + date.debugString();
    }

    std::string setFlag() {
        const Column c = pick(kFlags);
        const auto rows = ids(c.table);
        if (rows.empty()) {
            return "no " + c.table + " row to flag";
        }
        const std::int64_t id = pick(rows);
        const int value = uniform(0, 1);
        server_.exec("UPDATE " + c.table + " SET " + c.column + "=? WHERE ID=?", {value, id});
        return c.table + " " + std::to_string(id) + " " + c.column + " = " + std::to_string(value);
    }

    std::string deleteRecord() {
        const std::string table = pick(kItemTables);
        const auto rows = ids(table);
        if (rows.size() < 3) {
            return "kept the last " + table + " rows";
        }
        const std::int64_t id = pick(rows);
        server_.exec("DELETE FROM " + table + " WHERE ID=?", {id});
        return table + " " + std::to_string(id) + " deleted";
    }

    std::string addRecord() {
        const std::int64_t id = ++added_;
        const int contract = uniform(1, 6);
        const DateTime due = DateTime::todayLocal().addDays(uniform(-5, 40));
        if (chance(0.5)) {
            server_.exec(
                "INSERT INTO Driver (ID,ContractID,LastName,FirstName,MiddleName,DLExpire,MCExpire,"
                "CDL) VALUES (?,?,'Newhire','Soak','',?,?,1)",
                {id, contract, due, due.addDays(uniform(0, 30))});
            return "Driver " + std::to_string(id) + " added";
        }
        server_.exec(
            "INSERT INTO Vehicle (ID,ContractID,Unit,VIN,UnitYear,Make,Model,PAIDue,TagExpiration) "
            "VALUES (?,?,'Soak','1FUJSOAK000000000','2024','Volvo','VNL',?,?)",
            {id, contract, due, due.addDays(uniform(0, 30))});
        return "Vehicle " + std::to_string(id) + " added";
    }

    std::string muteOrUnmute() {
        const int contract = uniform(1, 6);
        const DateTime now = DateTime::nowLocal();
        const std::string sql =
            "UPDATE ServiceContract SET DisableEmailNotifications=?,EnableNotificationsAtTime=? "
            "WHERE ID=?";
        switch (uniform(0, 3)) {
            case 0:
                server_.exec(sql, {0, nullptr, contract});
                return "contract " + std::to_string(contract) + " unmuted";
            case 1:
                server_.exec(sql, {1, nullptr, contract});
                return "contract " + std::to_string(contract) + " muted until further notice";
            case 2:
                ++mutesDue_;
                server_.exec(sql, {1, now.addSeconds(-uniform(1, 7200)), contract});
                return "contract " + std::to_string(contract) + " muted until a moment ago";
            default:
                server_.exec(sql, {1, now.addDays(uniform(1, 3)), contract});
                return "contract " + std::to_string(contract) + " muted for days";
        }
    }

    std::string toggleContractStatus() {
        const int contract = uniform(1, 6);
        const char* status = chance(0.7) ? "Active" : "Inactive";
        server_.exec("UPDATE ServiceContract SET Status=? WHERE ID=?", {status, contract});
        return "contract " + std::to_string(contract) + " " + status;
    }

    std::string closeIssueByHand() {
        const auto open = ids("Issues", " WHERE Status='Open'");
        if (open.empty()) {
            return "no open issue to close";
        }
        const std::int64_t id = pick(open);
        server_.exec("UPDATE Issues SET Status='Closed',EditedBy='clerk' WHERE ID=?", {id});
        return "issue " + std::to_string(id) + " closed by a clerk";
    }

    ServerCopy& server_;
    std::mt19937 random_;
    const std::map<std::string, Column> dates_ = watchedDates();
    std::int64_t added_ = 100000;
    int mutesDue_ = 0;
};

// What a run must leave behind, whatever the changes before it.
testing::AssertionResult invariantsHold(ServerCopy& server, const DateTime& runStart,
                                        std::size_t messagesWritten) {
    const ServerState& state = server.state;
    if (!state.report.errors.empty()) {
        return testing::AssertionFailure() << "run error: " << state.report.errors.front();
    }
    if (messagesWritten != static_cast<std::size_t>(state.counters.emails())) {
        return testing::AssertionFailure()
               << messagesWritten << " messages written, " << state.counters.emails() << " counted";
    }
    db::Recordset twins = server.read(
        "SELECT Category,AUTO_Item,ItemID,CONVERT(VARCHAR,Auto_Date,101) AS AutoDay,COUNT(*) AS N "
        "FROM Issues WHERE Status='Open' AND EnteredBy='AUTO SERVER' GROUP BY Category,AUTO_Item,"
        "ItemID,CONVERT(VARCHAR,Auto_Date,101) HAVING COUNT(*)>1");
    if (!twins.eof()) {
        return testing::AssertionFailure()
               << twins.int64("N") << " open automatic issues for " << twins.joined("Category")
               << " " << twins.joined("ItemID") << " '" << twins.joined("AUTO_Item") << "' of "
               << twins.joined("AutoDay");
    }
    db::Recordset notified = server.read(
        "SELECT Category,Item,ItemID,CONVERT(VARCHAR,ItemKey,101) AS KeyDay,COUNT(*) AS N FROM "
        "AutomationServer_Emails GROUP BY Category,Item,ItemID,CONVERT(VARCHAR,ItemKey,101) "
        "HAVING COUNT(*)>1");
    if (!notified.eof()) {
        return testing::AssertionFailure()
               << notified.int64("N") << " notification records for " << notified.joined("Item")
               << " of " << notified.joined("Category") << " " << notified.joined("ItemID")
               << " dated " << notified.joined("KeyDay");
    }
    if (const auto n = server.count(
            "SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE (EmailSent=0 AND NOT "
            "DateSent IS NULL) OR (EmailSent<>0 AND DateSent IS NULL)");
        n != 0) {
        return testing::AssertionFailure() << n << " outbox rows both pending and marked sent";
    }
    if (const auto n = server.count(
            "SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>''");
        n != 0) {
        return testing::AssertionFailure() << n << " outbox rows left pending";
    }
    if (const auto n = server.count(
            "SELECT COUNT(*) FROM ServiceContract WHERE NOT EnableNotificationsAtTime IS NULL AND "
            "EnableNotificationsAtTime<=?",
            {runStart});
        n != 0) {
        return testing::AssertionFailure() << n << " contract mutes due before the run still set";
    }
    return testing::AssertionSuccess();
}

struct Footprint {
    long rssKb = 0;
    std::size_t fds = 0;
};

Footprint footprint() {
    Footprint f;
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    f.rssKb = resident * (sysconf(_SC_PAGESIZE) / 1024);
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++f.fds;
    }
    return f;
}

std::uint32_t soakSeed() {
    if (const char* given = std::getenv("FAS_SOAK_SEED")) {
        return static_cast<std::uint32_t>(std::stoul(given));
    }
    return std::random_device{}();
}

TEST(Soak, ThreeHundredRunsKeepTheInvariantsAndAFlatFootprint) {
    const std::uint32_t seed = soakSeed();
    std::cout << "Soak seed " << seed << " (set FAS_SOAK_SEED to replay)" << std::endl;
    RecordProperty("seed", std::to_string(seed));
    SCOPED_TRACE("FAS_SOAK_SEED=" + std::to_string(seed));

    DemoTemplate demo;
    ServerCopy server(demo.file());
    OtherSoftware other(server, seed);
    std::mt19937 pace(seed ^ 0x5eedU);
    std::deque<std::string> recent;  // the changes before the last runs, for the failure message

    int created = 0;
    int closed = 0;
    int emails = 0;
    Footprint warm;
    Footprint last;
    for (int run = 1; run <= kRuns; ++run) {
        const DateTime start = DateTime::nowLocal();
        server.run();
        const std::size_t written = server.removePickedUp();
        if (run > 1) {  // the work the changes caused, not the first run's backlog
            created += server.state.counters.issuesCreated();
            closed += server.state.counters.issuesClosed();
            emails += server.state.counters.emails();
        }

        const auto held = invariantsHold(server, start, written);
        if (!held) {
            std::string changes;
            for (const auto& change : recent) {
                changes += "\n  " + change;
            }
            FAIL() << "after run " << run << ": " << held.message()
                   << "\nthe changes before it:" << changes;
        }
        last = footprint();
        if (run == kWarmUpRuns) {
            warm = last;
        }

        const int n = std::uniform_int_distribution<int>(1, 4)(pace);
        for (int i = 0; i < n; ++i) {
            recent.push_back("before run " + std::to_string(run + 1) + ": " + other.change());
            if (recent.size() > 12) {
                recent.pop_front();
            }
        }
    }

    std::cout << "Soak: " << created << " issues created, " << closed << " closed, " << emails
              << " e-mails; resident " << warm.rssKb << " kB after " << kWarmUpRuns << " runs, "
              << last.rssKb << " kB after " << kRuns << "; " << warm.fds << " and " << last.fds
              << " open files" << std::endl;
    // The changes kept the runs busy.
    EXPECT_GT(created, 20);
    EXPECT_GT(closed, 30);
    EXPECT_GT(emails, 40);
    EXPECT_GT(other.mutesDue(), 5);

    EXPECT_LE(last.rssKb - warm.rssKb, kRssMarginKb);
    EXPECT_EQ(last.fds, warm.fds);
}

}  // namespace
}  // namespace fas::trust
