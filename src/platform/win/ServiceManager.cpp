#include "platform/ServiceManager.h"

// Under the console there is no service manager to tell; the Windows service reports to the
// service control manager itself.
namespace fas::platform {

ServiceManager::ServiceManager() = default;
void ServiceManager::ready() const {}
void ServiceManager::status(std::string_view) const {}
void ServiceManager::stopping() const {}
void ServiceManager::watchdog() const {}

}  // namespace fas::platform
