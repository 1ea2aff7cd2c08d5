// Hostile texts in every text column the rule catalog reads: the runs complete, the texts are
// stored as the system stores them, no statement but the system's own runs, and every message is
// well-formed and reaches exactly its well-formed recipients.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "db/DateTime.h"
#include "db/Recordset.h"
#include "tasks/ResultsLine.h"
#include "trust/hostileFixtures.h"

namespace fas {
namespace {

using db::DateTime;
using test::ComplianceDatabase;
using test::DatabaseContent;
using test::HostileAddressTexts;
using test::HostileCompanyTexts;
using test::HostileTexts;
using test::InProcessServer;
using test::WithoutApostrophes;

const std::string kStars(54, '*');
const std::string kCrLf = "\r\n";

// A long or unprintable text, short enough for a failure message.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 60)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x" + std::string(1, "0123456789ABCDEF"[byte >> 4]) +
                   "0123456789ABCDEF"[byte & 0x0F];
        } else {
            out += c;
        }
    }
    if (text.size() > 60) {
        out += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return "'" + out + "'";
}

std::string collapsedBlanks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const bool blank = static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
        if (blank) {
            if (!out.empty() && out.back() != ' ') {
                out += ' ';
            }
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

std::string withoutBlanksAndQuoting(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7F && c != '"' && c != '\\') {
            out += c;
        }
    }
    return out;
}

// The last `count` characters of UTF-8 text, as RIGHT() counts them.
std::string lastCharacters(const std::string& text, std::size_t count) {
    std::size_t start = text.size();
    while (start > 0 && count > 0) {
        --start;
        if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) {
            --count;
        }
    }
    return text.substr(start);
}

struct OutboxRow {
    std::int64_t id = 0;
    std::string to, from, fromName, subject, body;
    bool sent = false;
};

std::vector<OutboxRow> readOutbox(db::Database& db) {
    std::vector<OutboxRow> rows;
    for (auto rs = db.query("SELECT * FROM AutomationServer_EmailsSent ORDER BY ID"); !rs.eof();
         rs.moveNext()) {
        rows.push_back({rs.int64("ID"), rs.joined("EmailTo"), rs.joined("EmailFrom"),
                        rs.joined("EmailFromName"), rs.joined("EmailSubject"),
                        rs.joined("EmailBody"), rs.int64("EmailSent") != 0});
    }
    return rows;
}

// The outbox rows of one recipient text, in ID order: one message.
struct RecipientGroup {
    std::string to;
    std::vector<const OutboxRow*> rows;
    // Whether one of `errors` reports this message.
    bool reportedIn(const std::vector<std::string>& errors) const {
        const std::string opening = "E-mail to '" + to + "'";
        return std::any_of(errors.begin(), errors.end(),
                           [&](const std::string& e) { return e.rfind(opening, 0) == 0; });
    }
};

std::vector<RecipientGroup> groupsOf(const std::vector<OutboxRow>& outbox) {
    std::map<std::string, RecipientGroup> groups;
    for (const OutboxRow& row : outbox) {
        if (!row.to.empty()) {
            groups[row.to].to = row.to;
            groups[row.to].rows.push_back(&row);
        }
    }
    std::vector<RecipientGroup> out;
    for (auto& entry : groups) {
        out.push_back(std::move(entry.second));
    }
    return out;
}

// What one task run left: its report and counters, the statements it issued, the messages the
// mail server received during it and the database afterwards.
struct RunOutcome {
    std::vector<std::string> errors;
    std::vector<StepReport> steps;
    int emails = 0, created = 0, closed = 0;
    std::set<std::string> statements;
    std::string errorOutput;
    std::string resultsLine;
    std::vector<test::ReceivedMessage> messages;
    DatabaseContent content;
};

RunOutcome runOnce(InProcessServer& server, ComplianceDatabase& database,
                   test::SmtpTestServer& smtp) {
    const std::size_t received = smtp.messages().size();
    server.run();
    RunOutcome outcome;
    outcome.errors = server.state.report.errors;
    outcome.steps = server.state.report.steps;
    outcome.emails = server.state.counters.emails();
    outcome.created = server.state.counters.issuesCreated();
    outcome.closed = server.state.counters.issuesClosed();
    outcome.statements = server.statements;
    outcome.errorOutput = server.errorOutput;
    outcome.resultsLine = tasks::ResultsLine(server.state, DateTime::nowLocal());
    auto messages = smtp.messages();
    outcome.messages.assign(messages.begin() + static_cast<std::ptrdiff_t>(received),
                            messages.end());
    outcome.content = test::ReadDatabaseContent(database.open());
    database.close();
    return outcome;
}

