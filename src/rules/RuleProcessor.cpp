#include "rules/RuleProcessor.h"

#include <string>
#include <string_view>
#include <vector>

#include "db/Database.h"
#include "db/DateTime.h"
#include "db/Errors.h"
#include "db/Recordset.h"
#include "rules/AlertStatements.h"
#include "rules/Recipients.h"
#include "rules/Sentences.h"
#include "state/StepUnit.h"

namespace fas::rules {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kRowSeparator = "******************************************************";
constexpr std::string_view kIssuePrefix = "(AUTO ISSUE) ";

// What a notified or issued row is told by.
struct RowTexts {
    std::string subject;
    std::string body;
    std::string issueDescription;
};

db::DateTime limitAfterDays(std::int64_t days) {
    return db::DateTime::todayLocal().addDays(days);
}

// The date-expiry sentences of the row; the drug and alcohol test sentences name the test type.
Sentences dateExpirySentences(ServerState& state, const RuleParameters& p, const db::Recordset& rs,
                              const std::string& desc, const std::string& date) {
    SentenceValues values{date, desc, {}};
    if (SentencesNameTestType(p.Item)) {
        values.testType = GetTestTypeName(state, rs.value("TestTypeID"));
    }
    return DateExpirySentences(p.Item, values);
}

// Subject, body and issue description of a row. Missing display texts (a contract without a
// customer name, a row whose description comes out Null) read as empty text.
RowTexts rowTexts(ServerState& state, RuleKind kind, const RuleParameters& p,
                  const db::Recordset& rs, const std::string& date, bool needBody) {
    const std::string desc = rs.joined("tmpDescField");
    RowTexts texts;
    std::string body;
    switch (kind) {
        case RuleKind::DateExpiry: {
            const Sentences s = dateExpirySentences(state, p, rs, desc, date);
            texts.subject = s.subject;
            texts.issueDescription = std::string(kIssuePrefix) + s.issue;
            if (needBody) {
                body.append("Client: ").append(rs.joined("CustomerName")).append(kCrLf);
                body.append("Item ID: ").append(rs.joined("ID")).append(kCrLf);
                body.append(desc).append(kCrLf).append(kCrLf);
                body.append(s.bodyLine).append(kCrLf);
                body.append(kRowSeparator).append(kCrLf);
            }
            break;
        }
        case RuleKind::TrainingExpiry: {
            const std::string sentence = TrainingExpirySentence(desc, date);
            texts.subject = sentence;
            texts.issueDescription = std::string(kIssuePrefix) + sentence;
            if (needBody) {
                body.append("Client: ").append(rs.joined("CustomerName")).append(kCrLf);
                body.append("Item ID: ").append(rs.joined("ID")).append(kCrLf);
                body.append(sentence).append(kCrLf).append(kCrLf);
                body.append(kRowSeparator).append(kCrLf);
            }
            break;
        }
        case RuleKind::ContractDate: {
            // The contract's own sentence, so its outbox rows do not carry whatever subject an
            // earlier rule left behind.
            const std::string sentence = p.Item + ": " + date;
            texts.subject = sentence;
            texts.issueDescription = std::string(kIssuePrefix) + sentence;
            if (needBody) {
                body.append("Client: ").append(rs.joined("CustomerName")).append(kCrLf);
                body.append(desc).append(kCrLf).append(kCrLf);
                body.append(sentence);
                for (int i = 0; i < 4; ++i) {
                    body.append(kCrLf);
                }
                body.append(state.company.AutomationServerEmailFooter);
            }
            break;
        }
    }
    texts.body = std::move(body);
    return texts;
}

std::string clientAddress(ServerState& state, RuleKind kind, const RuleParameters& p,
                          std::int64_t contractId, const db::Recordset& rs) {
    // An issue's due date goes to the client address of the issue's own category.
    if (kind != RuleKind::ContractDate && p.Category == "Issue") {
        return GetClientEmail(state, contractId,
                              GetIssueCategory(state, contractId, rs.int64("ID")));
    }
    return GetClientEmail(state, contractId, p.Category);
}

// The issue-due rule walks the Issues table itself. An automatic issue it raised is not an item
// of its own: otherwise every run would raise, and notify, an issue about the issue the run
// before had raised, one more each run for as long as the first one is open.
bool isOwnAutoIssue(RuleKind kind, const RuleParameters& p, const db::Recordset& rs) {
    return kind == RuleKind::DateExpiry && p.Table == "Issues" &&
           rs.joined("EnteredBy") == "AUTO SERVER" && rs.joined("AUTO_Item") == p.Item;
}

void autoClosePhase(ServerState& state, RuleKind kind, const RuleParameters& p) {
    RuleState& rules = state.rules;
    rules.sql = AutoCloseQuery(kind, p);
    // Static, as the walk closes the issues it reads; it needs their IDs only.
    db::Recordset rs = state.db.query(
        rules.sql,
        {db::Value(p.Item), db::Value(limitAfterDays(rules.settings.CreateIssueDaysInAdvance))},
        {"IssueID"});
    for (; !rs.eof(); rs.moveNext()) {
        state.control.checkpoint();
        CloseAutoIssue(state, rs.int64("IssueID"));
    }
}

void notificationPhase(ServerState& state, RuleKind kind, const RuleParameters& p) {
    RuleState& rules = state.rules;
    rules.sql = NotificationQuery(kind, p);
    // Read as it comes: the walk adds outbox rows and notification records of rows it has
    // passed, which no later row of the walk can match.
    db::Recordset rs =
        state.db.forward(rules.sql, {db::Value(p.Category), db::Value(p.Item),
                                     db::Value(limitAfterDays(rules.settings.DaysInAdvance))});
    for (; !rs.eof(); rs.moveNext()) {
        // Between rows, outside the row's unit: a stop keeps every notified row whole.
        state.control.checkpoint();
        if (rs.int64("EmailID") != 0 || isOwnAutoIssue(kind, p, rs)) {
            continue;  // notified for this date already, or an issue of its own
        }
        const db::DateTime date = rs.dateTime(p.Field);
        RowTexts texts = rowTexts(state, kind, p, rs, db::dateText(date), true);
        rules.subjectSentence = std::move(texts.subject);
        rules.body = std::move(texts.body);
        const std::string customer = rs.joined("CustomerName");
        const std::int64_t contractId = rs.int64("ContractID");
        const AlertSettings& settings = rules.settings;

        // Recipients first, then the row's outbox rows and its notification record as one
        // unit: a connection lost in between must neither lose the notice nor, by leaving it
        // unrecorded, queue it again on the next run.
        std::vector<std::string> recipients;
        if (settings.EmailContractManager.isTrue()) {
            recipients.push_back(rs.joined("ContractManagerEmail"));
        }
        if (settings.EmailContractSpecialist.isTrue()) {
            // Queued even without specialists: the row shows the notice had nobody to go to.
            recipients.push_back(GetSpecialistEmails(state, contractId));
        }
        if (settings.EmailClient.isTrue()) {
            std::string address = clientAddress(state, kind, p, contractId, rs);
            if (!address.empty()) {
                recipients.push_back(std::move(address));
            }
        }
        InUnit(state, [&] {
            for (const std::string& recipient : recipients) {
                QueueNotification(state, recipient, customer, rules.subjectSentence, rules.body);
            }
            // The contract rule records against the contract, which is its row.
            RecordNotification(
                state, kind == RuleKind::ContractDate ? rs.value("ContractID") : rs.value("ID"),
                date);
        });
    }
}

void issuePhase(ServerState& state, RuleKind kind, const RuleParameters& p) {
    RuleState& rules = state.rules;
    rules.sql = IssueQuery(kind, p);
    const db::Params values{db::Value(p.Item),
                            db::Value(limitAfterDays(rules.settings.CreateIssueDaysInAdvance))};
    // The walk adds issues for rows it has passed, which no later row can match, so it reads its
    // rows as they come; a walk of Issues itself keeps the rows as they were when it began (an
    // issue it raises is not one of its rows), holding only the columns it reads.
    db::Recordset rs = p.Table == "Issues"
                           ? state.db.query(rules.sql, values,
                                            {"IssueID", "EnteredBy", "AUTO_Item", p.Field,
                                             "tmpDescField", "ID", "ContractID", "TestTypeID"})
                           : state.db.forward(rules.sql, values);
    for (; !rs.eof(); rs.moveNext()) {
        state.control.checkpoint();
        if (rs.int64("IssueID") != 0 || isOwnAutoIssue(kind, p, rs)) {
            continue;  // an automatic issue of that day exists, or is the row itself
        }
        NewAutoIssue issue;
        issue.dueDate = rs.dateTime(p.Field);
        RowTexts texts = rowTexts(state, kind, p, rs, db::dateText(issue.dueDate), false);
        // A contract's issue belongs to the contract, which is also its item.
        issue.contractId = kind == RuleKind::ContractDate ? rs.value("ID") : rs.value("ContractID");
        issue.category = p.Category;
        issue.itemId = rs.value("ID");
        issue.itemDesc = rs.joined("tmpDescField");
        issue.issueDate = db::DateTime::todayLocal();
        issue.description = std::move(texts.issueDescription);
        InsertAutoIssue(state, issue);
    }
}

// Runs one phase; a failure names the phase and the rule item besides the statement and column.
template <typename Phase>
void runPhase(std::string_view phase, const RuleParameters& p, Phase&& run) {
    const auto where = [&] {
        return std::string(" (") + std::string(phase) + " of rule item '" + p.Item + "')";
    };
    try {
        run();
    } catch (const db::ConversionError& e) {
        throw db::ConversionError(e.what() + where());
    } catch (const db::DatabaseError& e) {
        throw db::DatabaseError(e, e.what() + where());
    }
}

}  // namespace

void RunRule(ServerState& state, const RuleParameters& params, RuleKind kind) {
    SetRuleParameters(state, params);
    const RuleParameters p = state.rules.params;

    LoadAlertSettings(state, p.Item);
    const AlertSettings& settings = state.rules.settings;

    if (settings.AutoCloseIssue) {
        runPhase("closing", p, [&] { autoClosePhase(state, kind, p); });
    }
    if (settings.EmailContractManager.isTrue() || settings.EmailContractSpecialist.isTrue() ||
        settings.EmailClient.isTrue()) {
        runPhase("notifications", p, [&] { notificationPhase(state, kind, p); });
    }
    if (settings.CreateIssue.isTrue()) {
        runPhase("issues", p, [&] { issuePhase(state, kind, p); });
    }
}

}  // namespace fas::rules
