// The rule processors on rows as the other software writes them, each run as the catalog runs it.

#include <functional>

#include <gtest/gtest.h>

#include "rules/AlertStatements.h"
#include "support/ComplianceSite.h"

namespace fas::test {
namespace {

const std::string kStars(54, '*');
const db::Value kPast("2020-03-15");

class Rules : public ::testing::Test, public ComplianceSite {};

// Which rows each kind of rule notifies (30 days ahead) and raises issues for (14 days ahead).
TEST_F(Rules, WindowsConditionsAndMutesDecideWhatIsNotifiedAndRaised) {
    for (const char* item :
         {"Tag Expiration", "HAZMAT Expire", "MCS 150 Update Due", "Training Expire"}) {
        alert(item);
    }
    const auto c = contract();
    const auto muted = contract({{"DisableEmailNotifications", 1}});
    const auto inactive = contract({{"Status", "Inactive"}});
    const auto tag = [&](const db::Value& date, std::int64_t on = 0, Columns extra = {}) {
        extra.emplace_back("TagExpiration", date);
        return vehicle(on == 0 ? c : on, extra);
    };
    const auto mcs = [&](const db::Value& date, Columns extra = {}) {
        extra.emplace_back("MCS150UpdateDue", date);
        return contract(extra);
    };
    const auto course = [&](const db::Value& date, std::int64_t on = 0, Columns who = {}) {
        const auto at = on == 0 ? c : on;
        return training(at, driver(at, who), date);
    };
    struct Case {
        int step;
        std::int64_t id;
        bool notified, issued;
    };
    const std::vector<Case> cases = {
        {2, tag(isoDay(30)), true, false},
        {2, tag(isoDay(31)), false, false},
        {2, tag(isoDayAt(30, 10, 0)), false, false},
        {2, tag(isoDay(14)), true, true},
        {2, tag(isoDayAt(14, 9, 0)), true, false},
        {2, tag(kPast), true, true},
        {2, tag(db::Value()), false, false},
        {2, tag(isoDay(2), c, {{"Suspended", 1}}), false, false},
        {2, tag(isoDay(2), muted), false, true},
        {2, tag(isoDay(2), inactive), false, false},
        {80, mcs(isoDayAt(30, 0, 0)), true, false},
        {80, mcs(isoDayAt(30, 10, 0)), false, false},
        {80, mcs(isoDay(14)), true, true},
        {80, mcs(isoDay(2), {{"DisableEmailNotifications", 1}}), true, true},
        {80, mcs(isoDay(2), {{"Status", "Inactive"}}), false, false},
        {79, contract({{"HazmatExpirationDate", isoDay(2)}}), false, false},
        {79, contract({{"HazmatExpirationDate", isoDay(2)}}, {{"Hasmat", 1}}), true, true},
        {81, course(isoDay(30)), true, false},
        {81, course(isoDay(14)), true, true},
        {81, course(isoDay(14), muted), false, true},
        {81, course(isoDay(1), c, {{"Terminated", 1}}), false, false},
        {81, training(c, 9999, isoDay(1)), false, false},
        {81, training(c, driver(c), isoDay(1), {{"Expires", 0}}), false, false},
    };
    for (const int step : {2, 79, 80, 81}) {
        run(step);
    }
    for (const Case& k : cases) {
        const std::string& item = params(k.step).Item;
        SCOPED_TRACE(item + " row " + std::to_string(k.id));
        EXPECT_EQ(notified(item).count(k.id), k.notified ? 1u : 0u);
        EXPECT_EQ(issued(item).count(k.id), k.issued ? 1u : 0u);
    }
}

// An open automatic issue closes once its row's date lies beyond the issue window, whatever the
// rule's condition says of the row; nothing else closes it.
TEST_F(Rules, AutoCloseFollowsTheDateAlone) {
    for (const char* item : {"Tag Expiration", "HAZMAT Expire", "Training Expire"}) {
        alert(item, {{"CreateIssue", 0}, {"EmailContractManager", 0}});
    }
    const auto c = contract();
    struct Case {
        std::string item;
        std::int64_t itemId;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"Tag Expiration", vehicle(c, {{"TagExpiration", isoDayAt(14, 0, 0)}}), "Open"},
        {"Tag Expiration", vehicle(c, {{"TagExpiration", isoDay(15)}, {"Suspended", 1}}), "Closed"},
        {"Tag Expiration", vehicle(c, {{"TagExpiration", db::Value()}}), "Open"},
        {"Tag Expiration", 9999, "Open"},
        {"PAI Due", vehicle(c, {{"TagExpiration", isoDay(15)}}), "Open"},
        {"HAZMAT Expire",
         contract({{"Status", "Inactive"}, {"HazmatExpirationDate", isoDay(15)}}, {{"Hasmat", 1}}),
         "Closed"},
        {"HAZMAT Expire",
         contract({{"Status", "Inactive"}, {"HazmatExpirationDate", isoDay(14)}}, {{"Hasmat", 1}}),
         "Open"},
        {"Training Expire", training(c, driver(c, {{"Terminated", 1}}), isoDay(20)), "Closed"},
        {"Training Expire", training(c, 9999, isoDay(20)), "Closed"},
        {"Training Expire", training(c, driver(c), isoDay(2)), "Open"},
    };
    std::vector<std::int64_t> issues;
    for (const Case& k : cases) {
        issues.push_back(autoIssue(k.item, k.itemId, isoDay(1)));
    }
    for (const int step : {2, 79, 81}) {
        run(step);
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(status(issues[i]), cases[i].status) << cases[i].item << " " << cases[i].itemId;
    }
    EXPECT_EQ(state().counters.issuesClosed(), 4);
    EXPECT_TRUE(outbox().empty());
}

// Each kind of rule notifies and raises a row once for one date, and once more for a renewed one.
TEST_F(Rules, NeverTwiceForTheSameDateButAgainForARenewedOne) {
    const auto c = contract();
    const std::vector<std::pair<int, std::int64_t>> rows = {
        {2, vehicle(c, {{"TagExpiration", isoDay(5)}})},
        {79, contract({{"HazmatExpirationDate", isoDayAt(6, 14, 45)}}, {{"Hasmat", 1}})},
        {80, contract({{"MCS150UpdateDue", isoDay(5)}})},
        {81, training(c, driver(c), isoDay(5))},
    };
    const auto totals = [&] {
        return std::vector<std::int64_t>{
            s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent"),
            s.count("SELECT COUNT(*) FROM AutomationServer_Emails"),
            s.count("SELECT COUNT(*) FROM Issues")};
    };
    for (const auto& [step, id] : rows) {
        SCOPED_TRACE(params(step).Item);
        alert(params(step).Item);
        const auto before = totals();
        const auto plus = [&](std::int64_t n) {
            return std::vector<std::int64_t>{before[0] + n, before[1] + n, before[2] + n};
        };
        run(step);
        EXPECT_EQ(totals(), plus(1));
        run(step);
        EXPECT_EQ(totals(), plus(1));
        s.exec("UPDATE " + params(step).Table + " SET " + params(step).Field + " = ? WHERE ID = ?",
               {isoDay(3), id});
        run(step);
        EXPECT_EQ(totals(), plus(2));
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
    for (const Case& k : cases) {
        ComplianceSite t;
        t.alert(ComplianceSite::params(k.step).Item,
                {{"EmailContractManager", k.step == 78 ? 0 : 1},
                 {"EmailClient", k.step == 78 ? 1 : 0}});
        const std::int64_t id = k.row(t);
        SCOPED_TRACE(ComplianceSite::params(k.step).Item);
        t.run(k.step);
        const auto rows = t.outbox();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].to, k.to);
        EXPECT_EQ(rows[0].subject, k.subject);
        const std::string client = k.subject.substr(0, k.subject.find(" - "));
        EXPECT_EQ(rows[0].body, k.step == 79 ? k.body
                                             : "Client: " + client + "\r\nItem ID: " +
                                                   std::to_string(id) + "\r\n" + k.body);
        auto rs = t.s.db().query("SELECT * FROM Issues WHERE EnteredBy='AUTO SERVER'");
        ASSERT_EQ(rs.rowCount(), 1u);
        EXPECT_EQ(rs.joined("Category") + "|" + rs.joined("Priority") + "|" +
                      rs.joined("ItemDesc") + "|" + rs.joined("Description"),
                  k.issue);
        EXPECT_EQ(rs.int64("ItemID"), id);
        EXPECT_EQ(rs.text("Status"), "Open");
        EXPECT_EQ(rs.dateTime("IssueDate"), db::DateTime::todayLocal());
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
    vehicle(full, {{"TagExpiration", isoDay(5)}});
    vehicle(bare, {{"TagExpiration", isoDay(6)}});
    run(2);
    std::multiset<std::string> to;
    for (const auto& row : outbox()) {
        to.insert(row.to);
    }
    EXPECT_EQ(to, (std::multiset<std::string>{"", "", "a@acme.test;b@acme.test;", "fleet@acme.test",
                                              "manager@acme.test"}));
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE ContractManager=1 AND "
                      "ContractSpecialist=1 AND Client=1"),
              2);

    s.exec("DELETE FROM AutomationServer_EmailsSent");
    vehicle(full, {{"PAIDue", isoDay(1)}});
    vehicle(bare, {{"PAIDue", isoDay(1)}});
    run(1);
    ASSERT_EQ(outbox().size(), 1u);
    EXPECT_EQ(outbox()[0].to, "fleet@acme.test");
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE Item='PAI Due' AND "
                      "ContractManager=0 AND ContractSpecialist=0 AND Client=1"),
              2);
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
    const auto earlier = [&](std::int64_t id, const char* category, int minute) {
        addRow(s, "AutomationServer_Emails",
               {{"Category", category},
                {"Item", "Tag Expiration"},
                {"ItemID", id},
                {"ItemKey", isoDayAt(5, 10, minute)}});
        return id;
    };
    const auto oneMinute = earlier(at10(), "Vehicle", 1);
    const auto threeMinutes = earlier(at10(), "Vehicle", 3);
    const auto otherCategory = earlier(at10(), "Driver", 0);
    const auto sameDay = at10();
    const auto dayBefore = at10();
    for (const auto& [id, when] :
         {std::pair{sameDay, isoDayAt(5, 15, 30)}, std::pair{dayBefore, isoDay(4)}}) {
        s.exec("UPDATE Issues SET Status='Closed' WHERE ID = ?",
               {autoIssue("Tag Expiration", id, when)});
    }
    run(2);
    for (const auto& [id, records] :
         {std::pair{oneMinute, 1}, {threeMinutes, 2}, {otherCategory, 2}}) {
        EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE ItemID = ?", {id}),
                  records);
    }
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues WHERE ItemID = ? AND Status='Open'", {sameDay}),
              0);
    EXPECT_EQ(
        s.count("SELECT COUNT(*) FROM Issues WHERE ItemID = ? AND Status='Open'", {dayBefore}), 1);

    const auto issues = s.count("SELECT COUNT(*) FROM Issues");
    const auto records = s.count("SELECT COUNT(*) FROM AutomationServer_Emails");
    for (int runs = 0; runs < 3; ++runs) {
        run(78);
    }
    const auto open =
        s.count("SELECT COUNT(*) FROM Issues WHERE Status='Open' AND AUTO_Item='Tag Expiration'");
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), issues + open);
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails"), records + open);
}

}  // namespace
}  // namespace fas::test
