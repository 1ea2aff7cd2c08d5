#include "rules/Recipients.h"

#include <array>
#include <string_view>

#include "db/Recordset.h"

namespace fas::rules {
namespace {

struct ClientColumn {
    std::string_view category;
    std::string_view column;
};

// Which ServiceContract column holds the client's address for a category of items.
constexpr std::array<ClientColumn, 11> kClientColumns{{
    {"Vehicle", "EmailVehicle"},
    {"Driver", "EmailDriver"},
    {"Accident", "EmailAccident"},
    {"Roadside Inspection", "EmailRoadsideInspection"},
    {"Drug & Alcohol Test", "EmailDrugAlcohol"},
    {"Drug And Alcohol Test", "EmailDrugAlcohol"},
    {"Drug/Alcohol Test Due", "EmailDrugAlcohol"},
    {"Registration Document", "EmailRegistrationDoc"},
    {"Safety Score", "EmailSafetyScore"},
    {"Contract", "EmailContract"},
    {"Training", "emailTraining"},
}};

const ClientColumn* clientColumnOf(const std::string& category) {
    for (const ClientColumn& entry : kClientColumns) {
        if (entry.category == category) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

std::string GetSpecialistEmails(ServerState& state, std::int64_t contractId) {
    const auto cached = state.recipients.specialists.find(contractId);
    if (cached != state.recipients.specialists.end()) {
        return cached->second;
    }
    db::Recordset rs = state.db.query(
        "SELECT Email FROM ServiceContractSpecialist LEFT JOIN Employee ON "
        "ServiceContractSpecialist.EmployeeID = Employee.ID WHERE "
        "ServiceContractSpecialist.ServiceContractID = ? ORDER BY Email",
        {db::Value(contractId)});
    std::string list;
    for (; !rs.eof(); rs.moveNext()) {
        const std::string address = rs.joined("Email");
        if (!address.empty()) {
            list += address + ";";
        }
    }
    state.recipients.specialists.emplace(contractId, list);
    return list;
}

std::string GetClientEmail(ServerState& state, std::int64_t contractId,
                           const std::string& category) {
    const auto key = std::make_pair(contractId, category);
    const auto cached = state.recipients.clientEmails.find(key);
    if (cached != state.recipients.clientEmails.end()) {
        return cached->second;
    }
    const ClientColumn* column = clientColumnOf(category);
    const db::Recordset rs =
        state.db.query("SELECT * FROM ServiceContract WHERE ID = ?", {db::Value(contractId)});
    // A Null address reads as none: contracts are kept by other software, and one incomplete
    // contract must not stop every later rule of the run.
    std::string address = rs.eof() || column == nullptr ? std::string() : rs.joined(column->column);
    state.recipients.clientEmails.emplace(key, address);
    return address;
}

std::string GetIssueCategory(ServerState& state, std::int64_t /*contractId*/,
                             std::int64_t issueId) {
    const db::Recordset rs =
        state.db.query("SELECT * FROM Issues WHERE ID = ?", {db::Value(issueId)});
    if (rs.eof()) {
        return std::to_string(issueId);
    }
    return rs.joined("Category");
}

std::string GetTestTypeName(ServerState& state, const db::Value& testTypeId) {
    if (testTypeId.isNull()) {
        return {};  // a test without a type is named by the empty text
    }
    const std::string key = testTypeId.joined();
    const auto cached = state.recipients.testTypeNames.find(key);
    if (cached != state.recipients.testTypeNames.end()) {
        return cached->second;
    }
    const db::Recordset rs = state.db.query(
        "SELECT ISNULL(Name,'') AS Name FROM DrugAlcoholTestType WHERE ID = ?", {testTypeId});
    std::string name = rs.eof() ? std::string() : rs.joined("Name");
    state.recipients.testTypeNames.emplace(key, name);
    return name;
}

}  // namespace fas::rules
