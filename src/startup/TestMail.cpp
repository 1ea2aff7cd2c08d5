#include "startup/TestMail.h"

#include <exception>

#include "db/Connection.h"
#include "mail/MailErrors.h"
#include "mail/MailTransportFactory.h"
#include "platform/Process.h"
#include "startup/CompanySettingsLoader.h"
#include "startup/ConfigFile.h"

namespace fas::startup {

namespace {

std::string hostName() {
    return platform::HostName();
}

// The Company row as start-up reads it; the connection is closed again.
void loadCompany(ServerState& state, const std::filesystem::path& configFile) {
    ReadConfigFile(state, configFile);
    state.db.setLocation(state.DatabaseLocation, state.configDirectory);
    if (!state.db.OpenDatabase()) {
        throw std::runtime_error("Cannot open the database " +
                                 db::redactConnectionString(state.DatabaseLocation) + " named in " +
                                 configFile.string() + ": " + state.db.lastOpenError());
    }
    try {
        LoadCompanySettings(state);
    } catch (...) {
        state.db.CloseDatabase();
        throw;
    }
    state.db.CloseDatabase();
}

}  // namespace

int RunTestMail(ServerState& state, const std::filesystem::path& configFile,
                const std::string& address, std::ostream& out, std::ostream& err) {
    try {
        loadCompany(state, configFile);
    } catch (const std::exception& e) {
        err << "E-mail to '" << address << "' not sent: " << e.what() << std::endl;
        return 1;
    }
    const CompanySettings& company = state.company;
    const std::string subject = "Test message from " + company.Name;
    const std::string body =
        "This is a test message from the automation server on " + hostName() + ", sent with " +
        "--test-mail on " + db::dateText(db::DateTime::nowLocal()) +
        ". The notification digests to this address travel the same way.\r\n\r\n\r\n\r\n" +
        company.AutomationServerEmailFooter;
    try {
        const auto transport = mail::makeMailTransport(state);
        const auto result = transport->SendOutboxMessage(company.AutomationServerEmailFrom,
                                                         company.Name, address, subject, body);
        for (const auto& refusal : result.refused) {
            err << "E-mail to '" << address << "' (sent) did not reach " << refusal.address << ": "
                << refusal.reason << std::endl;
        }
        out << "E-mail to '" << address << "' (\"" << subject << "\") accepted by the "
            << transport->destination() << std::endl;
        return result.refused.empty() ? 0 : 1;
    } catch (const mail::MailError& e) {
        err << "E-mail to '" << address << "' not sent: " << e.what() << std::endl;
        return 1;
    }
}

}  // namespace fas::startup
