#pragma once

// A compliance database with a company that sends alerts, and builders for the rows the rules
// read: what the rule and housekeeping suites share.

#include <string>

#include "support/Site.h"
#include "tasks/CatalogTable.h"
#include "tasks/RuleCatalog.h"

namespace fas::test {

struct ComplianceSite {
    OpenState s;

    ComplianceSite() {
        s.state.company.Name = "Fleet Safety Services";
        s.state.company.AutomationServerEmailFrom = "alerts@fleetsafety.test";
        s.state.company.AutomationServerEmailFooter = "Fleet Safety Services, compliance desk";
    }
    static const RuleParameters& params(int step) {
        return tasks::CatalogTable().at(static_cast<std::size_t>(step - 1)).params;
    }
    void run(int step) { tasks::RuleCatalog().at(static_cast<std::size_t>(step - 1)).run(s.state); }

    // clang-format off
    // Notify the manager 30 days ahead, raise a High issue 14 days ahead, close automatically.
    void alert(const std::string& item, const Columns& overrides = {}) {
        addRow(s, "AutomationServer_Alert", with({{"Item", item}, {"Category", "Alerts"}, {"EmailContractManager", 1},
            {"EmailContractSpecialist", 0}, {"EmailClient", 0}, {"DaysInAdvance", 30}, {"CreateIssue", 1},
            {"CreateIssueDaysInAdvance", 14}, {"IssuePriority", "High"}, {"AutoCloseIssue", 1}}, overrides));
    }
    std::int64_t employee(const db::Value& email) {
        return addRow(s, "Employee", {{"FirstName", "Pat"}, {"LastName", "Lee"}, {"Email", email}});
    }
    // An active contract of "Acme Haulage", managed by manager@acme.test.
    std::int64_t contract(const Columns& overrides = {}, const Columns& customer = {}) {
        const auto cu = addRow(s, "Customer", with({{"Name", "Acme Haulage"}, {"Hasmat", 0}}, customer));
        return addRow(s, "ServiceContract", with({{"CustomerID", cu}, {"ContractManagerID", employee("manager@acme.test")},
            {"Status", "Active"}, {"DisableEmailNotifications", 0}}, overrides));
    }
    std::int64_t vehicle(std::int64_t contractId, const Columns& overrides) {
        return addRow(s, "Vehicle", with({{"ContractID", contractId}, {"Unit", "T-100"}, {"VIN", "1FUJGLDR5CLBP8834"},
            {"UnitYear", "2019"}, {"Make", "Freightliner"}}, overrides));
    }
    std::int64_t driver(std::int64_t contractId, const Columns& overrides = {}) {
        return addRow(s, "Driver", with({{"ContractID", contractId}, {"LastName", "Smith"}, {"FirstName", "John"},
            {"MiddleName", "Q"}, {"CDL", 1}}, overrides));
    }
    std::int64_t training(std::int64_t contractId, const db::Value& driverId, const db::Value& expires,
                          const Columns& overrides = {}) {
        return addRow(s, "Training", with({{"ContractID", contractId}, {"DriverID", driverId},
            {"TopicID", addRow(s, "TrainingTopic", {{"Name", "Forklift"}})}, {"ExpireDate", expires}, {"Expires", 1}},
            overrides));
    }
    // An automatic issue as an earlier run left it.
    std::int64_t autoIssue(const std::string& item, std::int64_t itemId, const db::Value& autoDate) {
        return addRow(s, "Issues", {{"ContractID", 1}, {"Category", "Vehicle"}, {"ItemID", itemId},
            {"ItemDesc", "earlier"}, {"DueDate", autoDate}, {"Description", "(AUTO ISSUE) earlier"}, {"Status", "Open"},
            {"EnteredBy", "AUTO SERVER"}, {"AUTO_Item", item}, {"Auto_Date", autoDate}});
    }
    // clang-format on

    // The rows `sql` selects, one line each, every column followed by '|' (Null as empty text).
    std::string rows(const std::string& sql, const db::Params& values = {}) {
        std::string out;
        for (auto rs = s.read(sql, values); !rs.eof(); rs.moveNext()) {
            for (const std::string& column : rs.columns()) {
                out += rs.joined(column) + "|";
            }
            out += "\n";
        }
        return out;
    }
};

}  // namespace fas::test
