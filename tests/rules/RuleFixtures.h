#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "db/DateTime.h"
#include "db/Value.h"
#include "state/RuleState.h"
#include "support/TestDatabase.h"

namespace fas::test {

// Today plus some days, at midnight or at a time of day.
db::DateTime day(int offset);
db::DateTime dayAt(int offset, int hour, int minute);
// How the embedded database holds a date alone ("2027-03-15") or with a time of day.
db::Value dateOnly(const db::DateTime& date);
db::Value dateAndTime(const db::DateTime& date);

using Columns = std::vector<std::pair<std::string, db::Value>>;

// Inserts one row and returns its ID. Column names are fixed test texts; values are bound.
std::int64_t addRow(OpenState& s, const std::string& table, const Columns& columns);

std::int64_t addEmployee(OpenState& s, const db::Value& email);

// A contract with its customer, manager and specialists.
struct ContractSpec {
    db::Value customerName = "Acme Haulage";
    int hasmat = 0;
    db::Value managerEmail = "manager@acme.test";
    std::vector<db::Value> specialistEmails = {};
    std::string status = "Active";
    int muted = 0;       // DisableEmailNotifications
    Columns extra = {};  // client addresses, contract dates...
};
std::int64_t addContract(OpenState& s, const ContractSpec& given = {});

// One AutomationServer_Alert row.
struct AlertSpec {
    std::string item = {};
    db::Value emailManager = 1;
    db::Value emailSpecialist = 0;
    db::Value emailClient = 0;
    db::Value daysInAdvance = 30;
    db::Value createIssue = 1;
    db::Value issueDays = 14;
    db::Value priority = "High";
    db::Value autoClose = 1;
};
void addAlert(OpenState& s, const AlertSpec& given);

// An item row of a contract whose date column holds `date`; other columns as given.
std::int64_t addVehicle(OpenState& s, std::int64_t contractId, const std::string& dateColumn,
                        const db::Value& date, Columns extra = {});
std::int64_t addDriver(OpenState& s, std::int64_t contractId, const std::string& dateColumn,
                       const db::Value& date, Columns extra = {});

// An automatic issue as an earlier run would have left it.
std::int64_t addAutoIssue(OpenState& s, const std::string& item, std::int64_t itemId,
                          const db::Value& autoDate, const std::string& status = "Open");

struct OutboxRow {
    std::string to;
    std::string subject;
    std::string body;
};
std::vector<OutboxRow> outbox(OpenState& s);
std::vector<std::string> outboxRecipients(OpenState& s);

// The IDs of the items notified (AutomationServer_Emails) or issued (automatic Issues) for an
// item name, in ascending order.
std::vector<std::int64_t> notifiedItems(OpenState& s, const std::string& item);
std::vector<std::int64_t> issuedItems(OpenState& s, const std::string& item);

// The rule catalog's arguments of the steps that call the three rule processors: 1 to 19 and 77
// to 81.
RuleParameters catalogStep(int step);

// A fresh schema database with the shared connection open and a company that sends alerts.
class RuleDatabaseTest : public ::testing::Test {
  protected:
    RuleDatabaseTest();
    OpenState s;
    ServerState& state() { return s.state; }
};

}  // namespace fas::test
