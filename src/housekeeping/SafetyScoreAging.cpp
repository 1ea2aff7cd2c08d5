#include "db/Recordset.h"
#include "housekeeping/ClosingPasses.h"
#include "rules/AlertStatements.h"

namespace fas::housekeeping {
namespace {

// Aged by the database clock, so every copy of the server agrees whatever its own clock says.
constexpr std::string_view kAgedSafetyScoreIssues =
    "SELECT ID FROM Issues WHERE Status='Open' AND EnteredBy = 'AUTO SERVER' AND AUTO_Item LIKE "
    "'Safety Score: %' AND (DATEADD(day,30,Issues.EnteredDate)<GETDATE())";

}  // namespace

void CloseAgedSafetyScoreIssues(ServerState& state) {
    state.rules.sql = kAgedSafetyScoreIssues;
    for (db::Recordset rs = state.db.query(state.rules.sql, {}, {"ID"}); !rs.eof(); rs.moveNext()) {
        state.control.checkpoint();
        rules::CloseAutoIssue(state, rs.int64("ID"), "Non-Resolvable");
    }
}

}  // namespace fas::housekeeping
