#include "platform/ServiceManager.h"

#include "platform/win/ServiceConnection.h"

// As a service, start-up done and a stop begun go to the service control manager (the service
// host keeps its checkpoints moving); under a console there is nobody to tell. The results line
// reaches the event log through the log streams, and Windows has no watchdog.
namespace fas::platform {

ServiceManager::ServiceManager() = default;
void ServiceManager::ready() const {
    service::ReportRunning();
}
void ServiceManager::status(std::string_view) const {}
void ServiceManager::stopping() const {
    service::ReportStopPending();
}
void ServiceManager::watchdog() const {}

}  // namespace fas::platform
