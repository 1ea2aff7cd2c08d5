#pragma once

#include <cstdint>
#include <string>

#include "db/DateTime.h"
#include "db/Value.h"
#include "support/TestDatabase.h"

namespace fas::housekeeping::issue_rows {

// One Issues row as the tests set it up; the description is "Issue <id>".
struct Issue {
    std::int64_t id = 0;
    std::string item;
    db::Value itemId{};
    std::string category = "Driver";
    std::string status = "Open";
    std::string enteredBy = "AUTO SERVER";
    db::Value itemDesc = "Smith, Ann";
    db::Value contractId = 1;
};

inline std::string initialDescription(std::int64_t id) {
    return "Issue " + std::to_string(id);
}

inline void addIssue(test::OpenState& s, const Issue& i) {
    s.exec(
        "INSERT INTO Issues (ID,ContractID,Category,ItemID,ItemDesc,Description,Status,EnteredBy,"
        "EnteredDate,EditedBy,AUTO_Item) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
        {i.id, i.contractId, i.category, i.itemId, i.itemDesc, initialDescription(i.id), i.status,
         i.enteredBy, db::DateTime::fromDate(2026, 1, 2), "ann", i.item});
}

inline std::string statusOf(test::OpenState& s, std::int64_t id) {
    return s.scalar("SELECT Status FROM Issues WHERE ID=?", {id}).asText();
}

// How many close notes the issue's description carries (0: untouched).
inline int closeNotes(test::OpenState& s, std::int64_t id) {
    const std::string description =
        s.scalar("SELECT Description FROM Issues WHERE ID=?", {id}).asText();
    const std::string note = "\r\n\r\n(AUTO CLOSED ";
    int notes = 0;
    for (std::size_t at = description.find(note); at != std::string::npos;
         at = description.find(note, at + 1)) {
        ++notes;
    }
    return notes;
}

// Closed by the close statement: status, note and stamp.
inline bool closedWithNote(test::OpenState& s, std::int64_t id,
                           const std::string& status = "Closed") {
    return statusOf(s, id) == status && closeNotes(s, id) == 1 &&
           s.scalar("SELECT EditedBy FROM Issues WHERE ID=?", {id}) == db::Value("AUTO SERVER");
}

// Not written at all.
inline bool untouched(test::OpenState& s, std::int64_t id, const std::string& status = "Open") {
    return statusOf(s, id) == status &&
           s.scalar("SELECT Description FROM Issues WHERE ID=?", {id}) ==
               db::Value(initialDescription(id)) &&
           s.scalar("SELECT EditedBy FROM Issues WHERE ID=?", {id}) == db::Value("ann");
}

}  // namespace fas::housekeeping::issue_rows