// One plain and one hostile database, generated alike; the plain one is run once, the hostile one
// twice. Every test of this suite and of the suite derived from it reads what the runs left; they
// are made once for both.
class HostileInput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (second_) {
            return;
        }
        plainSmtp_ = std::make_unique<test::SmtpTestServer>();
        smtp_ = std::make_unique<test::SmtpTestServer>();
        plain_ = std::make_unique<ComplianceDatabase>(*plainSmtp_, false);
        hostile_ = std::make_unique<ComplianceDatabase>(*smtp_, true);
        {
            InProcessServer server(*plain_);
            plainRun_ = std::make_unique<RunOutcome>(runOnce(server, *plain_, *plainSmtp_));
        }
        before_ = std::make_unique<DatabaseContent>(test::ReadDatabaseContent(hostile_->open()));
        hostile_->close();
        InProcessServer server(*hostile_);
        first_ = std::make_unique<RunOutcome>(runOnce(server, *hostile_, *smtp_));
        second_ = std::make_unique<RunOutcome>(runOnce(server, *hostile_, *smtp_));
    }
    // The last suite reading the runs lets them go: the mail servers end with them.
    static void ReleaseRuns() {
        second_.reset();
        first_.reset();
        plainRun_.reset();
        before_.reset();
        hostile_.reset();
        plain_.reset();
        smtp_.reset();
        plainSmtp_.reset();
    }

    void TearDown() override { hostile_->close(); }

    db::Database& db() { return hostile_->open(); }

    // The rows of a table as they were right after the first run.
    static const test::TableContent& afterFirst(const std::string& table) {
        return first_->content.tables.at(table);
    }
    static std::int64_t largestIdBefore(const std::string& table) {
        const auto& rows = before_->tables.at(table).rows;
        return rows.empty() ? 0 : rows.rbegin()->first;
    }

    static std::unique_ptr<test::SmtpTestServer> plainSmtp_, smtp_;
    static std::unique_ptr<ComplianceDatabase> plain_, hostile_;
    static std::unique_ptr<DatabaseContent> before_;
    static std::unique_ptr<RunOutcome> plainRun_, first_, second_;
};

std::unique_ptr<test::SmtpTestServer> HostileInput::plainSmtp_, HostileInput::smtp_;
std::unique_ptr<ComplianceDatabase> HostileInput::plain_, HostileInput::hostile_;
std::unique_ptr<DatabaseContent> HostileInput::before_;
std::unique_ptr<RunOutcome> HostileInput::plainRun_, HostileInput::first_, HostileInput::second_;

bool isDispatchStep(const StepReport& step) {
    return step.label.find("outbox dispatch") != std::string::npos;
}

TEST_F(HostileInput, EveryRunCompletesAndOnlyRefusedAddressesAreReported) {
    EXPECT_TRUE(plainRun_->errors.empty()) << plainRun_->errors.front();
    for (const RunOutcome* run : {first_.get(), second_.get()}) {
        for (const StepReport& step : run->steps) {
            if (!isDispatchStep(step)) {
                EXPECT_TRUE(step.errors.empty()) << step.label << ": " << shown(step.errors[0]);
            }
        }
        // The results list gets one line per run, whatever the errors quote.
        EXPECT_EQ(run->resultsLine.find_first_of("\r\n"), std::string::npos)
            << shown(run->resultsLine);
        EXPECT_NE(run->resultsLine.find("  Errors: " + std::to_string(run->errors.size()) + " ("),
                  std::string::npos);
        for (const std::string& error : run->errors) {
            EXPECT_EQ(error.rfind("E-mail to '", 0), 0U) << shown(error);
            EXPECT_NE(run->errorOutput.find(error), std::string::npos)
                << "not on standard error: " << shown(error);
        }
    }
    EXPECT_GT(first_->created, 100);
    EXPECT_GT(first_->closed, 20);
    EXPECT_GT(first_->emails, 10);
    // The hostile run did what the plain one did: its texts changed no decision.
    EXPECT_EQ(first_->created, plainRun_->created);
    EXPECT_EQ(first_->closed, plainRun_->closed);
    EXPECT_EQ(second_->created, 0);
    EXPECT_EQ(second_->closed, 0);
    EXPECT_EQ(second_->emails, 0);

    const auto& log = afterFirst("AutomationServer_Log").rows;
    ASSERT_EQ(log.size(), 1U) << "the first run wrote its log row";
    EXPECT_EQ(second_->content.tables.at("AutomationServer_Log").rows.size(), 2U);
}

