#include <string>

#include "db/Recordset.h"
#include "housekeeping/ClosingPasses.h"
#include "rules/AlertStatements.h"

namespace fas::housekeeping {
namespace {

// Table and Condition are fixed catalog fragments; the item is bound. Condition follows "WHERE "
// directly and brings its own leading blank.
std::string closingQuery(const RuleParameters& params) {
    return "SELECT " + params.Table +
           ".*,I1.IssueID FROM (SELECT ID AS IssueID,ItemID FROM Issues WHERE Status='Open' AND "
           "EnteredBy = 'AUTO SERVER' AND AUTO_Item = ?) I1 LEFT JOIN " +
           params.Table + " ON I1.ItemID = " + params.Table + ".ID  WHERE " + params.Condition;
}

// An issue whose item row is gone meets the condition only where it holds for Nulls.
void closeIssuesMeetingCondition(ServerState& state) {
    RuleState& ruleState = state.rules;
    ruleState.sql = closingQuery(ruleState.params);
    // Static, as the walk closes the issues it reads; it needs their IDs only.
    for (db::Recordset rs =
             state.db.query(ruleState.sql, {db::Value(ruleState.params.Item)}, {"IssueID"});
         !rs.eof(); rs.moveNext()) {
        state.control.checkpoint();
        rules::CloseAutoIssue(state, rs.int64("IssueID"));
    }
}

}  // namespace

void CloseExcludedIssues(ServerState& state, const RuleParameters& params) {
    rules::SetRuleParameters(state, params);
    rules::LoadAlertSettings(state, state.rules.params.Item);
    if (!state.rules.settings.AutoCloseIssue) {
        return;
    }
    closeIssuesMeetingCondition(state);
}

void CloseResolvedIssues(ServerState& state, const RuleParameters& params) {
    rules::SetRuleParameters(state, params);
    closeIssuesMeetingCondition(state);
}

}  // namespace fas::housekeeping
