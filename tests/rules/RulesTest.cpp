// The rule processors on rows as the other software writes them, each run as the catalog runs it.

#include <functional>

#include <gtest/gtest.h>

#include "support/ComplianceSite.h"

namespace fas::test {
namespace {

const std::string kStars(54, '*');
const db::Value kPast("2020-03-15");

class Rules : public ::testing::Test, public ComplianceSite {};

// Which rows each kind of rule notifies (30 days ahead) and raises issues for (14 days ahead):
// once for one date, once more for a renewed one. An open automatic issue closes once its row's
// date lies beyond the issue window, whatever the rule's condition says of the row; nothing else
// closes it.
TEST_F(Rules, WindowsConditionsAndMutesDecideWhatIsNotifiedRaisedAndClosed) {
    for (const char* item :
         {"Tag Expiration", "HAZMAT Expire", "MCS 150 Update Due", "Training Expire"}) {
        alert(item);
    }
    const auto c = contract();
    const auto muted = contract({{"DisableEmailNotifications", 1}});
    const auto inactive = contract({{"Status", "Inactive"}});
    struct Case {
        int step;
        std::int64_t id;
        int notified, issued;
    };
    const auto tag = [&](const db::Value& date, const Columns& extra = {}) {
        return with({{"TagExpiration", date}}, extra);
    };
    const std::vector<Case> cases = {
        {2, vehicle(c, tag(isoDay(30))), 1, 0},
        {2, vehicle(c, tag(isoDay(31))), 0, 0},
        {2, vehicle(c, tag(isoDayAt(30, 10, 0))), 0, 0},
        {2, vehicle(c, tag(isoDay(14))), 1, 1},
        {2, vehicle(c, tag(isoDayAt(14, 9, 0))), 1, 0},
        {2, vehicle(c, tag(kPast)), 1, 1},
        {2, vehicle(c, tag(db::Value())), 0, 0},
        {2, vehicle(c, tag(isoDay(2), {{"Suspended", 1}})), 0, 0},
        {2, vehicle(muted, tag(isoDay(2))), 0, 1},
        {2, vehicle(inactive, tag(isoDay(2))), 0, 0},
        {80, contract({{"MCS150UpdateDue", isoDayAt(30, 0, 0)}}), 1, 0},
        {80, contract({{"MCS150UpdateDue", isoDay(14)}}), 1, 1},
        {80, contract({{"MCS150UpdateDue", isoDay(2)}, {"DisableEmailNotifications", 1}}), 1, 1},
        {79, contract({{"HazmatExpirationDate", isoDay(2)}}), 0, 0},
        {79, contract({{"HazmatExpirationDate", isoDayAt(6, 14, 45)}}, {{"Hasmat", 1}}), 1, 1},
        {81, training(c, driver(c), isoDay(14)), 1, 1},
        {81, training(c, driver(c, {{"Terminated", 1}}), isoDay(1)), 0, 0},
        {81, training(c, 9999, isoDay(1)), 0, 0},
        {81, training(c, driver(c), isoDay(1), {{"Expires", 0}}), 0, 0},
    };
    const auto issue = [&](const char* item, std::int64_t itemId) {
        return autoIssue(item, itemId, isoDay(1));
    };
    const auto hazmat = [&](const db::Value& date) {
        return contract({{"Status", "Inactive"}, {"HazmatExpirationDate", date}}, {{"Hasmat", 1}});
    };
    const std::vector<std::pair<std::int64_t, std::string>> closing = {
        {issue("Tag Expiration", vehicle(c, {{"TagExpiration", isoDayAt(14, 0, 0)}})), "Open"},
        {issue("Tag Expiration", vehicle(c, {{"TagExpiration", isoDay(15)}, {"Suspended", 1}})),
         "Closed"},
        {issue("Tag Expiration", vehicle(c, {{"TagExpiration", db::Value()}})), "Open"},
        {issue("Tag Expiration", 9999), "Open"},
        {issue("PAI Due", vehicle(c, {{"TagExpiration", isoDay(15)}})), "Open"},
        {issue("HAZMAT Expire", hazmat(isoDay(15))), "Closed"},
        {issue("Training Expire", training(c, driver(c, {{"Terminated", 1}}), isoDay(20))),
         "Closed"},
        {issue("Training Expire", training(c, 9999, isoDay(20))), "Closed"},
        {issue("Training Expire", training(c, driver(c), isoDay(2))), "Open"},
    };
    // Runs the four steps, then expects each case's counts, a raised row's doubled once renewed.
    const auto runAndExpect = [&](bool renewed) {
        for (const int step : {2, 79, 80, 81}) {
            run(step);
        }
        for (const Case& k : cases) {
            const std::string& item = params(k.step).Item;
            const int times = renewed && k.issued ? 2 : 1;
            EXPECT_EQ(
                rows("SELECT (SELECT COUNT(*) FROM AutomationServer_Emails WHERE Item = ? AND "
                     "ItemID = ?),(SELECT COUNT(*) FROM Issues WHERE AUTO_Item = ? AND ItemID = ?)",
                     {item, k.id, item, k.id}),
                std::to_string(k.notified * times) + "|" + std::to_string(k.issued * times) + "|\n")
                << "notified|issued, " << item << " row " << k.id << (renewed ? " renewed" : "");
        }
    };
    runAndExpect(false);
    runAndExpect(false);
    for (const Case& k : cases) {
        if (k.issued) {
            const RuleParameters& p = params(k.step);
            s.exec("UPDATE " + p.Table + " SET " + p.Field + " = ? WHERE ID = ?",
                   {isoDay(3), k.id});
        }
    }
    runAndExpect(true);
    // Each notification record has its outbox row.
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent"),
              s.count("SELECT COUNT(*) FROM AutomationServer_Emails"));
    for (const auto& [id, status] : closing) {
        EXPECT_EQ(rows("SELECT Status FROM Issues WHERE ID = ?", {id}), status + "|\n")
            << "issue " << id;
    }
}

// The texts people read: subject, body and issue of each kind of row, apostrophes removed from
// the free texts, Null display texts read as empty.
TEST(RuleTexts, SubjectBodyAndIssueOfEachKindOfRow) {
    struct Case {
        int step;
        std::function<std::int64_t(ComplianceSite&)> row;
        std::string to, subject, body, issue;  // issue: Category|Priority|ItemDesc|Description
    };
    const auto item = [](const std::string& desc, const std::string& line) {
        return desc + "\r\n\r\n" + line + "\r\n" + kStars + "\r\n";
    };
    using S = ComplianceSite;
    // clang-format off
    const std::vector<Case> cases = {
        {2, [](S& t) { return t.vehicle(t.contract(), {{"TagExpiration", kPast}}); },
         "manager@acme.test", "Acme Haulage - Tag Expiration",
         item("T-100 | BP8834 | 2019 Freightliner", "Tag Expiration: 3/15/2020"),
         "Vehicle|High|T-100 | BP8834 | 2019 Freightliner|(AUTO ISSUE) Tag Expiration: 3/15/2020"},
        {2, [](S& t) { return t.vehicle(t.contract({}, {{"Name", db::Value()}}), {{"TagExpiration", kPast}, {"Unit", db::Value()}}); },
         "manager@acme.test", " - Tag Expiration", item("", "Tag Expiration: 3/15/2020"),
         "Vehicle|High||(AUTO ISSUE) Tag Expiration: 3/15/2020"},
        {10, [](S& t) { return t.driver(t.contract({}, {{"Name", "O'Brien Freight"}}), {{"DLExpire", kPast}, {"LastName", "O'Neil"}}); },
         "manager@acme.test", "OBrien Freight - Drivers License Expire: 3/15/2020",
         item("Driver: ONeil, John Q ", "Drivers License Expires: 3/15/2020 Need new copy of drivers license."),
         "Driver|High|Driver: ONeil, John Q |(AUTO ISSUE) Drivers License Expires: 3/15/2020 Need new copy of drivers license."},
        {19, [](S& t) { return addRow(t.s, "DrugAlcoholTest", {{"ContractID", t.contract()}, {"DriverName", "Smith, John"},
                            {"TestTypeID", addRow(t.s, "DrugAlcoholTestType", {{"Name", "Random"}})}, {"DueDate", kPast}}); },
         "manager@acme.test", "Acme Haulage - Random", item("Driver: Smith, John", "Random: 3/15/2020 "),
         "Drug & Alcohol Test|High|Driver: Smith, John|(AUTO ISSUE) Random: 3/15/2020"},
        {79, [](S& t) { return t.contract({{"HazmatExpirationDate", "2020-12-31"}}, {{"Name", "O'Malley Haulage"}, {"Hasmat", 1}}); },
         "manager@acme.test", "OMalley Haulage - HAZMAT Expire: 12/31/2020",
         "Client: OMalley Haulage\r\nHAZMAT Expire\r\n\r\nHAZMAT Expire: 12/31/2020\r\n\r\n\r\n\r\nFleet Safety Services, compliance desk",
         "Contract|High|HAZMAT Expire|(AUTO ISSUE) HAZMAT Expire: 12/31/2020"},
        {81, [](S& t) { const auto c = t.contract(); return t.training(c, t.driver(c, {{"LastName", "O'Neil"}}), "2020-12-31"); },
         "manager@acme.test", "Acme Haulage - Driver: ONeil, John - Forklift expires 12/31/2020",
         "Driver: ONeil, John - Forklift expires 12/31/2020\r\n\r\n" + kStars + "\r\n",
         "Training|High|Driver: ONeil, John - Forklift|(AUTO ISSUE) Driver: ONeil, John - Forklift expires 12/31/2020"},
        {78, [](S& t) { return addRow(t.s, "Issues", {{"ContractID", t.contract({{"EmailVehicle", "fleet@acme.test"}, {"EmailContract", "x@acme.test"}})},
                            {"Category", "Vehicle"}, {"Description", "Brake repair"}, {"ItemDesc", "Unit 7"}, {"DueDate", kPast},
                            {"Status", "Open"}, {"EnteredBy", "jdoe"}}); },
         "fleet@acme.test", "Acme Haulage - Due Date Approach", item("Brake repair - Unit 7", "Due Date Approach: 3/15/2020"),
         "Issue|High|Brake repair - Unit 7|(AUTO ISSUE) Due Date Approach: 3/15/2020"},
    };
    // clang-format on
    const std::string today = db::DateTime::todayLocal().toIso();
    for (const Case& k : cases) {
        ComplianceSite t;
        const bool toClient = k.step == 78;  // the address of the issue's own category
        t.alert(ComplianceSite::params(k.step).Item,
                {{"EmailContractManager", toClient ? 0 : 1}, {"EmailClient", toClient ? 1 : 0}});
        const std::string id = std::to_string(k.row(t));
        SCOPED_TRACE(ComplianceSite::params(k.step).Item);
        t.run(k.step);
        // The contract rule's body names no item.
        const std::string head = k.step == 79
                                     ? ""
                                     : "Client: " + k.subject.substr(0, k.subject.find(" - ")) +
                                           "\r\nItem ID: " + id + "\r\n";
        EXPECT_EQ(t.rows("SELECT EmailTo,EmailSubject,EmailBody FROM AutomationServer_EmailsSent") +
                      t.rows("SELECT Category,Priority,ItemDesc,Description,ItemID,Status,"
                             "IssueDate FROM Issues WHERE EnteredBy='AUTO SERVER'"),
                  k.to + "|" + k.subject + "|" + head + k.body + "|\n" + k.issue + "|" + id +
                      "|Open|" + today + "|\n");
    }
}

// Who gets a row: each kind the item's settings enable, a Null flag counting as off; empty
// specialist addresses are left out, an empty client address gets no row.
TEST_F(Rules, RecipientsOfEachEnabledKind) {
    alert("Tag Expiration",
          {{"EmailContractSpecialist", 1}, {"EmailClient", 1}, {"CreateIssue", 0}});
    alert("PAI Due", {{"EmailContractManager", db::Value()},
                      {"EmailClient", 1},
                      {"IssuePriority", db::Value()}});
    const auto full = contract(
        {{"ContractManagerID", employee(db::Value())}, {"EmailVehicle", "fleet@acme.test"}});
    for (const db::Value& email :
         {db::Value("b@acme.test"), db::Value(""), db::Value("a@acme.test"), db::Value()}) {
        addRow(s, "ServiceContractSpecialist",
               {{"ServiceContractID", full}, {"EmployeeID", employee(email)}});
    }
    const auto bare = contract({{"EmailVehicle", ""}, {"EmailDriver", "d@bare.test"}});
    vehicle(full, {{"TagExpiration", isoDay(5)}, {"PAIDue", isoDay(1)}});
    vehicle(bare, {{"TagExpiration", isoDay(5)}, {"PAIDue", isoDay(1)}});
    run(2);
    run(1);
    // Tag Expiration: full's manager without address, its specialists and its client; bare's
    // manager and its specialists (none). PAI Due: full's client alone.
    EXPECT_EQ(rows("SELECT EmailTo FROM AutomationServer_EmailsSent ORDER BY EmailTo"),
              "|\n|\na@acme.test;b@acme.test;|\nfleet@acme.test|\nfleet@acme.test|\nmanager@acme."
              "test|\n");
    EXPECT_EQ(rows("SELECT Item,ContractManager,ContractSpecialist,Client,COUNT(*) FROM "
                   "AutomationServer_Emails GROUP BY Item,ContractManager,ContractSpecialist,"
                   "Client ORDER BY Item"),
              "PAI Due|0|0|1|2|\nTag Expiration|1|1|1|2|\n");
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues WHERE Priority = ''"), 2);
}

// What counts as done before: a notification within two minutes of the row's date and of its
// category, any automatic issue of the same calendar day; the issue-due rule's own issues are no
// new due items.
TEST_F(Rules, WhatCountsAsAlreadyDone) {
    alert("Tag Expiration", {{"AutoCloseIssue", 0}});
    alert("Due Date Approach");
    const auto c = contract();
    const auto at10 = [&] { return vehicle(c, {{"TagExpiration", isoDayAt(5, 10, 0)}}); };
    for (const auto& [category, minute] :
         {std::pair{"Vehicle", 1}, {"Vehicle", 3}, {"Driver", 0}}) {
        addRow(s, "AutomationServer_Emails",
               {{"Category", category},
                {"Item", "Tag Expiration"},
                {"ItemID", at10()},
                {"ItemKey", isoDayAt(5, 10, minute)}});
    }
    for (const db::Value& when : {isoDayAt(5, 15, 30), isoDay(4)}) {
        s.exec("UPDATE Issues SET Status='Closed' WHERE ID = ?",
               {autoIssue("Tag Expiration", at10(), when)});
    }
    run(2);
    EXPECT_EQ(rows("SELECT ID,(SELECT COUNT(*) FROM AutomationServer_Emails WHERE ItemID = "
                   "Vehicle.ID),(SELECT COUNT(*) FROM Issues WHERE ItemID = Vehicle.ID AND "
                   "Status = 'Open') FROM Vehicle ORDER BY ID"),
              "1|1|1|\n"    // notified a minute off the date: not again
              "2|2|1|\n"    // three minutes off: again
              "3|2|1|\n"    // in another category: again
              "4|1|0|\n"    // an issue of the same day, closed since: none raised
              "5|1|1|\n");  // one of the day before: raised

    // The issue-due rule notifies and raises each open issue once, never the issues it raised.
    const auto total = [&](const std::string& table) {
        return s.count("SELECT COUNT(*) FROM " + table);
    };
    const auto issues = total("Issues"), records = total("AutomationServer_Emails");
    for (int runs = 0; runs < 3; ++runs) {
        run(78);
    }
    const auto open =
        s.count("SELECT COUNT(*) FROM Issues WHERE Status='Open' AND AUTO_Item='Tag Expiration'");
    EXPECT_EQ(total("Issues"), issues + open);
    EXPECT_EQ(total("AutomationServer_Emails"), records + open);
}

}  // namespace
}  // namespace fas::test
