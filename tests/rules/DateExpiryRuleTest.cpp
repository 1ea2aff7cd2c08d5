#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "rules/RuleEntries.h"
#include "rules/RuleFixtures.h"

namespace fas::test {
namespace {

using Ids = std::vector<std::int64_t>;
using Texts = std::vector<std::string>;

const std::string kAsterisks(54, '*');

class DateExpiryRuleTest : public RuleDatabaseTest {
  protected:
    void run(int step) { rules::RunDateExpiryRule(state(), catalogStep(step)); }
    void run(const RuleParameters& params) { rules::RunDateExpiryRule(state(), params); }

    std::int64_t emailsFor(std::int64_t itemId) {
        return s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE ItemID = ?", {itemId});
    }
    std::string issueText(const std::string& column, std::int64_t itemId) {
        return s
            .scalar("SELECT " + column +
                        " FROM Issues WHERE AUTO_Item IS NOT NULL AND "
                        "ItemID = ? ORDER BY ID DESC",
                    {itemId})
            .joined();
    }
};

Texts sorted(Texts texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

TEST_F(DateExpiryRuleTest, NotifyWindowEndsAtMidnightOfTheLimitDay) {
    addAlert(s, {.item = "Tag Expiration", .daysInAdvance = 30, .createIssue = 0});
    const auto c = addContract(s);
    const auto atLimit = addVehicle(s, c, "TagExpiration", dateOnly(day(30)));
    const auto atMidnight = addVehicle(s, c, "TagExpiration", dateAndTime(day(30)));
    addVehicle(s, c, "TagExpiration", dateOnly(day(31)));
    addVehicle(s, c, "TagExpiration", dateAndTime(dayAt(30, 10, 0)));
    const auto past =
        addVehicle(s, c, "TagExpiration", dateOnly(db::DateTime::fromDate(2020, 3, 15)));
    addVehicle(s, c, "TagExpiration", db::Value());

    run(2);

    EXPECT_EQ(notifiedItems(s, "Tag Expiration"), (Ids{atLimit, atMidnight, past}));
    EXPECT_EQ(outbox(s).size(), 3u);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 0);
    EXPECT_EQ(state().counters.emails(), 0);  // queuing is not sending
}

TEST_F(DateExpiryRuleTest, IssueWindowAndTheIssueRaised) {
    addAlert(s, {.item = "Tag Expiration", .emailManager = 0, .issueDays = 14});
    const auto c = addContract(s);
    const auto atLimit = addVehicle(s, c, "TagExpiration", dateOnly(day(14)));
    const auto atMidnight = addVehicle(s, c, "TagExpiration", dateAndTime(day(14)));
    addVehicle(s, c, "TagExpiration", dateOnly(day(15)));
    addVehicle(s, c, "TagExpiration", dateAndTime(dayAt(14, 9, 0)));
    const auto past =
        addVehicle(s, c, "TagExpiration", dateOnly(db::DateTime::fromDate(2020, 3, 15)));

    run(2);

    EXPECT_EQ(issuedItems(s, "Tag Expiration"), (Ids{atLimit, atMidnight, past}));
    EXPECT_EQ(state().counters.issuesCreated(), 3);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails"), 0);
    EXPECT_EQ(issueText("Description", past), "(AUTO ISSUE) Tag Expiration: 3/15/2020");
    EXPECT_EQ(issueText("ItemDesc", past), "T-100 | BP8834 | 2019 Freightliner");
    EXPECT_EQ(issueText("Category", past), "Vehicle");
    EXPECT_EQ(issueText("ContractID", past), std::to_string(c));
    EXPECT_EQ(issueText("Status", past), "Open");
    EXPECT_EQ(issueText("Priority", past), "High");
    EXPECT_EQ(db::Value(issueText("Auto_Date", past)).asDateTime(),
              db::DateTime::fromDate(2020, 3, 15));
    EXPECT_EQ(db::Value(issueText("IssueDate", past)).asDateTime(), day(0));
}

TEST_F(DateExpiryRuleTest, AutoCloseBeyondTheIssueWindowWhateverTheCondition) {
    addAlert(s, {.item = "Tag Expiration", .emailManager = 0, .createIssue = 0, .issueDays = 14});
    const auto c = addContract(s);
    const auto within = addVehicle(s, c, "TagExpiration", dateAndTime(day(14)));
    const auto beyond = addVehicle(s, c, "TagExpiration", dateOnly(day(15)), {{"Suspended", 1}});
    const auto undated = addVehicle(s, c, "TagExpiration", db::Value());
    const auto keep1 = addAutoIssue(s, "Tag Expiration", within, dateOnly(day(14)));
    const auto close = addAutoIssue(s, "Tag Expiration", beyond, dateOnly(day(2)));
    const auto keep2 = addAutoIssue(s, "Tag Expiration", undated, dateOnly(day(2)));
    const auto keep3 = addAutoIssue(s, "Tag Expiration", 9999, dateOnly(day(2)));
    const auto otherItem = addAutoIssue(s, "PAI Due", beyond, dateOnly(day(2)));

    run(2);

    const auto status = [&](std::int64_t id) {
        return s.scalar("SELECT Status FROM Issues WHERE ID = ?", {id}).joined();
    };
    EXPECT_EQ(status(close), "Closed");
    for (const auto id : {keep1, keep2, keep3, otherItem}) {
        EXPECT_EQ(status(id), "Open") << id;
    }
    EXPECT_EQ(state().counters.issuesClosed(), 1);
}

TEST_F(DateExpiryRuleTest, NeverTwiceForTheSameDateButAgainForARenewedOne) {
    addAlert(s, {.item = "Tag Expiration"});
    const auto c = addContract(s);
    const auto v = addVehicle(s, c, "TagExpiration", dateOnly(day(5)));
    const auto totals = [&] {
        return Ids{s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent"),
                   s.count("SELECT COUNT(*) FROM AutomationServer_Emails"),
                   s.count("SELECT COUNT(*) FROM Issues")};
    };

    run(2);
    EXPECT_EQ(totals(), (Ids{1, 1, 1}));
    run(2);
    EXPECT_EQ(totals(), (Ids{1, 1, 1}));
    EXPECT_EQ(state().counters.issuesCreated(), 1);

    s.exec("UPDATE Vehicle SET TagExpiration = ? WHERE ID = ?", {dateOnly(day(3)), v});
    run(2);
    EXPECT_EQ(totals(), (Ids{2, 2, 2}));
    EXPECT_EQ(issueText("Description", v), "(AUTO ISSUE) Tag Expiration: " + db::dateText(day(3)));
}

TEST_F(DateExpiryRuleTest, AnyAutomaticIssueOfTheSameCalendarDayBlocksANewOne) {
    addAlert(s, {.item = "Tag Expiration", .emailManager = 0, .autoClose = 0});
    const auto c = addContract(s);
    const auto sameDay = addVehicle(s, c, "TagExpiration", dateOnly(day(5)));
    const auto dayBefore = addVehicle(s, c, "TagExpiration", dateOnly(day(5)));
    addAutoIssue(s, "Tag Expiration", sameDay, dateAndTime(dayAt(5, 15, 30)), "Closed");
    addAutoIssue(s, "Tag Expiration", dayBefore, dateOnly(day(4)), "Closed");

    run(2);

    EXPECT_EQ(state().counters.issuesCreated(), 1);
    EXPECT_EQ(issueText("Status", dayBefore), "Open");
    EXPECT_EQ(issueText("Status", sameDay), "Closed");
}

TEST_F(DateExpiryRuleTest, EarlierNotificationCountsWithinTwoMinutes) {
    addAlert(s, {.item = "Tag Expiration", .createIssue = 0});
    const auto c = addContract(s);
    const auto earlier = [&](std::int64_t id, const std::string& category, int minute) {
        addRow(s, "AutomationServer_Emails",
               {{"Category", category},
                {"Item", "Tag Expiration"},
                {"ItemID", id},
                {"ItemKey", dateAndTime(dayAt(5, 10, minute))}});
    };
    const auto oneMinute = addVehicle(s, c, "TagExpiration", dateAndTime(dayAt(5, 10, 0)));
    const auto threeMinutes = addVehicle(s, c, "TagExpiration", dateAndTime(dayAt(5, 10, 0)));
    const auto otherCategory = addVehicle(s, c, "TagExpiration", dateAndTime(dayAt(5, 10, 0)));
    earlier(oneMinute, "Vehicle", 1);
    earlier(threeMinutes, "Vehicle", 3);
    earlier(otherCategory, "Driver", 0);

    run(2);

    EXPECT_EQ(emailsFor(oneMinute), 1);
    EXPECT_EQ(emailsFor(threeMinutes), 2);
    EXPECT_EQ(emailsFor(otherCategory), 2);
    EXPECT_EQ(outbox(s).size(), 2u);
}

TEST_F(DateExpiryRuleTest, MutedContractsGetIssuesButNoMailInactiveOnesNeither) {
    addAlert(s, {.item = "Tag Expiration"});
    const auto muted =
        addVehicle(s, addContract(s, {.muted = 1}), "TagExpiration", dateOnly(day(2)));
    addVehicle(s, addContract(s, {.status = "Inactive"}), "TagExpiration", dateOnly(day(2)));

    run(2);

    EXPECT_TRUE(outbox(s).empty());
    EXPECT_TRUE(notifiedItems(s, "Tag Expiration").empty());
    EXPECT_EQ(issuedItems(s, "Tag Expiration"), Ids{muted});
}

TEST_F(DateExpiryRuleTest, RecipientsOfEachEnabledKind) {
    addAlert(s,
             {.item = "Tag Expiration", .emailSpecialist = 1, .emailClient = 1, .createIssue = 0});
    const auto full = addContract(s, {.managerEmail = db::Value(),
                                      .specialistEmails = {"b@acme.test", "", "a@acme.test", {}},
                                      .extra = {{"EmailVehicle", "fleet@acme.test"}}});
    const auto bare =
        addContract(s, {.managerEmail = "m2@bare.test",
                        .extra = {{"EmailVehicle", ""}, {"EmailDriver", "d@bare.test"}}});
    addVehicle(s, full, "TagExpiration", dateOnly(day(5)));
    addVehicle(s, bare, "TagExpiration", dateOnly(day(6)));

    run(2);

    // The manager without an address and the contract without specialists still get their row;
    // an empty client address gets none.
    EXPECT_EQ(sorted(outboxRecipients(s)),
              (Texts{"", "", "a@acme.test;b@acme.test;", "fleet@acme.test", "m2@bare.test"}));
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE ContractManager=1 AND "
                      "ContractSpecialist=1 AND Client=1"),
              2);
}

