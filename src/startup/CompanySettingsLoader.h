#pragma once

#include <stdexcept>

#include "state/ServerState.h"

namespace fas::startup {

// The Company row could not be loaded; the message names the column and what is wrong with it.
class CompanySettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads the Company row once into state.company (the shared connection must be open). No row:
// the defaults stay. The informational columns nothing uses (address, phone, fax, e-mail,
// website) read a Null as empty text; a Null or out-of-range value in a column the server uses
// is a CompanySettingsError.
void LoadCompanySettings(ServerState& state);

}  // namespace fas::startup
