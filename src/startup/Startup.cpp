#include "startup/Startup.h"

#include <exception>

#include "db/Connection.h"
#include "db/Errors.h"
#include "mail/MailErrors.h"
#include "mail/MessageSizeSetting.h"
#include "startup/CompanySettingsLoader.h"
#include "startup/ConfigFile.h"

namespace fas::startup {

namespace {

StartupResult failure(StartupStatus status, std::string message) {
    StartupResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

}  // namespace

StartupResult StartServer(ServerState& state, const std::filesystem::path& configFile) {
    try {
        ReadConfigFile(state, configFile);
        state.options.maxMessageBytes = mail::MaxMessageBytesSetting();
    } catch (const ConfigError& e) {
        return failure(StartupStatus::BadConfig, e.what());
    } catch (const mail::MailUnavailable& e) {
        return failure(StartupStatus::BadConfig, e.what());
    }
    state.db.setLocation(state.DatabaseLocation, state.configDirectory);

    if (!state.db.OpenDatabase()) {
        return failure(state.db.lastOpenMayPass() ? StartupStatus::DatabaseUnavailable
                                                  : StartupStatus::DatabaseRefused,
                       "Cannot open the database " +
                           db::redactConnectionString(state.DatabaseLocation) + " named in " +
                           configFile.string() + ": " + state.db.lastOpenError());
    }

    StartupResult result;
    try {
        result.lock = InstanceLock::acquire(state.DatabaseLocation, state.configDirectory);
    } catch (const InstanceLockError& e) {
        state.db.CloseDatabase();
        return failure(StartupStatus::LockUnavailable, e.what());
    }
    if (!result.lock) {
        state.db.CloseDatabase();
        // Which database, for the administrator of several: never its password.
        return failure(StartupStatus::AlreadyRunning,
                       std::string(kAlreadyRunningText) + "\nAnother copy serves the database " +
                           db::redactConnectionString(state.DatabaseLocation) + " named in " +
                           configFile.string() + ".");
    }

    try {
        LoadCompanySettings(state);
    } catch (const CompanySettingsError& e) {
        state.db.CloseDatabase();
        return failure(StartupStatus::BadCompanySettings, e.what());
    } catch (const db::DatabaseError& e) {
        state.db.CloseDatabase();
        return failure(e.mayPassByItself() || e.connectionLost()
                           ? StartupStatus::DatabaseUnavailable
                           : StartupStatus::BadCompanySettings,
                       std::string("Cannot load the company settings: ") + e.what());
    } catch (const std::exception& e) {
        state.db.CloseDatabase();
        return failure(StartupStatus::BadCompanySettings,
                       std::string("Cannot load the company settings: ") + e.what());
    }
    state.db.CloseDatabase();
    return result;
}

int ExitStatusOf(StartupStatus status) {
    switch (status) {
        case StartupStatus::Ready:
            return 0;
        case StartupStatus::AlreadyRunning:
            return kExitAlreadyRunning;
        case StartupStatus::DatabaseUnavailable:
            return kExitTryLater;
        case StartupStatus::BadConfig:
        case StartupStatus::DatabaseRefused:
        case StartupStatus::BadCompanySettings:
        case StartupStatus::LockUnavailable:
            return kExitNeedsPerson;
    }
    return kExitNeedsPerson;
}

}  // namespace fas::startup