TEST_F(HostileInput, NoStatementButTheSystemsOwnRuns) {
    // Values are bound, never part of a statement: the hostile run issues exactly the statement
    // texts the plain run issues.
    std::vector<std::string> onlyHostile, onlyPlain;
    std::set_difference(first_->statements.begin(), first_->statements.end(),
                        plainRun_->statements.begin(), plainRun_->statements.end(),
                        std::back_inserter(onlyHostile));
    std::set_difference(plainRun_->statements.begin(), plainRun_->statements.end(),
                        first_->statements.begin(), first_->statements.end(),
                        std::back_inserter(onlyPlain));
    for (const std::string& sql : onlyHostile) {
        ADD_FAILURE() << "only in the hostile run: " << shown(sql);
    }
    for (const std::string& sql : onlyPlain) {
        ADD_FAILURE() << "only in the plain run: " << shown(sql);
    }
    EXPECT_GT(first_->statements.size(), 100U);

    // Nor is a number read from a row: no two statement texts differ only in their digits.
    std::map<std::string, std::string> byShape;
    for (const std::string& sql : first_->statements) {
        std::string shape;
        for (const char c : sql) {
            if (c < '0' || c > '9') {
                shape += c;
            } else if (shape.empty() || shape.back() != '#') {
                shape += '#';
            }
        }
        const auto [seen, added] = byShape.emplace(shape, sql);
        EXPECT_TRUE(added) << "a value in the statement text: " << shown(seen->second) << " and "
                           << shown(sql);
    }

    std::vector<std::string> planted = HostileTexts();
    planted.insert(planted.end(), HostileAddressTexts().begin(), HostileAddressTexts().end());
    const auto& company = HostileCompanyTexts();
    planted.insert(planted.end(), {company.name, company.from, company.footer});
    for (const RunOutcome* run : {first_.get(), second_.get()}) {
        for (const std::string& sql : run->statements) {
            for (const std::string& text : planted) {
                if (text.size() >= 3) {
                    EXPECT_EQ(sql.find(WithoutApostrophes(text)), std::string::npos)
                        << shown(text) << " in " << shown(sql);
                }
            }
        }
    }
}

TEST_F(HostileInput, WhatTheRunsDoNotWriteStaysAsItWas) {
    const std::map<std::string, std::set<std::string>> writable = {
        {"Issues", {"Description", "Status", "EditedBy", "EditedDate"}},
        {"ServiceContract", {"DisableEmailNotifications", "EnableNotificationsAtTime"}},
        {"AutomationServer_EmailsSent", {"EmailSent", "DateSent"}},
        {"AutomationServer_Emails", {}},
        {"AutomationServer_Log", {}},
    };
    const DatabaseContent& after = second_->content;
    EXPECT_EQ(after.schema, before_->schema) << "no table or index was created or dropped";
    ASSERT_EQ(after.tables.size(), before_->tables.size());
    for (const auto& [table, was] : before_->tables) {
        ASSERT_EQ(after.tables.count(table), 1U) << table;
        const test::TableContent& now = after.tables.at(table);
        ASSERT_EQ(now.columns, was.columns) << table;
        const auto allowed = writable.find(table);
        if (allowed == writable.end()) {
            EXPECT_TRUE(now.rows == was.rows) << table << " changed";
            continue;
        }
        for (const auto& [id, row] : was.rows) {
            ASSERT_EQ(now.rows.count(id), 1U) << table << " row " << id << " is gone";
            const auto& nowRow = now.rows.at(id);
            for (std::size_t c = 0; c < was.columns.size(); ++c) {
                if (nowRow[c] == row[c]) {
                    continue;
                }
                const std::string& column = was.columns[c];
                EXPECT_EQ(allowed->second.count(column), 1U)
                    << table << " row " << id << " column " << column << " changed";
                if (table == "Issues" && column == "Description") {
                    // Closing appends its note to the text as it stood, apostrophes and all.
                    const std::string old = row[c].joined();
                    const std::string text = nowRow[c].joined();
                    EXPECT_EQ(text.rfind(old + "\r\n\r\n(AUTO CLOSED ", 0), 0U)
                        << "issue " << id << ": " << shown(text);
                }
            }
        }
    }
}

struct Expected {
    std::int64_t contract = 0;
    std::string desc;     // the row's description
    std::string subject;  // the subject sentence
    std::string body;     // the notification body, as built
    std::string issue;    // the issue sentence; empty when the item raises no issue
};

class HostileStoredTexts : public HostileInput {
  protected:
    static void TearDownTestSuite() { ReleaseRuns(); }

    void SetUp() override {
        outbox_ = readOutbox(db());
        for (const OutboxRow& row : outbox_) {
            byBody_.emplace(row.body, &row);
        }
        for (auto rs = db().query(
                 "SELECT ServiceContract.ID, Customer.Name AS CustomerName, Employee.Email AS "
                 "ManagerEmail FROM ServiceContract LEFT JOIN Customer ON Customer.ID = "
                 "ServiceContract.CustomerID LEFT JOIN Employee ON Employee.ID = "
                 "ServiceContract.ContractManagerID");
             !rs.eof(); rs.moveNext()) {
            customer_[rs.int64("ID")] = rs.joined("CustomerName");
            manager_[rs.int64("ID")] = rs.joined("ManagerEmail");
        }
    }

