#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "db/Errors.h"
#include "rules/AlertStatements.h"
#include "support/TestDatabase.h"

namespace fas::rules {
namespace {

using db::DateTime;
using db::Value;

// One AutomationServer_Alert row, in the table's column order.
struct SettingsRow {
    Value item, category, manager, specialist, client, days, create, createDays, priority,
        autoClose;
};

class AlertStatementsTest : public ::testing::Test {
  protected:
    void addSettings(const SettingsRow& r) {
        s.exec(
            "INSERT INTO AutomationServer_Alert (Item,Category,EmailContractManager,"
            "EmailContractSpecialist,EmailClient,DaysInAdvance,CreateIssue,"
            "CreateIssueDaysInAdvance,IssuePriority,AutoCloseIssue) VALUES (?,?,?,?,?,?,?,?,?,?)",
            {r.item, r.category, r.manager, r.specialist, r.client, r.days, r.create, r.createDays,
             r.priority, r.autoClose});
    }
    void useRule(const std::string& category, const std::string& item) {
        SetRuleParameters(state(), {"Driver", "DLExpire", "Driver.LastName", category, item, ""});
    }
    db::Recordset row(std::string_view sql, const db::Params& params = {}) {
        db::Recordset rs = s.db().query(sql, params);
        EXPECT_FALSE(rs.eof()) << sql;
        return rs;
    }
    NewAutoIssue sampleIssue() {
        return {Value(3),
                "Driver",
                Value(7),
                "Smith, Ann",
                DateTime::todayLocal(),
                DateTime::fromDate(2027, 3, 15),
                "(AUTO ISSUE) DL expires"};
    }
    ServerState& state() { return s.state; }

