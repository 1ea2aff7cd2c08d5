#pragma once

#include <cstdint>
#include <string>

namespace fas {

// The Company row, read once at start-up. Before the load, and when the table has no row, the
// texts are empty, the poll interval is 0 and the flag is false.
struct CompanySettings {
    std::string Name;
    std::string Address1;
    std::string Address2;
    std::string City;
    std::string State;
    std::string Zip;
    std::string Phone;
    std::string Fax;
    std::string Email;
    std::string Website;
    std::int16_t AutomationServerPoll = 0;
    std::string AutomationServerEmailFrom;
    std::string AutomationServerEmailServer;
    std::string AutomationServerEmailServerPort;  // held as text, exactly as stored
    std::string AutomationServerEmailUser;
    std::string AutomationServerEmailPassword;
    bool AutomationServerEmailUseSSLTLS = false;
    std::string AutomationServerEmailFooter;
};

}  // namespace fas