    static std::string itemBody(const std::string& customer, std::int64_t id,
                                const std::string& desc, const std::string& line) {
        return "Client: " + customer + kCrLf + "Item ID: " + std::to_string(id) + kCrLf + desc +
               kCrLf + kCrLf + line + kCrLf + kStars + kCrLf;
    }

    bool active(std::int64_t contract) const { return contract != test::kInactiveContract; }

    // Checks the outbox rows and the issue of every expected row of `item`.
    void checkItem(const std::string& item, const std::string& category,
                   const std::map<std::int64_t, Expected>& expected) {
        SCOPED_TRACE(item);
        ASSERT_FALSE(expected.empty());
        const std::string priority =
            db().query("SELECT IssuePriority FROM AutomationServer_Alert WHERE Item=?", {item})
                .joined("IssuePriority");
        for (const auto& [id, e] : expected) {
            SCOPED_TRACE("item ID " + std::to_string(id));
            const std::string customer = customer_.at(e.contract);
            const auto [begin, end] = byBody_.equal_range(WithoutApostrophes(e.body));
            ASSERT_NE(begin, end) << "no outbox row with the body " << shown(e.body);
            bool toManager = false;
            for (auto it = begin; it != end; ++it) {
                const OutboxRow& row = *it->second;
                EXPECT_EQ(row.subject,
                          WithoutApostrophes(customer) + " - " + WithoutApostrophes(e.subject));
                toManager = toManager || row.to == manager_.at(e.contract);
            }
            EXPECT_TRUE(toManager) << "the manager " << shown(manager_.at(e.contract));

            if (e.issue.empty()) {
                continue;
            }
            auto rs = db().query(
                "SELECT * FROM Issues WHERE AUTO_Item=? AND ItemID=? AND EnteredBy='AUTO SERVER' "
                "AND ID>?",
                {item, id, largestIdBefore("Issues")});
            ASSERT_EQ(rs.rowCount(), 1U);
            EXPECT_EQ(rs.joined("ItemDesc"), WithoutApostrophes(e.desc));
            EXPECT_EQ(rs.joined("Description"), WithoutApostrophes("(AUTO ISSUE) " + e.issue));
            EXPECT_EQ(rs.joined("Priority"), priority) << "the priority keeps its apostrophes";
            EXPECT_EQ(rs.joined("Category"), category);
            EXPECT_EQ(rs.int64("ContractID"), e.contract);
            EXPECT_EQ(rs.joined("Status"), "Open");
        }
    }

    std::string driverName(const db::Recordset& rs) {
        return "Driver: " + rs.joined("LastName") + ", " + rs.joined("FirstName") + " " +
               rs.joined("MiddleName") + " " + rs.joined("Suffix");
    }

    std::vector<OutboxRow> outbox_;
    std::multimap<std::string, const OutboxRow*> byBody_;
    std::map<std::int64_t, std::string> customer_, manager_;
};

TEST_F(HostileStoredTexts, DriverVehicleAndTestTextsAreStoredWithoutTheirApostrophes) {
    std::map<std::int64_t, Expected> licence, otherDate, inspection, drugTest;
    for (auto rs = db().query("SELECT * FROM Driver"); !rs.eof(); rs.moveNext()) {
        if (!active(rs.int64("ContractID"))) {
            continue;
        }
        const std::string date = db::dateText(rs.dateTime("DLExpire"));
        const std::string line =
            "Driver's License Expires: " + date + " Need new copy of driver's license.";
        const std::string desc = driverName(rs);
        licence[rs.int64("ID")] = {
            rs.int64("ContractID"), desc, "Driver's License Expire: " + date,
            itemBody(customer_[rs.int64("ContractID")], rs.int64("ID"), desc, line), line};
        // The description, which holds "{date}" and the like, goes into the sentence as it is.
        const std::string other = desc + " - " + rs.joined("OtherDateDesc");
        const std::string sentence =
            "Other Date Expire: " + other + " " + db::dateText(rs.dateTime("OtherDate"));
        otherDate[rs.int64("ID")] = {
            rs.int64("ContractID"), other, sentence,
            itemBody(customer_[rs.int64("ContractID")], rs.int64("ID"), other, sentence + " "),
            sentence};
    }
    for (auto rs = db().query("SELECT * FROM Vehicle WHERE ID>2"); !rs.eof(); rs.moveNext()) {
        if (!active(rs.int64("ContractID"))) {
            continue;
        }
        // RIGHT() counts characters: the last six of a non-ASCII VIN stay whole characters.
        const std::string desc = rs.joined("Unit") + " | " + lastCharacters(rs.joined("VIN"), 6) +
                                 " | " + rs.joined("UnitYear") + " " + rs.joined("Make");
        const std::string sentence =
            "Periodic Annual Inspection (Federal) Due: " + db::dateText(rs.dateTime("PAIDue"));
        inspection[rs.int64("ID")] = {
            rs.int64("ContractID"), desc, sentence,
            itemBody(customer_[rs.int64("ContractID")], rs.int64("ID"), desc, sentence + " "),
            sentence};
    }
    for (auto rs = db().query(
             "SELECT DrugAlcoholTest.*, DrugAlcoholTestType.Name AS TypeName FROM DrugAlcoholTest "
             "LEFT JOIN DrugAlcoholTestType ON DrugAlcoholTestType.ID = "
             "DrugAlcoholTest.TestTypeID");
         !rs.eof(); rs.moveNext()) {
        if (!active(rs.int64("ContractID"))) {
            continue;
        }
        const std::string desc = "Driver: " + rs.joined("DriverName");
        const std::string type = rs.joined("TypeName");
        const std::string date = db::dateText(rs.dateTime("DueDate"));
        drugTest[rs.int64("ID")] = {rs.int64("ContractID"), desc, type,
                                    itemBody(customer_[rs.int64("ContractID")], rs.int64("ID"),
                                             desc, type + ": " + date + " "),
                                    type + ": " + date};
    }
    checkItem("DL Expire", "Driver", licence);
    checkItem("Other Date Expire", "Driver", otherDate);
    checkItem("PAI Due", "Vehicle", inspection);
    checkItem("Drug/Alcohol Test Due", "Drug & Alcohol Test", drugTest);
}

