#include "db/Recordset.h"
#include "housekeeping/ClosingPasses.h"
#include "rules/AlertStatements.h"

namespace fas::housekeeping {
namespace {

// A group is two or more open issues with the same ItemID, ItemDesc, ContractID, Category and
// AUTO_Item; its survivor is the newest (highest ID). Only open members of the same group are
// matched, so an issue closed long ago is never closed again and a survivor is never taken for a
// duplicate of a look-alike group in another category. Nulls never match.
constexpr std::string_view kDuplicateIssues =
    "SELECT Issues.ID FROM Issues LEFT JOIN (SELECT ItemID,ItemDesc,ContractID,Category,AUTO_Item,"
    "count(id) AS RecordCount,max(auto_date) AS MaxDate,MAX(ID) AS MaxID FROM Issues WHERE "
    "Status='Open' GROUP BY ItemID,ItemDesc,ContractID,Category,AUTO_Item HAVING count(ID)>1) I2 "
    "ON Issues.ItemID=I2.ItemID AND Issues.ItemDesc=I2.ItemDesc AND "
    "Issues.ContractID=I2.ContractID AND Issues.Category=I2.Category AND "
    "Issues.AUTO_Item=I2.AUTO_Item WHERE Issues.Status='Open' AND I2.MaxID IS NOT NULL AND "
    "I2.MaxID<>Issues.ID ORDER BY I2.MaxID,Issues.ID";

}  // namespace

void CloseDuplicateIssues(ServerState& state) {
    state.rules.sql = kDuplicateIssues;
    for (db::Recordset rs = state.db.query(state.rules.sql, {}, {"ID"}); !rs.eof(); rs.moveNext()) {
        state.control.checkpoint();
        rules::CloseAutoIssue(state, rs.int64("ID"));
    }
}

}  // namespace fas::housekeeping
