// The whole compliance cycle through the real binary: a generated compliance database, a real
// SMTP server, and one task run per process, as an operator's scheduler would start it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "DemoSite.h"

namespace fas {
namespace {

using db::DateTime;
using testing::HasSubstr;

struct Counts {
    int emails = -1;
    int created = -1;
    int closed = -1;
};

Counts parseCounts(const std::string& line) {
    static const std::regex pattern(
        "  - Emails: ([0-9]+)  Issues Created: ([0-9]+)  Issues Closed: ([0-9]+)");
    std::smatch m;
    Counts c;
    if (std::regex_search(line, m, pattern)) {
        c.emails = std::stoi(m[1]);
        c.created = std::stoi(m[2]);
        c.closed = std::stoi(m[3]);
    }
    return c;
}

class ComplianceCycle : public test::DemoSite {
  protected:
    void SetUp() override {
        DemoSite::SetUp();
        // Issues raised late in a run are seen by the issue-date rule only in the next run;
        // keep that rule quiet so a second run must find nothing at all.
        exec(
            "UPDATE AutomationServer_Alert SET EmailContractManager=0,EmailContractSpecialist=0,"
            "EmailClient=0,CreateIssue=0 WHERE Item='Due Date Approach'");
    }

    test::ProcessResult runOnce() { return run({"--once"}); }

    Counts runAndCount(int expectedStatus = 0) {
        const test::ProcessResult r = runOnce();
        EXPECT_EQ(r.exitStatus, expectedStatus) << r.out << r.err;
        return parseCounts(r.out);
    }

    // Everything a run writes.
    std::string snapshot() {
        return contents({"Issues", "AutomationServer_EmailsSent", "AutomationServer_Emails",
                         "ServiceContract"});
    }
};

TEST_F(ComplianceCycle, FirstRunRaisesNotifiesClosesAndDeliversEveryDigest) {
    const Counts first = runAndCount();
    ASSERT_GT(first.emails, 0);
    ASSERT_GT(first.created, 0);
    ASSERT_GT(first.closed, 0);

    // Each message the run counted reached the server, one digest per recipient text.
    const auto received = smtp->messages();
    EXPECT_EQ(static_cast<int>(received.size()), first.emails);
    EXPECT_EQ(count("SELECT COUNT(DISTINCT EmailTo) FROM AutomationServer_EmailsSent WHERE "
                    "EmailTo<>''"),
              first.emails);
    for (const auto& m : received) {
        EXPECT_EQ(m.subject, "Notification from Ferrow Fleet Compliance");
        EXPECT_EQ(m.defects, "");
    }
    EXPECT_EQ(count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND "
                    "EmailTo<>''"),
              0);

    // Issues were raised in every kind of record that had something due.
    for (const char* category : {"Vehicle", "Driver", "Drug & Alcohol Test",
                                 "Registration Document", "Contract", "Training"}) {
        EXPECT_GT(count("SELECT COUNT(*) FROM Issues WHERE EnteredBy='AUTO SERVER' AND "
                        "Category=? AND Status='Open' AND Description LIKE '(AUTO ISSUE)%'",
                        {category}),
                  0)
            << category;
    }
    EXPECT_EQ(count("SELECT COUNT(*) FROM Issues WHERE EnteredBy='AUTO SERVER' AND "
                    "IssueDate=?",
                    {DateTime::todayLocal()}),
              first.created);

    // The seeded history: a renewed inspection date, a vehicle out of service, a document on
    // file, a duplicate, an orphan and an aged safety-score issue.
    EXPECT_EQ(scalar("SELECT Status FROM Issues WHERE AUTO_Item='PAI Due' AND ItemID=1").asText(),
              "Closed");
    EXPECT_EQ(scalar("SELECT Status FROM Issues WHERE AUTO_Item='Tag Expiration' AND ItemID=2 "
                     "AND IssueDate<?",
                     {DateTime::todayLocal()})
                  .asText(),
              "Closed");
    EXPECT_EQ(scalar("SELECT Status FROM Issues WHERE AUTO_Item='Document:MVR'").asText(),
              "Closed");
    EXPECT_EQ(count("SELECT COUNT(*) FROM Issues WHERE AUTO_Item='Document:Med Card' AND "
                    "Status='Open'"),
              1);
    EXPECT_EQ(scalar("SELECT Status FROM Issues WHERE AUTO_Item LIKE 'Safety Score: %'").asText(),
              "Non-Resolvable");
    const std::string orphanNote =
        scalar("SELECT Description FROM Issues WHERE AUTO_Item='DL Expire' AND ItemID>1000")
            .asText();
    EXPECT_EQ(
        scalar("SELECT Status FROM Issues WHERE AUTO_Item='DL Expire' AND ItemID>1000").asText(),
        "Closed");
    EXPECT_THAT(orphanNote, testing::Not(HasSubstr("AUTO CLOSED")));