TEST_F(HostileStoredTexts, TrainingContractAndIssueTextsAreStoredWithoutTheirApostrophes) {
    std::map<std::int64_t, Expected> training, hazmat, dueIssues;
    for (auto rs = db().query(
             "SELECT Training.*, Driver.LastName, Driver.FirstName, TrainingTopic.Name AS Topic "
             "FROM Training LEFT JOIN Driver ON Driver.ID = Training.DriverID LEFT JOIN "
             "TrainingTopic ON TrainingTopic.ID = Training.TopicID");
         !rs.eof(); rs.moveNext()) {
        if (!active(rs.int64("ContractID"))) {
            continue;
        }
        const std::string desc = "Driver: " + rs.joined("LastName") + ", " +
                                 rs.joined("FirstName") + " - " + rs.joined("Topic");
        const std::string sentence = desc + " expires " + db::dateText(rs.dateTime("ExpireDate"));
        const std::string body = "Client: " + customer_[rs.int64("ContractID")] + kCrLf +
                                 "Item ID: " + std::to_string(rs.int64("ID")) + kCrLf + sentence +
                                 kCrLf + kCrLf + kStars + kCrLf;
        training[rs.int64("ID")] = {rs.int64("ContractID"), desc, sentence, body, sentence};
    }
    for (auto rs = db().query("SELECT * FROM ServiceContract"); !rs.eof(); rs.moveNext()) {
        if (!active(rs.int64("ID"))) {
            continue;
        }
        const std::string sentence =
            "HAZMAT Expire: " + db::dateText(rs.dateTime("HazmatExpirationDate"));
        // The contract's own body ends with the footer; stored, it loses its apostrophes too.
        const std::string body = "Client: " + customer_[rs.int64("ID")] + kCrLf + "HAZMAT Expire" +
                                 kCrLf + kCrLf + sentence + kCrLf + kCrLf + kCrLf + kCrLf +
                                 HostileCompanyTexts().footer;
        hazmat[rs.int64("ID")] = {rs.int64("ID"), "HAZMAT Expire", sentence, body, sentence};
    }
    for (auto rs = db().query("SELECT * FROM Issues WHERE EnteredBy='clerk' AND ItemID>=8000");
         !rs.eof(); rs.moveNext()) {
        ASSERT_TRUE(active(rs.int64("ContractID")));
        const std::string desc = rs.joined("Description") + " - " + rs.joined("ItemDesc");
        dueIssues[rs.int64("ID")] = {
            rs.int64("ContractID"), desc, "Due Date Approach",
            itemBody(customer_[rs.int64("ContractID")], rs.int64("ID"), desc,
                     "Due Date Approach: " + db::dateText(rs.dateTime("DueDate"))),
            ""};
    }
    checkItem("Training Expire", "Training", training);
    checkItem("HAZMAT Expire", "Contract", hazmat);
    checkItem("Due Date Approach", "Issue", dueIssues);
}