TEST_F(DateExpiryRuleTest, IssueDueDatesGoToTheClientAddressOfTheIssuesOwnCategory) {
    addAlert(s, {.item = "Due Date Approach", .emailManager = 0, .emailClient = 1});
    const auto c = addContract(
        s, {.extra = {{"EmailVehicle", "fleet@acme.test"}, {"EmailContract", "office@acme.test"}}});
    const auto issue = addRow(s, "Issues",
                              {{"ContractID", c},
                               {"Category", "Vehicle"},
                               {"Description", "Brake repair"},
                               {"ItemDesc", "Unit 7"},
                               {"DueDate", dateOnly(db::DateTime::fromDate(2020, 3, 15))},
                               {"Status", "Open"},
                               {"EnteredBy", "jdoe"}});

    run(78);

    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].to, "fleet@acme.test");
    EXPECT_EQ(rows[0].subject, "Acme Haulage - Due Date Approach");
    EXPECT_EQ(rows[0].body,
              "Client: Acme Haulage\r\nItem ID: " + std::to_string(issue) +
                  "\r\nBrake repair - Unit 7\r\n\r\nDue Date Approach: 3/15/2020\r\n" + kAsterisks +
                  "\r\n");
    EXPECT_EQ(issuedItems(s, "Due Date Approach"), Ids{issue});
}