    // The log row carries the run's counts.
    EXPECT_EQ(count("SELECT COUNT(*) FROM AutomationServer_Log WHERE CountEmails=? AND "
                    "CountIssues=? AND CountIssuesClose=?",
                    {first.emails, first.created, first.closed}),
              1);
}

TEST_F(ComplianceCycle, SecondRunChangesNothingAndSendsNothing) {
    runAndCount();
    const std::size_t delivered = smtp->messages().size();
    const std::string before = snapshot();
    const Counts second = runAndCount();
    EXPECT_EQ(second.emails, 0);
    EXPECT_EQ(second.created, 0);
    EXPECT_EQ(second.closed, 0);
    EXPECT_EQ(smtp->messages().size(), delivered);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(count("SELECT COUNT(*) FROM AutomationServer_Log"), 2);
}

TEST_F(ComplianceCycle, RenewedDatesAndSettledRecordsCloseTheirIssuesOnTheNextRun) {
    runAndCount();
    const db::Value driver = scalar(
        "SELECT ItemID FROM Issues WHERE AUTO_Item='DL Expire' AND Status='Open' AND "
        "EnteredBy='AUTO SERVER' ORDER BY ID");
    ASSERT_FALSE(driver.isNull());
    exec("UPDATE Driver SET DLExpire=? WHERE ID=?", {DateTime::todayLocal().addDays(400), driver});

    // A document arrives for a driver whose missing document was raised by other software.
    exec("UPDATE Driver SET DocMedCard=0 WHERE ID=3");
    exec(
        "INSERT INTO Issues (ContractID,Category,ItemID,ItemDesc,Description,Status,EnteredBy,"
        "AUTO_Item) VALUES (1,'Driver',3,'Med card','Missing med card','Open','AUTO SERVER',"
        "'Document:Med Card')");
    const Counts unchanged = runAndCount();
    EXPECT_GE(unchanged.closed, 1) << "the renewed licence";
    exec("UPDATE Driver SET DocMedCard=1 WHERE ID=3");

    // A driver who left the company's records takes their issues along.
    const db::Value leaving = scalar(
        "SELECT ItemID FROM Issues WHERE Category='Driver' AND Status='Open' AND "
        "AUTO_Item<>'Document:Med Card' AND ItemID<>? ORDER BY ID",
        {driver});
    ASSERT_FALSE(leaving.isNull());
    exec("DELETE FROM Driver WHERE ID=?", {leaving});

    const Counts next = runAndCount();
    EXPECT_EQ(next.created, 0);
    EXPECT_GE(next.closed, 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM Issues WHERE AUTO_Item='DL Expire' AND ItemID=? AND "
                    "Status='Open'",
                    {driver}),
              0);
    EXPECT_THAT(scalar("SELECT Description FROM Issues WHERE AUTO_Item='DL Expire' AND ItemID=? "
                       "ORDER BY ID DESC",
                       {driver})
                    .asText(),
                HasSubstr("\r\n\r\n(AUTO CLOSED "));
    EXPECT_EQ(scalar("SELECT Status FROM Issues WHERE ItemID=3 AND AUTO_Item='Document:Med Card'")
                  .asText(),
              "Closed");
    EXPECT_EQ(count("SELECT COUNT(*) FROM Issues WHERE Category='Driver' AND ItemID=? AND "
                    "Status='Open'",
                    {leaving}),
              0);
}

TEST_F(ComplianceCycle, AMutedContractIsNotifiedAgainOnceItsMuteTimeHasPassed) {
    runAndCount();
    // Two active contracts are muted; one mute has run out, the other lasts another day. Each
    // gets a driver whose licence runs out next week.
    const DateTime now = DateTime::nowLocal();
    exec(
        "UPDATE ServiceContract SET DisableEmailNotifications=1,EnableNotificationsAtTime=? "
        "WHERE ID=1",
        {now.addSeconds(-120)});
    exec(
        "UPDATE ServiceContract SET DisableEmailNotifications=1,EnableNotificationsAtTime=? "
        "WHERE ID=2",
        {now.addDays(1)});
    exec("UPDATE ServiceContract SET Status='Active' WHERE ID IN (1,2)");
    for (int contract : {1, 2}) {
        exec(
            "INSERT INTO Driver (ID,ContractID,LastName,FirstName,MiddleName,DLExpire,CDL) "
            "VALUES (?,?,'Muted','Test','',?,1)",
            {9000 + contract, contract, DateTime::todayLocal().addDays(7)});
    }
    runAndCount();
    EXPECT_EQ(count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE Item='DL Expire' AND "
                    "ItemID=9001"),
              1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE Item='DL Expire' AND "
                    "ItemID=9002"),
              0);
    EXPECT_EQ(count("SELECT DisableEmailNotifications FROM ServiceContract WHERE ID=1"), 0);
    EXPECT_EQ(count("SELECT DisableEmailNotifications FROM ServiceContract WHERE ID=2"), 1);
    bool seen = false;
    for (const auto& m : smtp->messages()) {
        seen = seen || m.body.find("Item ID: 9001\r\n") != std::string::npos;
        EXPECT_EQ(m.body.find("Item ID: 9002\r\n"), std::string::npos);
    }
    EXPECT_TRUE(seen);
}

TEST_F(ComplianceCycle, ADownMailServerLeavesTheOutboxForTheNextRun) {
    smtp->stop();
    const test::ProcessResult down = runOnce();
    EXPECT_EQ(down.exitStatus, 1) << "a run that could not deliver reports an error";
    EXPECT_THAT(down.out, HasSubstr("Errors: "));
    const Counts failed = parseCounts(down.out);
    EXPECT_EQ(failed.emails, 0);
    const std::int64_t pending =
        count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>''");
    ASSERT_GT(pending, 0);

    smtp = std::make_unique<test::SmtpTestServer>();
    exec("UPDATE Company SET AutomationServerEmailServerPort=?", {std::to_string(smtp->port())});
    const Counts next = runAndCount();
    EXPECT_GT(next.emails, 0);
    EXPECT_EQ(static_cast<int>(smtp->messages().size()), next.emails);
    EXPECT_EQ(count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND "
                    "EmailTo<>''"),
              0);
}

}  // namespace
}  // namespace fas
