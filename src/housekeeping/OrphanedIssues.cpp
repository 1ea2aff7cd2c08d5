#include <array>
#include <string_view>

#include "housekeeping/ClosingPasses.h"

namespace fas::housekeeping {
namespace {

// One statement per item table, run in this order. The category texts stay as they are, including
// 'Registration Doc': other software may raise issues under any of them.
constexpr std::array<std::string_view, 7> kCloseOrphans = {
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN Driver ON Issues.ItemID=Driver.ID "
    "WHERE Issues.Category='Driver' AND Driver.ID IS NULL",
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN Vehicle ON Issues.ItemID=Vehicle.ID "
    "WHERE Issues.Category='Vehicle' AND Vehicle.ID IS NULL",
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN RoadsideInspection ON "
    "Issues.ItemID=RoadsideInspection.ID WHERE Issues.Category='Roadside Inspection' AND "
    "RoadsideInspection.ID IS NULL",
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN SafetyScore ON "
    "Issues.ItemID=SafetyScore.ID WHERE Issues.Category='Safety Score' AND SafetyScore.ID IS NULL",
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN Accident ON Issues.ItemID=Accident.ID "
    "WHERE Issues.Category='Accident' AND Accident.ID IS NULL",
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN DrugAlcoholTest ON "
    "Issues.ItemID=DrugAlcoholTest.ID WHERE Issues.Category='Drug & Alcohol Test' AND "
    "DrugAlcoholTest.ID IS NULL",
    "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN RegistrationDoc ON "
    "Issues.ItemID=RegistrationDoc.ID WHERE Issues.Category='Registration Doc' AND "
    "RegistrationDoc.ID IS NULL",
};

}  // namespace

void CloseOrphanedIssues(ServerState& state) {
    for (const std::string_view statement : kCloseOrphans) {
        state.db.execute(statement);
    }
}

}  // namespace fas::housekeeping