TEST_F(HostileStoredTexts, FreeTextsLoseOnlyTheirApostrophesAndEveryOtherTextIsKept) {
    const auto& company = HostileCompanyTexts();
    ASSERT_FALSE(outbox_.empty());
    std::set<std::string> recipients;
    for (const OutboxRow& row : outbox_) {
        SCOPED_TRACE("outbox row " + std::to_string(row.id));
        EXPECT_EQ(row.from, company.from);
        EXPECT_EQ(row.fromName, company.name) << "the company name keeps its apostrophes";
        EXPECT_EQ(row.subject.find('\''), std::string::npos) << shown(row.subject);
        EXPECT_EQ(row.body.find('\''), std::string::npos) << shown(row.body);
        EXPECT_TRUE(test::IsValidUtf8(row.subject)) << shown(row.subject);
        EXPECT_TRUE(test::IsValidUtf8(row.body)) << shown(row.body);
        recipients.insert(row.to);
    }
    // Addresses are written as they stand, apostrophes, blanks and line breaks included.
    EXPECT_EQ(recipients.count("o'brien@client.test"), 1U);
    EXPECT_EQ(recipients.count("victim@client.test\r\nBcc: spy@evil.test"), 1U);
    EXPECT_EQ(recipients.count(" padded@client.test ;\tother@client.test;"), 1U);

    std::string issueTexts, bodies;
    for (auto rs = db().query("SELECT * FROM Issues WHERE ID>?", {largestIdBefore("Issues")});
         !rs.eof(); rs.moveNext()) {
        SCOPED_TRACE("issue " + std::to_string(rs.int64("ID")));
        const std::string itemDesc = rs.joined("ItemDesc");
        const std::string description = rs.joined("Description");
        EXPECT_EQ(itemDesc.find('\''), std::string::npos) << shown(itemDesc);
        EXPECT_EQ(description.find('\''), std::string::npos) << shown(description);
        EXPECT_TRUE(test::IsValidUtf8(itemDesc)) << shown(itemDesc);
        EXPECT_TRUE(test::IsValidUtf8(description)) << shown(description);
        EXPECT_EQ(rs.joined("EnteredBy"), "AUTO SERVER");
        EXPECT_EQ(rs.value("Auto_Date"), rs.value("DueDate"));
        issueTexts += itemDesc + "\n";
    }
    for (const OutboxRow& row : outbox_) {
        bodies += row.body + "\n";
    }
    // Every text reached the issues and the messages, whole.
    for (const std::string& text : HostileTexts()) {
        if (!text.empty()) {
            EXPECT_NE(issueTexts.find(WithoutApostrophes(text)), std::string::npos) << shown(text);
            EXPECT_NE(bodies.find(WithoutApostrophes(text)), std::string::npos) << shown(text);
        }
    }
}

TEST_F(HostileStoredTexts, HousekeepingMatchesTextsExactlyAndKeepsThemAsTheyStand) {
    // Duplicates are told by their texts, whatever those hold: the older copy is closed with the
    // close note after its description as it stood, the newer one stays open.
    const auto& issues = second_->content.tables.at("Issues");
    const auto& columns = issues.columns;
    const auto column = [&](const char* name) {
        return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) -
                                        columns.begin());
    };
    std::size_t k = 0;
    for (const auto& [older, newer] : hostile_->duplicatePairs()) {
        SCOPED_TRACE("duplicate pair of " + shown(HostileTexts()[k % HostileTexts().size()]));
        const auto& closed = issues.rows.at(older);
        const auto& open = issues.rows.at(newer);
        const std::string description = HostileTexts()[(k + 1) % HostileTexts().size()];
        EXPECT_EQ(closed[column("Status")].joined(), "Closed");
        EXPECT_EQ(
            closed[column("Description")].joined().rfind(description + "\r\n\r\n(AUTO CLOSED ", 0),
            0U);
        // Its category is no item category: the orphaned-issue pass leaves it alone.
        EXPECT_EQ(open[column("Status")].joined(), "Open");
        EXPECT_EQ(open[column("Description")].joined(), description);
        ++k;
    }
    // A status that would read as active, or as settled, if pasted into a statement is neither.
    EXPECT_EQ(db().query("SELECT COUNT(*) AS N FROM Issues WHERE ContractID=? AND ID>?",
                         {test::kInactiveContract, largestIdBefore("Issues")})
                  .int64("N"),
              0);
    EXPECT_EQ(db().query("SELECT COUNT(*) AS N FROM Issues WHERE AUTO_Item='Drug/Alcohol Test Due' "
                         "AND ItemID=2 AND Status='Open'")
                  .int64("N"),
              1);
}

// The header names of a raw message, in order.
std::vector<std::string> headerNames(const std::string& raw) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < raw.size()) {
        const std::size_t end = raw.find("\r\n", at);
        if (end == std::string::npos || end == at) {
            break;
        }
        const std::string line = raw.substr(at, end - at);
        if (line[0] != ' ' && line[0] != '\t') {
            names.push_back(line.substr(0, line.find(':')));
        }
        at = end + 2;
    }
    return names;
}

