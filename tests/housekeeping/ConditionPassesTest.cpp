#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "housekeeping/ClosingPasses.h"
#include "housekeeping/IssueRows.h"
#include "rules/AlertStatements.h"

namespace fas::housekeeping {
namespace {

using issue_rows::addIssue;
using issue_rows::closedWithNote;
using issue_rows::untouched;

const RuleParameters kPaiDue{"Vehicle", "PAIDue",  "'Unit: ' + Vehicle.Unit",
                             "Vehicle", "PAI Due", " Vehicle.NotInService=1"};
const RuleParameters kDlExpire{
    "Driver", "DLExpire",  "'Driver: ' + Driver.LastName",
    "Driver", "DL Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"};
const RuleParameters kOtherDate{
    "Driver",
    "OtherDateEnabled",
    "'Driver: ' + Driver.LastName",
    "Driver",
    "Other Date Expire",
    " (Driver.Terminated=1 OR ISNULL(Driver.OtherDateEnabled,0)=0 OR Driver.ApplicantOnly=1 OR "
    "Driver.DAOnly=1)"};
const RuleParameters kDocMvr{
    "Driver",
    "DocMVR",
    "'Driver: ' + Driver.LastName",
    "Driver",
    "Document:MVR",
    " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocMVR=1)"};

class ConditionPassesTest : public ::testing::Test {
  protected:
    void addSettings(const std::string& item, int daysInAdvance, int autoClose) {
        s.exec(
            "INSERT INTO AutomationServer_Alert (Item,Category,EmailContractManager,"
            "EmailContractSpecialist,EmailClient,DaysInAdvance,CreateIssue,"
            "CreateIssueDaysInAdvance,IssuePriority,AutoCloseIssue) VALUES "
            "(?,'c',0,0,0,?,1,7,'High',?)",
            {item, daysInAdvance, autoClose});
    }
    // Statements run from now on.
    void recordStatements() {
        s.db().setStatementObserver(
            [this](std::string_view sql, const db::Params&) { statements.emplace_back(sql); });
    }
    ServerState& state() { return s.state; }

