#include "rules/AlertStatements.h"

#include <algorithm>
#include <utility>

#include "db/Errors.h"
#include "db/Recordset.h"

namespace fas::rules {
namespace {

constexpr std::string_view kLoadAlertSettings =
    "SELECT * FROM AutomationServer_Alert WHERE Item = ?";

// ISNULL: Null + text is Null, and the close note of an issue without description would be lost.
constexpr std::string_view kCloseAutoIssue =
    "UPDATE Issues SET Description = ISNULL(Description,'') + ?,Status = ?,EditedBy='AUTO SERVER',"
    "EditedDate=? WHERE ID = ?";

constexpr std::string_view kInsertAutoIssue =
    "INSERT INTO Issues (ContractID,Category,ItemID,ItemDesc,IssueDate,DueDate,Description,Status,"
    "Priority,EnteredBy,EnteredDate,EditedBy,EditedDate,AUTO_Item,Auto_Date) VALUES "
    "(?,?,?,?,?,?,?,?,?,'AUTO SERVER',?,'AUTO SERVER',?,?,?)";

// Two blanks before VALUES, as the outbox statements have always been written.
constexpr std::string_view kQueueNotification =
    "INSERT INTO AutomationServer_EmailsSent (EmailFrom,EmailFromName,EmailTo,EmailSubject,"
    "EmailBody,EmailSent)  VALUES (?,?,?,?,?,0)";

constexpr std::string_view kRecordNotification =
    "INSERT INTO AutomationServer_Emails (EmailDate,Category,Item,ItemID,ItemKey,ContractManager,"
    "ContractSpecialist,Client)  VALUES (?,?,?,?,?,?,?,?)";

db::Value flagValue(const db::Value& flag) {
    return db::Value(flag.isTrue() ? 1 : 0);
}

// Reads one settings field; a failure names the alert item besides the column and statement, so
// the person fixing the row knows which one.
template <typename Read>
void readSetting(const std::string& item, Read&& read) {
    const std::string where = " (alert settings of item '" + item + "')";
    try {
        read();
    } catch (const db::ConversionError& e) {
        throw db::ConversionError(e.what() + where);
    } catch (const db::DatabaseError& e) {
        throw db::DatabaseError(e, e.what() + where);
    }
}

}  // namespace

std::string StripApostrophes(std::string_view text) {
    std::string result(text);
    result.erase(std::remove(result.begin(), result.end(), '\''), result.end());
    return result;
}

void SetRuleParameters(ServerState& state, RuleParameters params) {
    state.rules.params = std::move(params);
}

void LoadAlertSettings(ServerState& state, const std::string& item) {
    state.rules.sql = kLoadAlertSettings;
    const db::Recordset rs = state.db.query(state.rules.sql, {db::Value(item)});
    if (rs.empty()) {
        return;  // the settings of the previous lookup stay in effect
    }
    // Each field is stored the moment it is read: a failure part-way keeps the earlier ones.
    AlertSettings& s = state.rules.settings;
    readSetting(item, [&] { s.Category = rs.text("Category"); });
    readSetting(item, [&] { s.EmailContractManager = rs.value("EmailContractManager"); });
    readSetting(item, [&] { s.EmailContractSpecialist = rs.value("EmailContractSpecialist"); });
    readSetting(item, [&] { s.EmailClient = rs.value("EmailClient"); });
    readSetting(item, [&] { s.DaysInAdvance = rs.int32("DaysInAdvance"); });
    readSetting(item, [&] { s.CreateIssue = rs.value("CreateIssue"); });
    readSetting(item, [&] { s.CreateIssueDaysInAdvance = rs.int16("CreateIssueDaysInAdvance"); });
    readSetting(item, [&] { s.IssuePriority = rs.value("IssuePriority"); });
    readSetting(item, [&] { s.AutoCloseIssue = rs.boolean("AutoCloseIssue"); });
}

void CloseAutoIssue(ServerState& state, std::int64_t issueId) {
    CloseAutoIssue(state, issueId, "Closed");
}

void CloseAutoIssue(ServerState& state, std::int64_t issueId, std::string_view status) {
    RuleState& rules = state.rules;
    rules.closeIssueId = issueId;
    rules.closeStatus = status;
    rules.closeNote = "\r\n\r\n(AUTO CLOSED " + db::dateText(db::DateTime::nowLocal()) + ")";
    rules.sql = kCloseAutoIssue;
    state.db.execute(rules.sql, {db::Value(rules.closeNote), db::Value(rules.closeStatus),
                                 db::Value(db::DateTime::nowLocal()), db::Value(issueId)});
    state.counters.addIssueClosed();
}

void InsertAutoIssue(ServerState& state, const NewAutoIssue& issue) {
    RuleState& rules = state.rules;
    rules.sql = kInsertAutoIssue;
    state.db.execute(rules.sql,
                     {
                         issue.contractId, db::Value(issue.category), issue.itemId,
                         db::Value(StripApostrophes(issue.itemDesc)), db::Value(issue.issueDate),
                         db::Value(issue.dueDate), db::Value(StripApostrophes(issue.description)),
                         db::Value("Open"), db::Value(rules.settings.IssuePriority.joined()),
                         db::Value(db::DateTime::nowLocal()),  // EnteredDate
                         db::Value(db::DateTime::nowLocal()),  // EditedDate
                         db::Value(rules.params.Item),
                         db::Value(issue.dueDate),  // Auto_Date
                     });
    state.counters.addIssueCreated();
}

void QueueNotification(ServerState& state, const std::string& emailTo,
                       const std::string& customerName, const std::string& sentence,
                       const std::string& body) {
    state.rules.sql = kQueueNotification;
    state.db.execute(state.rules.sql, {
                                          db::Value(state.company.AutomationServerEmailFrom),
                                          db::Value(state.company.Name),
                                          db::Value(emailTo),
                                          db::Value(StripApostrophes(customerName) + " - " +
                                                    StripApostrophes(sentence)),
                                          db::Value(StripApostrophes(body)),
                                      });
    ++state.report.notificationsQueued;
}

void RecordNotification(ServerState& state, const db::Value& itemId, const db::DateTime& itemDate) {
    RuleState& rules = state.rules;
    rules.sql = kRecordNotification;
    state.db.execute(rules.sql, {
                                    db::Value(db::DateTime::nowLocal()),
                                    db::Value(rules.params.Category),
                                    db::Value(rules.params.Item),
                                    itemId,
                                    db::Value(itemDate),
                                    flagValue(rules.settings.EmailContractManager),
                                    flagValue(rules.settings.EmailContractSpecialist),
                                    flagValue(rules.settings.EmailClient),
                                });
}

}  // namespace fas::rules
