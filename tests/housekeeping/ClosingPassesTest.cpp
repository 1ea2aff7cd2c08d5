// The closing passes, each run as the catalog runs it, on issues as earlier runs and people left
// them.

#include <map>
#include <regex>

#include <gtest/gtest.h>

#include "support/ComplianceSite.h"

namespace fas::test {
namespace {

struct ClosingSite : ComplianceSite {
    // An issue whose description is "Issue <id>", last edited by a user.
    void issue(std::int64_t id, const std::string& item, const db::Value& itemId,
               const Columns& overrides = {}) {
        // clang-format off
        addRow(s, "Issues", with({{"ID", id}, {"ContractID", 1}, {"Category", "Driver"}, {"ItemID", itemId},
            {"ItemDesc", "Smith, Ann"}, {"Description", "Issue " + std::to_string(id)}, {"Status", "Open"},
            {"EnteredBy", "AUTO SERVER"}, {"EnteredDate", "2026-01-02"}, {"EditedBy", "ann"}, {"AUTO_Item", item}},
            overrides));
        // clang-format on
    }
    // "Closed": closed by the server with one close note; "untouched": as written, or with only
    // its status changed ("<status> untouched"); "badly <status>": edited otherwise.
    std::string outcome(std::int64_t id) {
        auto rs = s.db().query("SELECT Status,Description,EditedBy FROM Issues WHERE ID=?", {id});
        const std::string status = rs.joined("Status"), original = "Issue " + std::to_string(id);
        if (rs.joined("Description") == original && rs.joined("EditedBy") == "ann") {
            return status == "Open" ? "untouched" : status + " untouched";
        }
        const bool oneNote =
            std::regex_match(rs.joined("Description"),
                             std::regex(original + "\r\n\r\n\\(AUTO CLOSED [^()]+\\)")) &&
            rs.joined("EditedBy") == "AUTO SERVER";
        return (oneNote ? "" : "badly ") + status;
    }
    // The issues the server edited or whose status is no longer Open, as "ID|Status|".
    std::string changed() {
        return rows(
            "SELECT ID,Status FROM Issues WHERE Status<>'Open' OR EditedBy<>'ann' ORDER BY ID");
    }
};

struct ClosingPasses : ::testing::Test, ClosingSite {};

// Every closing step of the catalog: the record meeting the step's condition has its issue closed,
// a record not meeting it keeps its. Steps not listed close once their own Field is set.
TEST(ClosingStep, EachClosesTheIssueOfTheRecordMeetingItsCondition) {
    const auto tanker = [](const std::string& l, int tracked) {
        return "NotInService=1,Tanker" + l + "Expire=" + std::to_string(tracked);
    };
    // clang-format off
    const std::map<int, std::pair<std::string, std::string>> values = {
        {20, {"NotInService=1", ""}}, {21, {"NotInService=1", ""}}, {22, {"NotInService=1", "Suspended=1"}},
        {23, {"NotInService=1", "Suspended=1"}}, {24, {tanker("V", 0), tanker("V", 1)}},
        {25, {tanker("K", 0), tanker("K", 1)}}, {26, {tanker("I", 0), tanker("I", 1)}},
        {27, {tanker("P", 0), tanker("P", 1)}}, {28, {tanker("E", 0), tanker("E", 1)}},
        {29, {"PassportExpire=0", "PassportExpire=1"}}, {30, {"Terminated=1", "Suspended=1"}},
        {31, {"ApplicantOnly=1", ""}}, {32, {"DAOnly=1", ""}}, {33, {"Terminated=1", ""}}, {34, {"Terminated=1", ""}},
        {35, {"TWIC=0", "TWIC=1"}}, {36, {"H=0", "H=1"}}, {37, {"OtherDateEnabled=NULL", "OtherDateEnabled=1"}},
        {38, {"PreEmp=1", ""}}, {39, {"CDLSuspended=0", "CDLSuspended=1"}},
        {58, {"CDL=1,docPreEmpDachQuery=1", "CDL=1,docPreEmpDachQuery=0"}}, {59, {"N=1", ""}},
        {68, {"Completed=1,CCF=1", "Completed=1,CCF=0"}}, {69, {"Completed=0", "Completed=1,Results=0"}},
        {70, {"HaveCopy=1", "CopyUnobtainable=1"}}, {71, {"CopyUnobtainable=1", "HaveCopy=1"}},
        {72, {"EvidenceOfRepair=1", "HaveCopy=1"}}, {73, {"CopyUnobtainable=1", "CopyUnobtainable=NULL,EvidenceOfRepair=1"}},
        {74, {"AccidentReport=1,Recordable=1", "AccidentReport=0,Recordable=1"}},
        {76, {"Completed=0,Status='Refusal'", "Completed=0,Status='Positive'"}}};
    // clang-format on
    int walked = 0;
    for (const tasks::CatalogEntry& step : tasks::CatalogTable()) {
        if (step.processor != tasks::Processor::CloseExcludedIssues &&
            step.processor != tasks::Processor::CloseResolvedIssues) {
            continue;
        }
        SCOPED_TRACE("step " + std::to_string(step.step));
        ++walked;
        ClosingSite t;
        const RuleParameters& p = step.params;
        const auto found = values.find(step.step);
        const auto [closes, keeps] =
            found != values.end() ? found->second : std::pair{p.Field + "=1", p.Field + "=0"};
        t.alert(p.Item);
        for (const auto& [id, columns] : {std::pair{1, closes}, std::pair{2, keeps}}) {
            t.s.exec("INSERT INTO " + p.Table + " (ID) VALUES (?)", {id});
            if (!columns.empty()) {
                t.s.exec("UPDATE " + p.Table + " SET " + columns + " WHERE ID=?", {id});
            }
            t.issue(id, p.Item, id, {{"Category", p.Category}});
        }
        t.run(step.step);
        EXPECT_EQ(t.outcome(1), "Closed");
        EXPECT_EQ(t.outcome(2), "untouched");
        t.run(step.step);
        EXPECT_EQ(t.s.state.counters.issuesClosed(), 1);
    }
    EXPECT_GE(walked, static_cast<int>(values.size()));
}

// The exclusion passes obey the item's AutoCloseIssue and leave user issues, other items and
// closed issues alone; an issue without description keeps its close note (Null + text is Null).
TEST_F(ClosingPasses, ExclusionObeysTheSettingsAndLeavesOtherIssuesAlone) {
    s.exec("INSERT INTO Vehicle (ID,Unit,NotInService) VALUES (1,'T1',1),(2,'T2',0)");
    issue(1, "PAI Due", 1, {{"Category", "Vehicle"}});
    issue(2, "PAI Due", 1, {{"Category", "Vehicle"}});
    issue(3, "PAI Due", 2);
    issue(4, "PAI Due", 1, {{"EnteredBy", "ann"}});
    issue(5, "Tag Expiration", 99);
    issue(6, "PAI Due", 1, {{"Status", "Closed"}});
    alert("PAI Due", {{"AutoCloseIssue", 0}});
    run(20);
    EXPECT_EQ(changed(), "6|Closed|\n");
    s.exec("UPDATE AutomationServer_Alert SET AutoCloseIssue=1");
    issue(8, "PAI Due", 1, {{"Category", "Vehicle"}, {"Description", db::Value()}});
    run(20);
    EXPECT_EQ(changed(), "1|Closed|\n2|Closed|\n6|Closed|\n8|Closed|\n");
    EXPECT_EQ(outcome(1) + ", " + outcome(2) + ", " + outcome(6),
              "Closed, Closed, Closed untouched");
    EXPECT_TRUE(s.scalar("SELECT Description FROM Issues WHERE ID=8")
                    .joined()
                    .starts_with("\r\n\r\n(AUTO CLOSED "));
}

// Safety-score issues of the server age out after 30 days by the database clock; issues whose
// record is gone are closed (status only, uncounted); of look-alike open issues all but the
// newest close, groups differing in one matched column (or Null in it) being no group.
TEST_F(ClosingPasses, AgedSafetyScoreOrphansAndDuplicates) {
    for (const int id : {1, 2, 3}) {
        issue(id, "Safety Score: HOS", 5, {{"Category", "Safety Score"}});
    }
    s.exec("UPDATE Issues SET EnteredDate=DATEADD(day,-31,GETDATE()) WHERE ID IN (1,3)");
    s.exec("UPDATE Issues SET EnteredDate=DATEADD(day,-29,GETDATE()), ItemID=NULL WHERE ID=2");
    s.exec("UPDATE Issues SET EnteredBy='ann' WHERE ID=3");
    run(75);
    EXPECT_EQ(changed(), "1|Non-Resolvable|\n");
    EXPECT_EQ(outcome(1), "Non-Resolvable");

    s.exec("INSERT INTO Driver (ID,LastName) VALUES (1,'Kept')");
    int id = 100;
    for (const char* category : {"Vehicle", "Roadside Inspection", "Safety Score", "Accident",
                                 "Drug & Alcohol Test", "Registration Doc", "Driver"}) {
        issue(id++, "x", 99,
              {{"Category", category}, {"Status", "Non-Resolvable"}, {"EnteredBy", "ann"}});
    }
    for (const char* category :
         {"Registration Document", "Drug And Alcohol Test", "Contract", "Training"}) {
        issue(id++, "x", 99, {{"Category", category}});
    }
    issue(id++, "DL Expire", 1);
    const int closedBefore = s.state.counters.issuesClosed();
    run(82);
    for (int i = 100; i < id; ++i) {
        EXPECT_EQ(outcome(i), i < 107 ? "Closed untouched" : "untouched") << i;
    }
    EXPECT_EQ(outcome(1), "Closed") << "the aged safety-score issue of a gone score";
    EXPECT_EQ(s.state.counters.issuesClosed(), closedBefore);

    s.exec("DELETE FROM Issues");
    for (const auto& [issueId, category] :
         {std::pair{10, "Driver"}, {11, "Training"}, {12, "Driver"}, {13, "Training"}}) {
        issue(issueId, "DL Expire", 7, {{"Category", category}});
    }
    issue(5, "DL Expire", 7, {{"Status", "Closed"}});
    for (const auto& [first, column] :
         {std::pair{20, "ItemID"}, {30, "ContractID"}, {32, "ItemDesc"}}) {
        issue(first, "DL Expire", 8, {{column, db::Value()}});
        issue(first + 1, "DL Expire", 8, {{column, db::Value()}});
    }
    issue(40, "MVR Expire", 7);
    run(83);
    run(83);
    EXPECT_EQ(changed(), "5|Closed|\n10|Closed|\n11|Closed|\n");
    EXPECT_EQ(outcome(10) + ", " + outcome(11), "Closed, Closed");
    EXPECT_EQ(s.state.counters.issuesClosed(), closedBefore + 2);
}

}  // namespace
}  // namespace fas::test
