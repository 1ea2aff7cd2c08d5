#include "platform/ServiceHost.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/win/ServiceConnection.h"
#include "platform/win/WideText.h"

namespace fas::platform {

namespace {

// How long the service control manager is told to wait between two signs of progress; the
// checkpoint moves every second while start-up or a stop works.
constexpr DWORD kWaitHintMs = 10000;
constexpr auto kCheckpointEvery = std::chrono::seconds(1);
// A crashed server is started again after this long, as systemd's RestartSec=30.
constexpr DWORD kRestartDelayMs = 30000;

struct Service {
    std::function<int()> serve;
    std::wstring name;
    SERVICE_STATUS_HANDLE handle = nullptr;
    std::mutex mutex;
    std::condition_variable ended;
    SERVICE_STATUS status{};
    bool done = false;
    int exitStatus = 0;

    // Under `mutex`: moves to `state` and returns what to tell the service control manager.
    SERVICE_STATUS enter(DWORD state) {
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status.dwWaitHint = pending ? kWaitHintMs : 0;
        status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
        // Stops are taken during start-up too: a database that does not answer keeps start-up
        // retrying, and an administrator must still be able to stop it.
        status.dwControlsAccepted =
            state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING
                ? 0
                : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
        return status;
    }

    // Under `mutex`.
    void report(DWORD state) {
        SERVICE_STATUS next = enter(state);
        SetServiceStatus(handle, &next);
    }
};

// The dispatcher's ServiceMain has no context to pass: the one service of this process.
Service* gService = nullptr;

DWORD WINAPI onControl(DWORD control, DWORD, void*, void* context) {
    auto& service = *static_cast<Service*>(context);
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN: {
            {
                const std::lock_guard lock(service.mutex);
                if (service.status.dwCurrentState != SERVICE_STOP_PENDING &&
                    service.status.dwCurrentState != SERVICE_STOPPED) {
                    service.report(SERVICE_STOP_PENDING);
                }
            }
            service::RequestStop();
            return NO_ERROR;
        }
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// Restarted 30 s after a crash, each time; a day without one forgets the count. An end with a
// status of its own is no failure to the service control manager.
bool restartAfterCrash(SC_HANDLE service) {
    SC_ACTION actions[3];
    for (auto& action : actions) {
        action = {SC_ACTION_RESTART, kRestartDelayMs};
    }
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    return ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) != 0;
}

// An installer cannot set failure actions: the service sets its own when it starts.
void keepRestartAfterCrash(const std::wstring& name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return;
    }
    if (SC_HANDLE self = OpenServiceW(manager, name.c_str(), SERVICE_CHANGE_CONFIG)) {
        restartAfterCrash(self);
        CloseServiceHandle(self);
    }
    CloseServiceHandle(manager);
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    Service& service = *gService;
    service.name = argc > 0 && argv[0] != nullptr ? argv[0] : Wide(kServiceName);
    service.handle = RegisterServiceCtrlHandlerExW(service.name.c_str(), onControl, &service);
    if (service.handle == nullptr) {
        service.exitStatus = 2;
        return;
    }
    {
        const std::lock_guard lock(service.mutex);
        service.report(SERVICE_START_PENDING);
    }
    keepRestartAfterCrash(service.name);
    std::thread progress([&service] {
        std::unique_lock lock(service.mutex);
        while (!service.ended.wait_for(lock, kCheckpointEvery, [&] { return service.done; })) {
            const DWORD state = service.status.dwCurrentState;
            if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
                service.report(state);
            }
        }
    });
    const int status = service.serve();
    {
        const std::lock_guard lock(service.mutex);
        service.done = true;
    }
    service.ended.notify_all();
    progress.join();
    SERVICE_STATUS stopped;
    const SERVICE_STATUS_HANDLE handle = service.handle;
    {
        const std::lock_guard lock(service.mutex);
        service.exitStatus = status;
        service.status.dwWin32ExitCode = status == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
        service.status.dwServiceSpecificExitCode = static_cast<DWORD>(status);
        stopped = service.enter(SERVICE_STOPPED);
    }
    // Said last, with nothing of `service` held or read after it: once the manager hears of the
    // stop, the dispatcher returns and RunAsService's `service`, its mutex with it, is gone.
    SetServiceStatus(handle, &stopped);
}

std::string lastError(const std::string& what) {
    return what + ": " + SystemMessage(GetLastError());
}

}  // namespace

namespace service {

bool Running() {
    return gService != nullptr && gService->handle != nullptr;
}

void ReportRunning() {
    if (Running()) {
        const std::lock_guard lock(gService->mutex);
        if (gService->status.dwCurrentState == SERVICE_START_PENDING) {
            gService->report(SERVICE_RUNNING);
        }
    }
}

void ReportStopPending() {
    if (Running()) {
        const std::lock_guard lock(gService->mutex);
        if (gService->status.dwCurrentState != SERVICE_STOP_PENDING) {
            gService->report(SERVICE_STOP_PENDING);
        }
    }
}

}  // namespace service

int RunAsService(const std::function<int()>& serve) {
    Service service;
    service.serve = serve;
    gService = &service;
    std::wstring name = Wide(kServiceName);
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMain}, {nullptr, nullptr}};
    const BOOL dispatched = StartServiceCtrlDispatcherW(table);
    const DWORD error = GetLastError();
    gService = nullptr;
    if (!dispatched) {
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            throw ServiceError(
                "--service is for the service control manager, which starts the server as a "
                "service (sc start automation-server); from a console, run it with --headless");
        }
        throw ServiceError("cannot reach the service control manager: " + SystemMessage(error));
    }
    return service.exitStatus;
}

std::string InstallService(const std::string& name, const std::filesystem::path& configFile) {
    if (name.empty() || name.size() > 64 ||
        name.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") !=
            std::string::npos) {
        throw ServiceError(
            "--install-service needs a short name of letters, digits, '-' and '_' "
            "(for example north), not \"" +
            name + "\"");
    }
    const std::string serviceName = std::string(kServiceName) + "$" + name;
    std::error_code error;
    const auto config = std::filesystem::absolute(configFile, error);
    if (!std::filesystem::is_regular_file(config, error)) {
        throw ServiceError("the service of " + name + " would read " + PathText(config) +
                           ", which is not there: write that config.txt first (--config FILE)");
    }
    const std::wstring command =
        L"\"" + ExecutableFile().wstring() + L"\" --service --config \"" + config.wstring() + L"\"";
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (manager == nullptr) {
        throw ServiceError(lastError("cannot register the service " + serviceName) +
                           ". Registering a service needs an administrator: run the command "
                           "from a prompt opened with \"Run as administrator\"");
    }
    const std::wstring display = L"Automation Server (" + Wide(name) + L")";
    SC_HANDLE created =
        CreateServiceW(manager, Wide(serviceName).c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (created == nullptr) {
        const bool exists = GetLastError() == ERROR_SERVICE_EXISTS;
        std::string message = lastError("cannot register the service " + serviceName);
        CloseServiceHandle(manager);
        if (exists) {
            message += " (remove the old one first: sc stop " + serviceName + " and sc delete " +
                       serviceName + ")";
        }
        throw ServiceError(message);
    }
    std::wstring about = L"Applies the compliance rule catalog to the database of " +
                         config.wstring() + L" and delivers the notification e-mails.";
    SERVICE_DESCRIPTIONW description{about.data()};
    ChangeServiceConfig2W(created, SERVICE_CONFIG_DESCRIPTION, &description);
    restartAfterCrash(created);
    CloseServiceHandle(created);
    CloseServiceHandle(manager);
    return serviceName;
}

}  // namespace fas::platform
