#include "startup/CompanySettingsLoader.h"

#include <string>

#include "db/Recordset.h"

namespace fas::startup {

namespace {

constexpr const char* kCompanyQuery = "SELECT TOP 1 * FROM Company";

// Reads one column with `read`, turning any failure into a message that names the column.
template <typename Read>
auto column(const db::Recordset& rs, const char* name, Read read) {
    try {
        return read(rs, name);
    } catch (const std::exception& e) {
        throw CompanySettingsError(std::string("Cannot load the company settings: column ") + name +
                                   " of the Company row: " + e.what());
    }
}

std::string text(const db::Recordset& rs, const char* name) {
    return column(rs, name, [](const db::Recordset& r, const char* n) { return r.text(n); });
}

std::string informational(const db::Recordset& rs, const char* name) {
    return column(rs, name, [](const db::Recordset& r, const char* n) { return r.joined(n); });
}

}  // namespace

void LoadCompanySettings(ServerState& state) {
    const db::Recordset rs = state.db.query(kCompanyQuery);
    if (rs.eof()) {
        return;
    }
    CompanySettings company;
    company.Name = text(rs, "Name");
    company.Address1 = informational(rs, "Address1");
    company.Address2 = informational(rs, "Address2");
    company.City = informational(rs, "City");
    company.State = informational(rs, "State");
    company.Zip = informational(rs, "Zip");
    company.Phone = informational(rs, "Phone");
    company.Fax = informational(rs, "Fax");
    company.Email = informational(rs, "Email");
    company.Website = informational(rs, "Website");
    company.AutomationServerPoll =
        column(rs, "AutomationServerPoll",
               [](const db::Recordset& r, const char* n) { return r.int16(n); });
    company.AutomationServerEmailFrom = text(rs, "AutomationServerEmailFrom");
    company.AutomationServerEmailServer = text(rs, "AutomationServerEmailServer");
    company.AutomationServerEmailServerPort = text(rs, "AutomationServerEmailServerPort");
    company.AutomationServerEmailUser = text(rs, "AutomationServerEmailUser");
    company.AutomationServerEmailPassword = text(rs, "AutomationServerEmailPassword");
    company.AutomationServerEmailUseSSLTLS =
        column(rs, "AutomationServerEmailUseSSLTLS",
               [](const db::Recordset& r, const char* n) { return r.boolean(n); });
    company.AutomationServerEmailFooter = text(rs, "AutomationServerEmailFooter");
    state.company = std::move(company);
}

}  // namespace fas::startup