    test::OpenState s;
    std::vector<std::string> statements;
};

TEST_F(ConditionPassesTest, ExclusionObeysTheItemsAutoCloseSetting) {
    s.exec("INSERT INTO Vehicle (ID,Unit,NotInService) VALUES (1,'T1',1)");
    addIssue(s, {.id = 1, .item = "PAI Due", .itemId = 1, .category = "Vehicle"});
    addSettings("Earlier", 5, 1);
    addSettings("PAI Due", 45, 0);
    rules::LoadAlertSettings(state(), "Earlier");

    recordStatements();
    CloseExcludedIssues(state(), kPaiDue);
    EXPECT_EQ(statements.size(), 1u) << "only the settings lookup runs";
    EXPECT_TRUE(untouched(s, 1));
    EXPECT_EQ(state().counters.issuesClosed(), 0);
    // The lookup refreshed every setting, for the rules that follow.
    EXPECT_EQ(state().rules.settings.DaysInAdvance, 45);
    EXPECT_FALSE(state().rules.settings.AutoCloseIssue);
    EXPECT_EQ(state().rules.params.Item, "PAI Due");
    EXPECT_EQ(state().rules.params.DescriptionExpr, kPaiDue.DescriptionExpr);

    // An item without a settings row works with what the previous lookup left: off here...
    RuleParameters noRow = kPaiDue;
    noRow.Item = "No Row";
    addIssue(s, {.id = 2, .item = "No Row", .itemId = 1, .category = "Vehicle"});
    CloseExcludedIssues(state(), noRow);
    EXPECT_TRUE(untouched(s, 2));
    // ...and on after an item whose row allows closing.
    rules::LoadAlertSettings(state(), "Earlier");
    CloseExcludedIssues(state(), noRow);
    EXPECT_TRUE(closedWithNote(s, 2));
    EXPECT_EQ(state().rules.settings.DaysInAdvance, 5);
}

TEST_F(ConditionPassesTest, ExclusionClosesEveryOpenAutomaticIssueOfTheExcludedRecord) {
    addSettings("PAI Due", 30, 1);
    s.exec("INSERT INTO Vehicle (ID,Unit,NotInService,PAIDue) VALUES (1,'T1',1,?)",
           {db::DateTime::todayLocal()});  // due today: dates play no part
    s.exec("INSERT INTO Vehicle (ID,Unit,NotInService) VALUES (2,'T2',0)");
    for (std::int64_t id : {1, 2, 3}) {
        addIssue(s, {.id = id, .item = "PAI Due", .itemId = 1, .category = "Vehicle"});
    }
    addIssue(s, {.id = 4, .item = "PAI Due", .itemId = 2, .category = "Vehicle"});
    addIssue(s, {.id = 5, .item = "PAI Due", .itemId = 1, .enteredBy = "ann"});
    addIssue(s, {.id = 6, .item = "Tag Expiration", .itemId = 1, .category = "Vehicle"});
    addIssue(s, {.id = 7, .item = "PAI Due", .itemId = 1, .status = "Closed"});

    CloseExcludedIssues(state(), kPaiDue);
    for (std::int64_t id : {1, 2, 3}) {
        EXPECT_TRUE(closedWithNote(s, id)) << id;
    }
    EXPECT_EQ(state().counters.issuesClosed(), 3);
    EXPECT_TRUE(untouched(s, 4)) << "vehicle in service";
    EXPECT_TRUE(untouched(s, 5)) << "entered by a user";
    EXPECT_TRUE(untouched(s, 6)) << "another item";
    EXPECT_TRUE(untouched(s, 7, "Closed")) << "already closed";

    CloseExcludedIssues(state(), kPaiDue);  // the catalog repeats the step
    EXPECT_EQ(state().counters.issuesClosed(), 3);
}

TEST_F(ConditionPassesTest, IssueOfAGoneRecordClosesOnlyWhereTheConditionHoldsForNulls) {
    addSettings("Other Date Expire", 30, 1);
    addSettings("DL Expire", 30, 1);
    addIssue(s, {.id = 1, .item = "Other Date Expire", .itemId = 99});
    addIssue(s, {.id = 2, .item = "DL Expire", .itemId = 99});
    addIssue(s, {.id = 3, .item = "DL Expire", .itemId = nullptr});

    CloseExcludedIssues(state(), kOtherDate);
    CloseExcludedIssues(state(), kDlExpire);
    EXPECT_TRUE(closedWithNote(s, 1));
    EXPECT_TRUE(untouched(s, 2));
    EXPECT_TRUE(untouched(s, 3));
}

TEST_F(ConditionPassesTest, FlagPassClosesWhateverTheSettingsSay) {
    s.exec("INSERT INTO Driver (ID,LastName,DocMVR) VALUES (1,'Smith',1)");
    s.exec("INSERT INTO Driver (ID,LastName,DocMVR) VALUES (2,'Jones',0)");
    addIssue(s, {.id = 1, .item = "Document:MVR", .itemId = 1});
    addIssue(s, {.id = 2, .item = "Document:MVR", .itemId = 1});
    addIssue(s, {.id = 3, .item = "Document:MVR", .itemId = 2});
    addIssue(s, {.id = 4, .item = "Document:MVR", .itemId = 1, .enteredBy = "ann"});
    addIssue(s, {.id = 5, .item = "Document:MVR", .itemId = 99});  // record gone

    AlertSettings& settings = state().rules.settings;
    settings.Category = "kept";
    settings.DaysInAdvance = 12;
    settings.IssuePriority = "Low";
    settings.AutoCloseIssue = false;

    // No settings row for the item.
    CloseResolvedIssues(state(), kDocMvr);
    EXPECT_TRUE(closedWithNote(s, 1));
    EXPECT_TRUE(closedWithNote(s, 2));
    EXPECT_EQ(state().counters.issuesClosed(), 2);
    EXPECT_TRUE(untouched(s, 3));
    EXPECT_TRUE(untouched(s, 4));
    EXPECT_TRUE(untouched(s, 5));

    // A row that forbids closing is neither read nor obeyed.
    addSettings("Document:MVR", 90, 0);
    s.exec("UPDATE Driver SET DocMVR=1 WHERE ID=2");
    CloseResolvedIssues(state(), kDocMvr);
    EXPECT_TRUE(closedWithNote(s, 3));
    EXPECT_EQ(settings.Category, "kept");
    EXPECT_EQ(settings.DaysInAdvance, 12);
    EXPECT_EQ(settings.IssuePriority, db::Value("Low"));
    EXPECT_FALSE(settings.AutoCloseIssue);
    EXPECT_EQ(state().rules.params.Item, "Document:MVR");
}

TEST_F(ConditionPassesTest, RoadsideInspectionClosesOnCopyOrUnobtainableCopy) {
    const RuleParameters haveCopy{"RoadsideInspection",
                                  "HaveCopy",
                                  "'Driver: ' + RoadsideInspection.DriverName",
                                  "Roadside Inspection",
                                  "No Copy of Roadside Inspection",
                                  " (RoadsideInspection.HaveCopy=1)"};
    RuleParameters unobtainable = haveCopy;
    unobtainable.Condition = " (ISNULL(RoadsideInspection.CopyUnobtainable,0)=1)";
    s.exec("INSERT INTO RoadsideInspection (ID,HaveCopy,CopyUnobtainable) VALUES (1,1,0)");
    s.exec("INSERT INTO RoadsideInspection (ID,HaveCopy,CopyUnobtainable) VALUES (2,0,1)");
    s.exec("INSERT INTO RoadsideInspection (ID,HaveCopy,CopyUnobtainable) VALUES (3,0,NULL)");
    for (std::int64_t id : {1, 2, 3, 99}) {
        addIssue(s, {.id = id,
                     .item = "No Copy of Roadside Inspection",
                     .itemId = id,
                     .category = "Roadside Inspection"});
    }

    CloseResolvedIssues(state(), haveCopy);
    EXPECT_TRUE(closedWithNote(s, 1));
    EXPECT_TRUE(untouched(s, 2));
    CloseResolvedIssues(state(), unobtainable);
    EXPECT_TRUE(closedWithNote(s, 1)) << "closed once, not again";
    EXPECT_TRUE(closedWithNote(s, 2));
    EXPECT_TRUE(untouched(s, 3));
    EXPECT_TRUE(untouched(s, 99)) << "a gone inspection is left to the orphan pass";
    EXPECT_EQ(state().counters.issuesClosed(), 2);
}

TEST_F(ConditionPassesTest, InvalidConditionFailsNamingTheStatement) {
    addIssue(s, {.id = 1, .item = "Document:MVR", .itemId = 1});
    RuleParameters broken = kDocMvr;
    broken.Condition = " Driver.NoSuchColumn=1";
    try {
        CloseResolvedIssues(state(), broken);
        FAIL() << "a condition over a missing column must fail";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchColumn"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(untouched(s, 1));
}

}  // namespace
}  // namespace fas::housekeeping