TEST_F(DateExpiryRuleTest, TheIssueDueRuleDoesNotRaiseIssuesAboutItsOwnIssues) {
    addAlert(s, {.item = "Due Date Approach"});
    const auto c = addContract(s);
    addRow(s, "Issues",
           {{"ContractID", c},
            {"Category", "Vehicle"},
            {"Description", "Brake repair"},
            {"ItemDesc", "Unit 7"},
            {"DueDate", dateOnly(day(3))},
            {"Status", "Open"},
            {"EnteredBy", "jdoe"}});
    for (int runs = 0; runs < 3; ++runs) {
        run(78);
    }
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 2);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails"), 1);
    EXPECT_EQ(outbox(s).size(), 1u);
}

TEST_F(DateExpiryRuleTest, ItemsWithoutSettingsInheritThePreviousLookup) {
    const auto c = addContract(s);
    const auto pai = addVehicle(s, c, "PAIDue", dateOnly(day(3)));
    addVehicle(s, c, "TagExpiration", dateOnly(day(3)));

    run(1);  // right after start: no settings row yet, so everything is off
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent"), 0);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 0);

    addAlert(s, {.item = "Tag Expiration", .daysInAdvance = 10});
    run(2);
    run(1);  // "PAI Due" still has no row: it works with the settings of "Tag Expiration"
    EXPECT_EQ(notifiedItems(s, "PAI Due"), Ids{pai});
    EXPECT_EQ(issuedItems(s, "PAI Due"), Ids{pai});
    EXPECT_EQ(outbox(s).back().subject,
              "Acme Haulage - Periodic Annual Inspection (Federal) Due: " + db::dateText(day(3)));
}