TEST_F(HostileInput, EveryMessageIsWellFormedWhateverTheTextsHold) {
    const auto& company = HostileCompanyTexts();
    const std::vector<std::string> expectedHeaders = {
        "From",       "To",           "Subject",      "Date",
        "Message-ID", "MIME-Version", "Content-Type", "Content-Transfer-Encoding"};
    ASSERT_FALSE(first_->messages.empty());
    for (const auto& m : first_->messages) {
        SCOPED_TRACE("message to " + shown(m.to));
        EXPECT_EQ(m.defects, "");
        EXPECT_EQ(headerNames(m.raw), expectedHeaders) << "a text started a header of its own";
        std::size_t lineStart = 0, longestLine = 0;
        const std::size_t headerEnd = m.raw.find("\r\n\r\n");
        bool eightBitHeader = false;
        for (std::size_t i = 0; i <= m.raw.size(); ++i) {
            if (i == m.raw.size() || m.raw[i] == '\n') {
                longestLine = std::max(longestLine, i - lineStart);
                lineStart = i + 1;
            } else if (i < headerEnd) {
                eightBitHeader = eightBitHeader || static_cast<unsigned char>(m.raw[i]) >= 0x80;
            }
        }
        EXPECT_LE(longestLine, 999U) << "a line longer than 998 characters";
        EXPECT_FALSE(eightBitHeader);
        EXPECT_EQ(m.mailFrom, company.from);
        EXPECT_EQ(collapsedBlanks(m.subject), collapsedBlanks("Notification from " + company.name));
        // Readers differ in the blanks they show between encoded words of a display name; the
        // name must be there whole.
        EXPECT_EQ(withoutBlanksAndQuoting(m.from),
                  withoutBlanksAndQuoting(company.name + "<" + company.from + ">"))
            << m.from;
        // The To header names exactly the envelope's recipients.
        std::vector<std::string> listed, envelope(m.rcptTos);
        for (std::size_t at = 0; at <= m.to.size();) {
            const std::size_t comma = std::min(m.to.find(',', at), m.to.size());
            listed.push_back(collapsedBlanks(m.to.substr(at, comma - at)));
            at = comma + 1;
        }
        std::sort(listed.begin(), listed.end());
        std::sort(envelope.begin(), envelope.end());
        EXPECT_EQ(listed, envelope);
        EXPECT_EQ(m.charset, "utf-8");
        EXPECT_TRUE(test::IsValidUtf8(m.body));
    }
}

TEST_F(HostileInput, EveryWellFormedAddressGetsItsDigestAndMalformedOnesStayPending) {
    const auto& company = HostileCompanyTexts();
    const std::vector<OutboxRow> outbox = readOutbox(db());
    const std::vector<RecipientGroup> groups = groupsOf(outbox);

    // The messages the outbox calls for: one per recipient text with a well-formed address, to
    // exactly those addresses, with the bodies of its rows and the footer.
    using Message = std::pair<std::vector<std::string>, std::string>;
    std::vector<Message> expected, received;
    std::size_t partly = 0, none = 0;
    for (const RecipientGroup& group : groups) {
        SCOPED_TRACE("recipient text " + shown(group.to));
        std::vector<std::string> addresses = test::DeliverableAddresses(group.to);
        const bool allWellFormed = test::MalformedPieces(group.to).empty();
        if (addresses.empty()) {
            ++none;
            for (const OutboxRow* row : group.rows) {
                EXPECT_FALSE(row->sent) << "outbox row " << row->id << " was lost";
            }
            for (const RunOutcome* run : {first_.get(), second_.get()}) {
                EXPECT_TRUE(group.reportedIn(run->errors)) << "the refusal was not reported";
            }
            continue;
        }
        std::string body;
        for (const OutboxRow* row : group.rows) {
            EXPECT_TRUE(row->sent) << "outbox row " << row->id;
            body += row->body + kCrLf;
        }
        body += kCrLf + kCrLf + kCrLf + company.footer;
        std::sort(addresses.begin(), addresses.end());
        expected.emplace_back(addresses, body);
        if (!allWellFormed) {
            ++partly;
            EXPECT_TRUE(group.reportedIn(first_->errors))
                << "the malformed addresses were not reported";
        }
    }
    ASSERT_GT(partly, 0U);
    ASSERT_GT(none, 0U);
    ASSERT_GT(expected.size(), 5U);

    for (const auto& m : first_->messages) {
        std::set<std::string> unique(m.rcptTos.begin(), m.rcptTos.end());
        received.emplace_back(std::vector<std::string>(unique.begin(), unique.end()), m.body);
        for (const std::string& address : m.rcptTos) {
            EXPECT_EQ(address.find("evil"), std::string::npos) << shown(address);
        }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(received.begin(), received.end());
    ASSERT_EQ(received.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::string to;
        for (const std::string& address : expected[i].first) {
            to += address + " ";
        }
        EXPECT_EQ(received[i].first, expected[i].first);
        if (received[i].second != expected[i].second) {
            const auto& [a, b] =
                std::mismatch(expected[i].second.begin(), expected[i].second.end(),
                              received[i].second.begin(), received[i].second.end());
            ADD_FAILURE() << "the digest to " << to << "differs from byte "
                          << (a - expected[i].second.begin()) << ": expected "
                          << shown(std::string(a, expected[i].second.end())) << ", received "
                          << shown(std::string(b, received[i].second.end()));
        }
    }
    // The next run tries the pending rows again and sends nothing twice.
    EXPECT_TRUE(second_->messages.empty());
    EXPECT_EQ(second_->errors.size(), none);
}

// Recipient and sender texts that are no usable address, on a database whose contracts each
// notify one manager and nobody else.
class HostileRecipients : public ::testing::Test {
  protected:
    void SetUp() override {
        smtp_ = std::make_unique<test::SmtpTestServer>();
        database_ = std::make_unique<ComplianceDatabase>(*smtp_, false);
        db::Database& db = database_->open();
        db.execute("DELETE FROM ServiceContractSpecialist");
        db.execute(
            "UPDATE ServiceContract SET ContractManagerID=ID % 4 + 1,EmailVehicle='',"
            "EmailDriver='',EmailAccident='',EmailRoadsideInspection='',EmailDrugAlcohol='',"
            "EmailRegistrationDoc='',EmailSafetyScore='',EmailContract='',emailTraining=''");
    }
    void TearDown() override { database_->close(); }

    void setManagers(const std::vector<std::string>& addresses) {
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            database_->open().execute("UPDATE Employee SET Email=? WHERE ID=?",
                                      {addresses[i], static_cast<std::int64_t>(i + 1)});
        }
    }

    RunOutcome run() {
        InProcessServer server(*database_);
        return runOnce(server, *database_, *smtp_);
    }

    std::unique_ptr<test::SmtpTestServer> smtp_;
    std::unique_ptr<ComplianceDatabase> database_;
};

