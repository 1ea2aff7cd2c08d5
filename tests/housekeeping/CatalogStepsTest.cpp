#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "housekeeping/ClosingPasses.h"
#include "housekeeping/IssueRows.h"
#include "tasks/CatalogTable.h"

// Every closing step of the rule catalog, with the arguments the task run passes, on a schema
// database: the record meeting the step's condition has its issue closed, a record not meeting it
// keeps its.
namespace fas::housekeeping {
namespace {

using issue_rows::addIssue;
using issue_rows::closedWithNote;
using issue_rows::untouched;

// Column values of an item row whose issue the step closes, and of one whose issue stays open.
struct RowValues {
    std::string closes;
    std::string keeps;
};

std::string tanker(const std::string& letter, int tracked) {
    return "NotInService=1,Tanker" + letter + "Expire=" + std::to_string(tracked);
}

const std::map<int, RowValues>& rowValues() {
    static const std::map<int, RowValues> values = {
        {20, {"NotInService=1", ""}},
        {21, {"NotInService=1", ""}},
        {22, {"NotInService=1", "Suspended=1"}},
        {23, {"NotInService=1", "Suspended=1"}},
        {24, {tanker("V", 0), tanker("V", 1)}},
        {25, {tanker("K", 0), tanker("K", 1)}},
        {26, {tanker("I", 0), tanker("I", 1)}},
        {27, {tanker("P", 0), tanker("P", 1)}},
        {28, {tanker("E", 0), tanker("E", 1)}},
        {29, {"PassportExpire=0", "PassportExpire=1"}},
        {30, {"Terminated=1", "Suspended=1"}},
        {31, {"ApplicantOnly=1", ""}},
        {32, {"DAOnly=1", ""}},
        {33, {"Terminated=1", ""}},
        {34, {"Terminated=1", ""}},
        {35, {"TWIC=0", "TWIC=1"}},
        {36, {"H=0", "H=1"}},
        {37, {"OtherDateEnabled=NULL", "OtherDateEnabled=1"}},
        {38, {"PreEmp=1", ""}},
        {39, {"CDLSuspended=0", "CDLSuspended=1"}},
        {58, {"CDL=1,docPreEmpDachQuery=1", "CDL=1,docPreEmpDachQuery=0"}},
        {59, {"N=1", ""}},
        {68, {"Completed=1,CCF=1", "Completed=1,CCF=0"}},
        {69, {"Completed=0", "Completed=1,Results=0"}},
        {70, {"HaveCopy=1", "CopyUnobtainable=1"}},
        {71, {"CopyUnobtainable=1", "HaveCopy=1"}},
        {72, {"EvidenceOfRepair=1", "HaveCopy=1"}},
        {73, {"CopyUnobtainable=1", "CopyUnobtainable=NULL,EvidenceOfRepair=1"}},
        {74, {"AccidentReport=1,Recordable=1", "AccidentReport=0,Recordable=1"}},
        {76, {"Completed=0,Status='Refusal'", "Completed=0,Status='Positive'"}},
    };
    return values;
}

// The catalog's closing steps with arguments. The document steps (40-57, 60-67) close once their
// own Field is set.
std::vector<tasks::CatalogEntry> closingSteps() {
    std::vector<tasks::CatalogEntry> steps;
    for (const tasks::CatalogEntry& entry : tasks::CatalogTable()) {
        if (entry.processor == tasks::Processor::CloseExcludedIssues ||
            entry.processor == tasks::Processor::CloseResolvedIssues) {
            steps.push_back(entry);
        }
    }
    return steps;
}

RowValues rowValuesOf(const tasks::CatalogEntry& entry) {
    const auto found = rowValues().find(entry.step);
    if (found != rowValues().end()) {
        return found->second;
    }
    return {entry.params.Field + "=1", entry.params.Field + "=0"};
}

class CatalogStepTest : public ::testing::TestWithParam<tasks::CatalogEntry> {
  protected:
    test::OpenState s;
};

TEST(CatalogSteps, EveryClosingStepIsCovered) {
    const std::vector<tasks::CatalogEntry> steps = closingSteps();
    ASSERT_EQ(steps.size(), 56u);  // steps 20-74 and 76
    EXPECT_EQ(steps.front().step, 20);
    EXPECT_EQ(steps.back().step, 76);
}

TEST_P(CatalogStepTest, ClosesTheIssueOfTheRecordMeetingItsCondition) {
    const tasks::CatalogEntry& step = GetParam();
    const RuleParameters& p = step.params;
    const RowValues values = rowValuesOf(step);
    s.exec(
        "INSERT INTO AutomationServer_Alert (Item,Category,EmailContractManager,"
        "EmailContractSpecialist,EmailClient,DaysInAdvance,CreateIssue,"
        "CreateIssueDaysInAdvance,IssuePriority,AutoCloseIssue) VALUES (?,'c',1,1,1,30,1,7,'',1)",
        {p.Item});
    for (const auto& [id, columns] : {std::pair{1, values.closes}, std::pair{2, values.keeps}}) {
        s.exec("INSERT INTO " + p.Table + " (ID) VALUES (?)", {id});
        if (!columns.empty()) {
            s.exec("UPDATE " + p.Table + " SET " + columns + " WHERE ID=?", {id});
        }
        addIssue(s, {.id = id, .item = p.Item, .itemId = id, .category = p.Category});
    }
    const auto pass = step.processor == tasks::Processor::CloseExcludedIssues
                          ? &CloseExcludedIssues
                          : &CloseResolvedIssues;

    pass(s.state, p);
    EXPECT_TRUE(closedWithNote(s, 1));
    EXPECT_TRUE(untouched(s, 2));
    pass(s.state, p);
    EXPECT_EQ(s.state.counters.issuesClosed(), 1);
}

std::string stepName(const ::testing::TestParamInfo<tasks::CatalogEntry>& step) {
    return "Step" + std::to_string(step.param.step);
}

INSTANTIATE_TEST_SUITE_P(ClosingSteps, CatalogStepTest, ::testing::ValuesIn(closingSteps()),
                         stepName);

// The steps without arguments run on a database holding a bit of everything.
TEST(CatalogSteps, PassesWithoutArgumentsRunOnTheSchema) {
    test::OpenState s;
    addIssue(s, {.id = 1, .item = "Safety Score: HOS", .itemId = 5, .category = "Safety Score"});
    addIssue(s, {.id = 2, .item = "DL Expire", .itemId = 7});
    addIssue(s, {.id = 3, .item = "DL Expire", .itemId = 7});
    s.exec("INSERT INTO Driver (ID) VALUES (7)");
    s.exec("UPDATE Issues SET EnteredDate=DATEADD(day,-40,GETDATE())");

    CloseAgedSafetyScoreIssues(s.state);  // step 75
    EXPECT_EQ(issue_rows::statusOf(s, 1), "Non-Resolvable");
    CloseOrphanedIssues(s.state);  // step 82: safety score 5 does not exist
    EXPECT_EQ(issue_rows::statusOf(s, 1), "Closed");
    CloseDuplicateIssues(s.state);  // step 83
    EXPECT_TRUE(closedWithNote(s, 2));
    EXPECT_TRUE(untouched(s, 3));
    EXPECT_EQ(s.state.counters.issuesClosed(), 2);
}

}  // namespace
}  // namespace fas::housekeeping
