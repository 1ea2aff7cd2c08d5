#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "housekeeping/ClosingPasses.h"
#include "housekeeping/IssueRows.h"

namespace fas::housekeeping {
namespace {

using issue_rows::addIssue;
using issue_rows::closedWithNote;
using issue_rows::closeNotes;
using issue_rows::statusOf;
using issue_rows::untouched;

class TidyPassesTest : public ::testing::Test {
  protected:
    ServerState& state() { return s.state; }
    test::OpenState s;
};

TEST_F(TidyPassesTest, SafetyScoreIssuesAgeByTheDatabaseClock) {
    addIssue(s, {.id = 1, .item = "Safety Score: Unsafe Driving", .category = "Safety Score"});
    addIssue(s, {.id = 2, .item = "Safety Score: Unsafe Driving", .category = "Safety Score"});
    addIssue(s, {.id = 3,
                 .item = "Safety Score: Unsafe Driving",
                 .category = "Safety Score",
                 .enteredBy = "ann"});
    addIssue(s, {.id = 4, .item = "Safety Scores", .category = "Safety Score"});
    addIssue(
        s, {.id = 5, .item = "Safety Score: HOS", .category = "Safety Score", .status = "Closed"});
    s.exec("UPDATE Issues SET EnteredDate=DATEADD(day,-31,GETDATE()) WHERE ID<>2");
    s.exec("UPDATE Issues SET EnteredDate=DATEADD(day,-29,GETDATE()) WHERE ID=2");

    CloseAgedSafetyScoreIssues(state());
    EXPECT_TRUE(closedWithNote(s, 1, "Non-Resolvable"));
    EXPECT_EQ(state().counters.issuesClosed(), 1);
    EXPECT_TRUE(untouched(s, 2)) << "29 days old";
    EXPECT_TRUE(untouched(s, 3)) << "entered by a user";
    EXPECT_TRUE(untouched(s, 4)) << "not a safety-score item";
    EXPECT_TRUE(untouched(s, 5, "Closed"));

    CloseAgedSafetyScoreIssues(state());
    EXPECT_EQ(state().counters.issuesClosed(), 1);
}

TEST_F(TidyPassesTest, OrphanedIssuesCloseByStatusAlone) {
    s.exec("INSERT INTO Driver (ID,LastName) VALUES (1,'Kept')");
    s.exec("INSERT INTO Vehicle (ID,Unit) VALUES (2,'T2')");
    addIssue(s, {.id = 1, .item = "DL Expire", .itemId = 2});  // driver 2 is gone
    addIssue(s, {.id = 2, .item = "", .itemId = 2, .status = "Non-Resolvable", .enteredBy = "ann"});
    addIssue(s, {.id = 3, .item = "DL Expire", .itemId = 1});
    addIssue(s, {.id = 4, .item = "DL Expire", .itemId = nullptr});
    addIssue(s, {.id = 5, .item = "PAI Due", .itemId = 2, .category = "Vehicle"});

    // One orphan per category of the pass, and one per category it leaves alone.
    const std::vector<std::string> closing = {
        "Vehicle",  "Roadside Inspection", "Safety Score",
        "Accident", "Drug & Alcohol Test", "Registration Doc"};
    const std::vector<std::string> leftAlone = {"Registration Document", "Drug And Alcohol Test",
                                                "Contract", "Training", "Issue"};
    std::int64_t id = 100;
    for (const auto* list : {&closing, &leftAlone}) {
        for (const std::string& category : *list) {
            addIssue(s, {.id = id++, .item = "x", .itemId = 99, .category = category});
        }
    }

    CloseOrphanedIssues(state());
    for (std::int64_t closed : {1, 2, 4}) {
        EXPECT_EQ(statusOf(s, closed), "Closed") << closed;
        EXPECT_EQ(closeNotes(s, closed), 0) << closed;
        EXPECT_EQ(s.scalar("SELECT EditedBy FROM Issues WHERE ID=?", {closed}), db::Value("ann"));
    }
    EXPECT_TRUE(untouched(s, 3));
    EXPECT_TRUE(untouched(s, 5));
    id = 100;
    for (const std::string& category : closing) {
        EXPECT_EQ(statusOf(s, id++), "Closed") << category;
    }
    for (const std::string& category : leftAlone) {
        EXPECT_TRUE(untouched(s, id++)) << category;
    }
    EXPECT_EQ(state().counters.issuesClosed(), 0);
}

class DuplicatePassTest : public TidyPassesTest {
  protected:
    void addGroupMember(std::int64_t id, const std::string& category = "Driver",
                        const std::string& status = "Open") {
        addIssue(
            s,
            {.id = id, .item = "DL Expire", .itemId = 7, .category = category, .status = status});
    }
};

TEST_F(DuplicatePassTest, ClosesAllButTheNewestOpenIssueOfAGroup) {
    addGroupMember(5, "Driver", "Closed");
    addGroupMember(10);
    addGroupMember(12);

    CloseDuplicateIssues(state());
    EXPECT_TRUE(closedWithNote(s, 10));
    EXPECT_TRUE(untouched(s, 12));
    EXPECT_TRUE(untouched(s, 5, "Closed")) << "an issue closed long ago is not closed again";
    EXPECT_EQ(state().counters.issuesClosed(), 1);

    CloseDuplicateIssues(state());
    EXPECT_EQ(state().counters.issuesClosed(), 1);
}

TEST_F(DuplicatePassTest, LookAlikeGroupsOfTwoCategoriesKeepTheirSurvivors) {
    addGroupMember(20, "Driver");
    addGroupMember(21, "Training");
    addGroupMember(22, "Driver");
    addGroupMember(23, "Training");

    CloseDuplicateIssues(state());
    EXPECT_TRUE(closedWithNote(s, 20));
    EXPECT_TRUE(closedWithNote(s, 21));
    EXPECT_TRUE(untouched(s, 22));
    EXPECT_TRUE(untouched(s, 23));
    EXPECT_EQ(state().counters.issuesClosed(), 2);
}

TEST_F(DuplicatePassTest, NullMatchValuesNeverGroup) {
    addIssue(s, {.id = 1, .item = "DL Expire", .itemId = 7, .itemDesc = nullptr});
    addIssue(s, {.id = 2, .item = "DL Expire", .itemId = 7, .itemDesc = nullptr});
    addIssue(s, {.id = 3, .item = "DL Expire", .itemId = nullptr});
    addIssue(s, {.id = 4, .item = "DL Expire", .itemId = nullptr});
    addIssue(s, {.id = 5, .item = "DL Expire", .itemId = 8, .contractId = nullptr});
    addIssue(s, {.id = 6, .item = "DL Expire", .itemId = 8, .contractId = nullptr});
    s.exec("UPDATE Issues SET AUTO_Item=NULL WHERE ID IN (1,2)");  // all four Nulls for 1 and 2
    addIssue(s, {.id = 7, .item = "DL Expire", .itemId = 9});
    addIssue(s, {.id = 8, .item = "MVR Expire", .itemId = 9});

    CloseDuplicateIssues(state());
    for (std::int64_t id = 1; id <= 8; ++id) {
        EXPECT_TRUE(untouched(s, id)) << id;
    }
    EXPECT_EQ(state().counters.issuesClosed(), 0);
}

TEST_F(DuplicatePassTest, ClosesInSurvivorThenIssueOrder) {
    for (std::int64_t id : {40, 41, 45}) {
        addIssue(s, {.id = id, .item = "DL Expire", .itemId = 7});
    }
    for (std::int64_t id : {42, 43}) {
        addIssue(s, {.id = id, .item = "MC Expire", .itemId = 7});
    }
    std::vector<std::int64_t> closed;
    s.db().setStatementObserver([&](std::string_view sql, const db::Params& params) {
        if (sql.starts_with("UPDATE Issues")) {
            closed.push_back(params.back().asInt64());
        }
    });
    CloseDuplicateIssues(state());
    EXPECT_EQ(closed, (std::vector<std::int64_t>{42, 40, 41}));
}

}  // namespace
}  // namespace fas::housekeeping