TEST_F(HostileRecipients, AMalformedSenderKeepsEveryMessagePendingAndReportsEachOne) {
    setManagers({"a@client.test", "b@client.test", "c@client.test", "d@client.test"});
    database_->open().execute("UPDATE Company SET AutomationServerEmailFrom=?",
                              {"alerts@ferrow-demo.test\r\nBcc: spy@evil.test"});
    const RunOutcome outcome = run();
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(outcome.emails, 0);
    EXPECT_GT(outcome.created, 0) << "the rules ran all the same";
    EXPECT_EQ(outcome.content.tables.at("AutomationServer_Log").rows.size(), 1U);
    const std::vector<OutboxRow> outbox = readOutbox(database_->open());
    const std::vector<RecipientGroup> groups = groupsOf(outbox);
    ASSERT_EQ(groups.size(), 4U);
    EXPECT_EQ(outcome.errors.size(), groups.size());
    for (const RecipientGroup& group : groups) {
        EXPECT_TRUE(group.reportedIn(outcome.errors)) << group.to;
        for (const OutboxRow* row : group.rows) {
            EXPECT_FALSE(row->sent) << "outbox row " << row->id << " was lost";
        }
    }
}

TEST_F(HostileRecipients, APieceWithoutOneAtAndADomainIsNoRecipient) {
    // Each of these passes for an address character by character, but names no mailbox: a
    // message must neither go to it nor carry it in its To header, and its rows must not be
    // taken for delivered.
    setManagers(
        {"x@@client.test", "good@client.test;x@@client.test", "--", "other@client.test;nodomain"});
    const RunOutcome outcome = run();
    std::set<std::vector<std::string>> reached;
    for (const auto& m : outcome.messages) {
        EXPECT_EQ(m.defects, "") << "message to " << shown(m.to);
        reached.insert(m.rcptTos);
    }
    const std::set<std::vector<std::string>> expected = {{"good@client.test"},
                                                         {"other@client.test"}};
    EXPECT_EQ(reached, expected);

    const std::vector<OutboxRow> outbox = readOutbox(database_->open());
    for (const RecipientGroup& group : groupsOf(outbox)) {
        const bool deliverable = group.to.find("good@") != std::string::npos ||
                                 group.to.find("other@") != std::string::npos;
        const auto marked = std::count_if(group.rows.begin(), group.rows.end(),
                                          [](const OutboxRow* row) { return row->sent; });
        EXPECT_EQ(static_cast<std::size_t>(marked), deliverable ? group.rows.size() : 0U)
            << "rows marked sent for " << shown(group.to);
        EXPECT_TRUE(group.reportedIn(outcome.errors))
            << "the malformed address in " << shown(group.to) << " was not reported";
    }
}

}  // namespace
}  // namespace fas
