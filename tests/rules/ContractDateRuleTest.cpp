#include <gtest/gtest.h>

#include "rules/RuleEntries.h"
#include "rules/RuleFixtures.h"

namespace fas::test {
namespace {

using Ids = std::vector<std::int64_t>;

class ContractDateRuleTest : public RuleDatabaseTest {
  protected:
    void run(int step) { rules::RunContractDateRule(state(), catalogStep(step)); }

    std::int64_t hazmatContract(const db::Value& expires, ContractSpec given = {}) {
        given.hasmat = 1;
        given.extra.emplace_back("HazmatExpirationDate", expires);
        return addContract(s, given);
    }
    // Outbox rows, notification records, issues.
    Ids totals() {
        return {s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent"),
                s.count("SELECT COUNT(*) FROM AutomationServer_Emails"),
                s.count("SELECT COUNT(*) FROM Issues")};
    }
};

TEST_F(ContractDateRuleTest, NotificationAndIssueOfAHazmatContract) {
    addAlert(s, {.item = "HAZMAT Expire", .emailSpecialist = 1, .emailClient = 1});
    const auto c = hazmatContract(dateOnly(db::DateTime::fromDate(2020, 12, 31)),
                                  {.customerName = "O'Malley Haulage",
                                   .specialistEmails = {"specialist@fleet.test"},
                                   .extra = {{"EmailContract", "owner@acme.test"}}});
    state().rules.subjectSentence = "left by an earlier rule";

    run(79);

    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(outboxRecipients(s),
              (std::vector<std::string>{"manager@acme.test", "specialist@fleet.test;",
                                        "owner@acme.test"}));
    EXPECT_EQ(rows[0].subject, "OMalley Haulage - HAZMAT Expire: 12/31/2020");
    EXPECT_EQ(rows[0].body,
              "Client: OMalley Haulage\r\nHAZMAT Expire\r\n\r\nHAZMAT Expire: 12/31/2020"
              "\r\n\r\n\r\n\r\nFleet Safety Services, compliance desk");
    EXPECT_EQ(notifiedItems(s, "HAZMAT Expire"), Ids{c});
    EXPECT_EQ(issuedItems(s, "HAZMAT Expire"), Ids{c});
    EXPECT_EQ(s.scalar("SELECT ContractID FROM Issues").asInt64(), c);
    EXPECT_EQ(s.scalar("SELECT ItemDesc FROM Issues").joined(), "HAZMAT Expire");
    EXPECT_EQ(s.scalar("SELECT Description FROM Issues").joined(),
              "(AUTO ISSUE) HAZMAT Expire: 12/31/2020");
    EXPECT_EQ(s.scalar("SELECT Category FROM Issues").joined(), "Contract");
    // Messages are counted when they are sent, not when they are queued.
    EXPECT_EQ(state().counters.emails(), 0);
    EXPECT_EQ(state().counters.issuesCreated(), 1);
}

TEST_F(ContractDateRuleTest, NeverTwiceForTheSameDateButAgainForARenewedOne) {
    addAlert(s, {.item = "HAZMAT Expire"});
    const auto c = hazmatContract(dateOnly(day(5)));
    hazmatContract(dateAndTime(dayAt(6, 14, 45)));

    run(79);
    EXPECT_EQ(totals(), (Ids{2, 2, 2}));
    run(79);
    EXPECT_EQ(totals(), (Ids{2, 2, 2}));

    s.exec("UPDATE ServiceContract SET HazmatExpirationDate = ? WHERE ID = ?",
           {dateOnly(day(4)), c});
    run(79);
    EXPECT_EQ(totals(), (Ids{3, 3, 3}));
}

TEST_F(ContractDateRuleTest, WindowEdges) {
    addAlert(s, {.item = "MCS 150 Update Due", .daysInAdvance = 30, .issueDays = 14});
    const auto due = [&](const db::Value& date) {
        return addContract(s, {.extra = {{"MCS150UpdateDue", date}}});
    };
    const auto at30 = due(dateAndTime(day(30)));
    due(dateOnly(day(31)));
    due(dateAndTime(dayAt(30, 10, 0)));
    const auto at14 = due(dateAndTime(day(14)));
    const auto at15 = due(dateOnly(day(15)));
    due(db::Value());

    run(80);

    EXPECT_EQ(notifiedItems(s, "MCS 150 Update Due"), (Ids{at30, at14, at15}));
    EXPECT_EQ(issuedItems(s, "MCS 150 Update Due"), Ids{at14});
}

TEST_F(ContractDateRuleTest, HazmatOnlyForHazmatCustomersMutedStillNotifiedInactiveNeither) {
    addAlert(s, {.item = "HAZMAT Expire"});
    addAlert(s, {.item = "MCS 150 Update Due"});
    const auto plain = addContract(s, {.extra = {{"HazmatExpirationDate", dateOnly(day(2))},
                                                 {"MCS150UpdateDue", dateOnly(day(2))}}});
    const auto muted = hazmatContract(dateOnly(day(2)), {.muted = 1});
    hazmatContract(dateOnly(day(2)), {.status = "Inactive"});

    run(79);
    run(80);

    EXPECT_EQ(notifiedItems(s, "HAZMAT Expire"), Ids{muted});
    EXPECT_EQ(issuedItems(s, "HAZMAT Expire"), Ids{muted});
    EXPECT_EQ(notifiedItems(s, "MCS 150 Update Due"), Ids{plain});
    EXPECT_EQ(outbox(s).size(), 2u);
}

TEST_F(ContractDateRuleTest, IssuesCloseOnceTheDateMovesBeyondTheWindowWhateverTheStatus) {
    addAlert(s, {.item = "HAZMAT Expire", .emailManager = 0, .createIssue = 0, .issueDays = 14});
    const auto renewed = hazmatContract(dateOnly(day(15)), {.status = "Inactive"});
    const auto due = hazmatContract(dateOnly(day(14)), {.status = "Inactive"});
    const auto closes = addAutoIssue(s, "HAZMAT Expire", renewed, dateOnly(day(1)));
    const auto stays = addAutoIssue(s, "HAZMAT Expire", due, dateOnly(day(1)));

    run(79);

    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID = ?", {closes}).joined(), "Closed");
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID = ?", {stays}).joined(), "Open");
    EXPECT_EQ(state().counters.issuesClosed(), 1);
}

TEST_F(ContractDateRuleTest, ContractWithoutCustomerOrClientAddressIsStillNotified) {
    addAlert(s, {.item = "MCS 150 Update Due", .emailClient = 1});
    const auto c = addContract(s, {.extra = {{"MCS150UpdateDue", dateOnly(day(2))}}});
    s.exec("UPDATE ServiceContract SET CustomerID = NULL WHERE ID = ?", {c});

    run(80);

    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subject, " - MCS 150 Update Due: " + db::dateText(day(2)));
    EXPECT_TRUE(rows[0].body.starts_with("Client: \r\nMCS 150 Update Due\r\n"));
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE Client = 1"), 1);
}

}  // namespace
}  // namespace fas::test