    test::OpenState s;
};

// Every read of now falls between these two instants.
struct NowWindow {
    DateTime before = DateTime::nowLocal();
    DateTime after;
    void close() { after = DateTime::nowLocal(); }
    bool contains(const DateTime& t) const { return before <= t && t <= after; }
    bool holdsText(const std::string& text) const {
        return text == db::dateText(before) || text == db::dateText(after);
    }
};

TEST_F(AlertStatementsTest, SettingsLookupKeepsThePreviousRowWhenNoneIsFound) {
    AlertSettings& settings = state().rules.settings;
    LoadAlertSettings(state(), "No Such Item");
    // Right after start everything is off.
    EXPECT_EQ(settings.Category, "");
    EXPECT_FALSE(settings.EmailContractManager.isTrue());
    EXPECT_FALSE(settings.CreateIssue.isTrue());
    EXPECT_EQ(settings.DaysInAdvance, 0);
    EXPECT_EQ(settings.CreateIssueDaysInAdvance, 0);
    EXPECT_EQ(settings.IssuePriority.joined(), "");
    EXPECT_FALSE(settings.AutoCloseIssue);

    addSettings({"DL Expire", "Driver", 1, nullptr, 0, 30, 1, 14, "High", 1});
    addSettings({"Twice", "First", 1, 1, 1, 5, 1, 2, "Low", 0});
    addSettings({"Twice", "Second", 0, 0, 0, 9, 0, 9, "None", 1});

    LoadAlertSettings(state(), "dl expire");  // items compare as SQL Server's collation does
    LoadAlertSettings(state(), "No Such Item");
    EXPECT_EQ(settings.Category, "Driver");
    EXPECT_TRUE(settings.EmailContractManager.isTrue());
    EXPECT_TRUE(settings.EmailContractSpecialist.isNull());
    EXPECT_FALSE(settings.EmailClient.isTrue());
    EXPECT_EQ(settings.DaysInAdvance, 30);
    EXPECT_TRUE(settings.CreateIssue.isTrue());
    EXPECT_EQ(settings.CreateIssueDaysInAdvance, 14);
    EXPECT_EQ(settings.IssuePriority.joined(), "High");
    EXPECT_TRUE(settings.AutoCloseIssue);

    LoadAlertSettings(state(), "Twice");
    EXPECT_EQ(settings.Category, "First");
    EXPECT_EQ(settings.DaysInAdvance, 5);
}

TEST_F(AlertStatementsTest, FailingLookupKeepsTheFieldsReadBeforeTheFailure) {
    AlertSettings& settings = state().rules.settings;
    addSettings({"Before", "Old", 0, 0, 0, 10, 1, 14, "High", 1});
    addSettings({"Too Far", "New", 1, 1, 1, 60, 0, 40000, "Low", 0});
    addSettings({"No Category", nullptr, 1, 1, 1, 1, 1, 1, "Low", 0});
    LoadAlertSettings(state(), "Before");

    try {
        LoadAlertSettings(state(), "Too Far");
        FAIL() << "an out-of-range CreateIssueDaysInAdvance must fail the lookup";
    } catch (const db::ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("CreateIssueDaysInAdvance"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("Too Far"), std::string::npos);
    }
    EXPECT_EQ(settings.Category, "New");
    EXPECT_TRUE(settings.EmailClient.isTrue());
    EXPECT_EQ(settings.DaysInAdvance, 60);
    EXPECT_FALSE(settings.CreateIssue.isTrue());
    EXPECT_EQ(settings.CreateIssueDaysInAdvance, 14);
    EXPECT_EQ(settings.IssuePriority.joined(), "High");
    EXPECT_TRUE(settings.AutoCloseIssue);

    try {
        LoadAlertSettings(state(), "No Category");
        FAIL() << "a Null Category must fail the lookup";
    } catch (const db::ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("Category"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No Category"), std::string::npos);
    }
    EXPECT_EQ(settings.Category, "New");
    EXPECT_EQ(settings.DaysInAdvance, 60);
}

TEST_F(AlertStatementsTest, NullFlagsAndPriorityAreWrittenAsFalseAndEmpty) {
    addSettings({"DL Expire", "Driver", nullptr, 0, 1, 30, 1, 14, nullptr, 1});
    LoadAlertSettings(state(), "DL Expire");
    useRule("Driver", "DL Expire");

    RecordNotification(state(), Value(7), DateTime::fromDate(2027, 3, 15));
    db::Recordset sent = row("SELECT * FROM AutomationServer_Emails");
    EXPECT_EQ(sent.int64("ContractManager"), 0);
    EXPECT_EQ(sent.int64("ContractSpecialist"), 0);
    EXPECT_EQ(sent.int64("Client"), 1);

    InsertAutoIssue(state(), sampleIssue());
    EXPECT_EQ(row("SELECT Priority FROM Issues").value("Priority"), Value(""));
}

TEST_F(AlertStatementsTest, StoredDatesKeepTheRowDate) {
    s.exec(
        "INSERT INTO Driver (ID,ContractID,LastName,DLExpire,MVRExpire) VALUES (7,3,'Smith',?,?)",
        {"2027-03-15", "2027-03-15 10:30:00"});
    const DateTime midnight = row("SELECT DLExpire FROM Driver").dateTime("DLExpire");
    const DateTime withTime = row("SELECT MVRExpire FROM Driver").dateTime("MVRExpire");
    useRule("Driver", "DL Expire");
    const int issuesBefore = state().counters.issuesCreated();

    NowWindow now;
    for (const DateTime& date : {midnight, withTime}) {
        NewAutoIssue issue = sampleIssue();
        issue.dueDate = date;
        InsertAutoIssue(state(), issue);
        RecordNotification(state(), Value(7), date);
    }
    now.close();
    EXPECT_EQ(state().counters.issuesCreated(), issuesBefore + 2);

    db::Recordset issues = s.db().query("SELECT * FROM Issues ORDER BY ID");
    db::Recordset notes = s.db().query("SELECT * FROM AutomationServer_Emails ORDER BY ID");
    for (const DateTime& date : {midnight, withTime}) {
        ASSERT_FALSE(issues.eof());
        ASSERT_FALSE(notes.eof());
        EXPECT_EQ(issues.dateTime("DueDate"), date);
        EXPECT_EQ(issues.dateTime("Auto_Date"), date);
        EXPECT_EQ(notes.dateTime("ItemKey"), date);
        EXPECT_EQ(issues.dateTime("IssueDate"), DateTime::todayLocal());
        EXPECT_TRUE(now.contains(issues.dateTime("EnteredDate")));
        EXPECT_TRUE(now.contains(issues.dateTime("EditedDate")));
        EXPECT_TRUE(now.contains(notes.dateTime("EmailDate")));
        issues.moveNext();
        notes.moveNext();
    }
    // The notification check of the rules finds the key within two minutes of the row date.
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails E JOIN Driver D ON "
                      "ABS(DATEDIFF(MINUTE,E.ItemKey,D.DLExpire))<2"),
              1);
}

TEST_F(AlertStatementsTest, InsertedIssueCarriesTheRuleAndTheRow) {
    addSettings({"DL Expire", "Settings Category", 0, 0, 0, 30, 1, 14, "High", 1});
    LoadAlertSettings(state(), "DL Expire");
    useRule("Rule Category", "DL Expire");
    NewAutoIssue newIssue = sampleIssue();
    newIssue.category = "Rule Category";
    InsertAutoIssue(state(), newIssue);

    db::Recordset issue = row("SELECT * FROM Issues");
    EXPECT_EQ(issue.int64("ContractID"), 3);
    EXPECT_EQ(issue.text("Category"), "Rule Category");  // the rule's, not the settings'
    EXPECT_EQ(issue.int64("ItemID"), 7);
    EXPECT_EQ(issue.text("Status"), "Open");
    EXPECT_EQ(issue.text("Priority"), "High");
    EXPECT_EQ(issue.text("EnteredBy"), "AUTO SERVER");
    EXPECT_EQ(issue.text("EditedBy"), "AUTO SERVER");
    EXPECT_EQ(issue.text("AUTO_Item"), "DL Expire");
}

TEST_F(AlertStatementsTest, CloseAppendsTheNoteAndCounts) {
    s.exec("INSERT INTO Issues (ID,Description,Status,EditedBy) VALUES (1,'Tag due','Open','ann')");
    s.exec("INSERT INTO Issues (ID,Description,Status,EditedBy) VALUES (2,'Other','Open','ann')");

    NowWindow now;
    CloseAutoIssue(state(), 1);
    now.close();
    db::Recordset closed = row("SELECT * FROM Issues WHERE ID=1");
    const std::string description = closed.text("Description");
    const std::string prefix = "Tag due\r\n\r\n(AUTO CLOSED ";
    ASSERT_EQ(description.substr(0, prefix.size()), prefix);
    ASSERT_EQ(description.back(), ')');
    EXPECT_TRUE(
        now.holdsText(description.substr(prefix.size(), description.size() - prefix.size() - 1)))
        << description;
    EXPECT_EQ(closed.text("Status"), "Closed");
    EXPECT_EQ(closed.text("EditedBy"), "AUTO SERVER");
    EXPECT_TRUE(now.contains(closed.dateTime("EditedDate")));
    EXPECT_EQ(state().counters.issuesClosed(), 1);

    CloseAutoIssue(state(), 2, "Non-Resolvable");
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID=2"), Value("Non-Resolvable"));
    EXPECT_EQ(state().counters.issuesClosed(), 2);
    // A later plain close is "Closed" again.
    s.exec("INSERT INTO Issues (ID,Description,Status) VALUES (3,'x','Open')");
    CloseAutoIssue(state(), 3);
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID=3"), Value("Closed"));
}

TEST_F(AlertStatementsTest, ApostrophesLeaveFreeTextsOnly) {
    EXPECT_EQ(StripApostrophes("O'Brien's ''x'"), "OBriens x");
    state().company.Name = "Ann's Safety";
    state().company.AutomationServerEmailFrom = "o'neil@fleet.example";
    useRule("Driver's", "Driver's Item");

    QueueNotification(state(), "o'hara@x.example;b@y.example;", "O'Brien", "Driver's DL",
                      "Ann's body");
    db::Recordset mail = row("SELECT * FROM AutomationServer_EmailsSent");
    EXPECT_EQ(mail.text("EmailFrom"), "o'neil@fleet.example");
    EXPECT_EQ(mail.text("EmailFromName"), "Ann's Safety");
    EXPECT_EQ(mail.text("EmailTo"), "o'hara@x.example;b@y.example;");
    EXPECT_EQ(mail.text("EmailSubject"), "OBrien - Drivers DL");
    EXPECT_EQ(mail.text("EmailBody"), "Anns body");
    EXPECT_EQ(mail.int64("EmailSent"), 0);
    EXPECT_EQ(state().counters.emails(), 0);

    NewAutoIssue issue = sampleIssue();
    issue.category = "Driver's";
    issue.itemDesc = "O'Brien, Pat";
    issue.description = "(AUTO ISSUE) Pat's DL";
    InsertAutoIssue(state(), issue);
    db::Recordset stored = row("SELECT * FROM Issues");
    EXPECT_EQ(stored.text("ItemDesc"), "OBrien, Pat");
    EXPECT_EQ(stored.text("Description"), "(AUTO ISSUE) Pats DL");
    EXPECT_EQ(stored.text("Category"), "Driver's");
    EXPECT_EQ(stored.text("AUTO_Item"), "Driver's Item");
}

// Every row of every table, for comparing the database before and after.
std::map<std::string, std::vector<std::string>> snapshot(test::OpenState& s) {
    std::map<std::string, std::vector<std::string>> tables;
    for (db::Recordset t = s.db().query("SELECT name FROM sqlite_master WHERE type='table'");
         !t.eof(); t.moveNext()) {
        const std::string name = t.text("name");
        std::vector<std::string>& rows = tables[name];
        for (db::Recordset r = s.db().query("SELECT * FROM " + name); !r.eof(); r.moveNext()) {
            std::string line;
            for (const std::string& column : r.columns()) {
                line += r.value(column).debugString() + "|";
            }
            rows.push_back(line);
        }
    }
    return tables;
}

TEST_F(AlertStatementsTest, HostileTextsAreStoredExactlyAndChangeNothingElse) {
    const std::string item = "x'); DROP TABLE Issues; --";
    const std::string category = "Driver' OR 1=1 --";
    const std::string address = "a@b.example'; DELETE FROM Issues WHERE ''='; --";
    s.exec("INSERT INTO Issues (ID,Description,Status,AUTO_Item) VALUES (1,'keep','Open',?)",
           {item});
    s.exec("INSERT INTO Driver (ID,LastName) VALUES (7,'Smith')");
    addSettings({"Other", "c", 1, 1, 1, 9, 1, 9, "Low", 1});
    addSettings({item, "Hostile", 0, 0, 0, 1, 0, 1, "High'; UPDATE Driver SET LastName='x'--", 0});
    const auto before = snapshot(s);

    LoadAlertSettings(state(), item);
    EXPECT_EQ(state().rules.settings.Category, "Hostile");
    useRule(category, item);
    NewAutoIssue issue = sampleIssue();
    issue.category = category;
    InsertAutoIssue(state(), issue);
    QueueNotification(state(), address, "SELECT 1; --", "DROP TABLE Driver", "'); DELETE --");
    RecordNotification(state(), Value(7), DateTime::fromDate(2027, 3, 15));

    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues WHERE ID=2 AND Category=? AND AUTO_Item=? AND "
                      "Priority=?",
                      {category, item, "High'; UPDATE Driver SET LastName='x'--"}),
              1);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailTo=? AND "
                      "EmailSubject=? AND EmailBody=?",
                      {address, "SELECT 1; -- - DROP TABLE Driver", "); DELETE --"}),
              1);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE Category=? AND Item=?",
                      {category, item}),
              1);

    // Apart from the three new rows, the database is as it was.
    s.exec("DELETE FROM Issues WHERE ID=2");
    s.exec("DELETE FROM AutomationServer_EmailsSent");
    s.exec("DELETE FROM AutomationServer_Emails");
    EXPECT_EQ(snapshot(s), before);
}

}  // namespace
}  // namespace fas::rules
