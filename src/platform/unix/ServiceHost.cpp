#include "platform/ServiceHost.h"

// On Linux systemd runs the server with --headless and restarts it by its unit; the units come
// with the package.
namespace fas::platform {

int RunAsService(const std::function<int()>&) {
    throw ServiceError(
        "--service is for the Windows service control manager; under systemd the unit "
        "automation-server.service runs the server with --headless");
}

std::string InstallService(const std::string&, const std::filesystem::path&) {
    throw ServiceError(
        "--install-service is for Windows; on Linux every further database is an instance of "
        "the unit automation-server@.service (systemctl enable --now automation-server@NAME)");
}

}  // namespace fas::platform