TEST_F(DateExpiryRuleTest, NullFlagsCountAsFalseAndNullPriorityIsEmpty) {
    addAlert(s, {.item = "Tag Expiration",
                 .emailManager = db::Value(),
                 .emailSpecialist = 0,
                 .emailClient = 1,
                 .priority = db::Value()});
    const auto withClient = addContract(s, {.extra = {{"EmailVehicle", "fleet@acme.test"}}});
    const auto noClient = addContract(s);
    addVehicle(s, withClient, "TagExpiration", dateOnly(day(1)));
    addVehicle(s, noClient, "TagExpiration", dateOnly(day(1)));

    run(2);

    EXPECT_EQ(outboxRecipients(s), Texts{"fleet@acme.test"});
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE ContractManager=0 AND "
                      "ContractSpecialist=0 AND Client=1"),
              2);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues WHERE Priority = ''"), 2);
}

TEST_F(DateExpiryRuleTest, NotificationTextsWithoutApostrophes) {
    addAlert(s, {.item = "DL Expire"});
    const auto c = addContract(s, {.customerName = "O'Brien Freight"});
    const auto d = addDriver(s, c, "DLExpire", dateOnly(db::DateTime::fromDate(2020, 3, 15)),
                             {{"LastName", "O'Neil"}});

    run(10);

    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subject, "OBrien Freight - Drivers License Expire: 3/15/2020");
    EXPECT_EQ(rows[0].body, "Client: OBrien Freight\r\nItem ID: " + std::to_string(d) +
                                "\r\nDriver: ONeil, John Q \r\n\r\nDrivers License Expires: "
                                "3/15/2020 Need new copy of drivers license.\r\n" +
                                kAsterisks + "\r\n");
    EXPECT_EQ(issueText("ItemDesc", d), "Driver: ONeil, John Q ");
    EXPECT_EQ(issueText("Description", d),
              "(AUTO ISSUE) Drivers License Expires: 3/15/2020 Need new copy of drivers license.");
}

