#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace fas::platform {

class ServiceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The name the installer registers the service of config.txt beside the program under; a further
// database's service is this name, '$' and a name of the administrator's choosing.
inline constexpr const char* kServiceName = "automation-server";

// Runs `serve` (the headless server) as the service the service manager started: on Windows the
// service control manager sees START_PENDING until `serve` reports it is ready (ServiceManager),
// STOP_PENDING once a stop is asked for, and STOPPED with `serve`'s status. A status of its own
// (2, 3) is reported as a service-specific error, which the service control manager does not
// restart; a crash is restarted. Throws ServiceError when there is no service manager to run
// under (a console, or Linux, where systemd runs --headless).
int RunAsService(const std::function<int()>& serve);

// Registers the service `kServiceName$name` for the database of `configFile`: this program with
// --service and --config, started at boot, restarted 30 seconds after a crash. Returns the name
// it registered. Throws ServiceError with what to do when it cannot (not an administrator, the
// name taken, no service manager).
std::string InstallService(const std::string& name, const std::filesystem::path& configFile);

}  // namespace fas::platform