TEST_F(DateExpiryRuleTest, DrugTestSentencesNameTheTestType) {
    addAlert(s, {.item = "Drug/Alcohol Test Due"});
    const auto c = addContract(s);
    const auto random = addRow(s, "DrugAlcoholTestType", {{"Name", "Random"}});
    const auto due = db::DateTime::fromDate(2020, 3, 15);
    const auto typed = addRow(s, "DrugAlcoholTest",
                              {{"ContractID", c},
                               {"DriverName", "Smith, John"},
                               {"TestTypeID", random},
                               {"DueDate", dateOnly(due)}});
    const auto untyped = addRow(s, "DrugAlcoholTest",
                                {{"ContractID", c},
                                 {"DriverName", "Doe, Jane"},
                                 {"TestTypeID", db::Value()},
                                 {"DueDate", dateOnly(due)}});
    addRow(
        s, "DrugAlcoholTest",
        {{"ContractID", c}, {"TestTypeID", random}, {"DueDate", dateOnly(due)}, {"Completed", 1}});

    run(19);

    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(sorted({rows[0].subject, rows[1].subject}),
              (Texts{"Acme Haulage - ", "Acme Haulage - Random"}));
    const auto& typedRow = rows[0].subject.ends_with("Random") ? rows[0] : rows[1];
    EXPECT_NE(typedRow.body.find("\r\nDriver: Smith, John\r\n\r\nRandom: 3/15/2020 \r\n"),
              std::string::npos);
    EXPECT_EQ(issueText("Description", typed), "(AUTO ISSUE) Random: 3/15/2020");
    EXPECT_EQ(issueText("Description", untyped), "(AUTO ISSUE) : 3/15/2020");
}

TEST_F(DateExpiryRuleTest, MissingDisplayTextsDoNotStopTheRule) {
    addAlert(s, {.item = "Tag Expiration"});
    const auto c = addContract(s, {.customerName = db::Value()});
    const auto v = addVehicle(s, c, "TagExpiration", dateOnly(day(1)), {{"Unit", db::Value()}});
    const auto next = addVehicle(s, addContract(s), "TagExpiration", dateOnly(day(1)));

    run(2);

    EXPECT_EQ(issuedItems(s, "Tag Expiration"), (Ids{v, next}));
    EXPECT_EQ(issueText("ItemDesc", v), "");
    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].subject, " - Tag Expiration");
    EXPECT_TRUE(rows[0].body.starts_with("Client: \r\nItem ID: " + std::to_string(v) + "\r\n\r\n"));
}

// Every table's row count, to prove a run wrote nothing but what it should.
std::map<std::string, std::int64_t> tableCounts(OpenState& s) {
    std::map<std::string, std::int64_t> counts;
    db::Recordset rs = s.db().query("SELECT name FROM sqlite_master WHERE type='table'");
    for (; !rs.eof(); rs.moveNext()) {
        const std::string table = rs.text("name");
        counts[table] = s.count("SELECT COUNT(*) FROM " + table);
    }
    return counts;
}

TEST_F(DateExpiryRuleTest, HostileTextsAreStoredAsTheyAreOrWithoutApostrophesOnly) {
    const std::string item = "Tag'; DROP TABLE Issues; --";
    const std::string customer = "O'Hara'); DELETE FROM Vehicle; --";
    const std::string address = "boss'); UPDATE Customer SET Name='x'; --@acme.test";
    addAlert(s, {.item = item});
    const auto c = addContract(s, {.customerName = customer, .managerEmail = address});
    const auto v = addVehicle(s, c, "TagExpiration", dateOnly(db::DateTime::fromDate(2020, 3, 15)),
                              {{"Unit", "U'1 OR 1=1 --"}});
    RuleParameters params = catalogStep(2);
    params.Item = item;
    auto expected = tableCounts(s);

    run(params);

    expected["AutomationServer_EmailsSent"] += 1;
    expected["AutomationServer_Emails"] += 1;
    expected["Issues"] += 1;
    EXPECT_EQ(tableCounts(s), expected);
    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].to, address);
    EXPECT_EQ(rows[0].subject, "OHara); DELETE FROM Vehicle; -- - Tag; DROP TABLE Issues; --");
    EXPECT_EQ(notifiedItems(s, item), Ids{v});
    EXPECT_EQ(issueText("AUTO_Item", v), item);
    EXPECT_EQ(issueText("ItemDesc", v), "U1 OR 1=1 -- | BP8834 | 2019 Freightliner");
    EXPECT_EQ(issueText("Description", v), "(AUTO ISSUE) Tag; DROP TABLE Issues; --: 3/15/2020");
    EXPECT_EQ(s.scalar("SELECT Name FROM Customer").joined(), customer);
}

}  // namespace
}  // namespace fas::test
