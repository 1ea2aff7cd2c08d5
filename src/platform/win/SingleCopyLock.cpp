#include "platform/SingleCopyLock.h"

#include <windows.h>

#include <mutex>
#include <set>

#include "platform/win/WideText.h"

namespace fas::platform {

namespace {

// A mutex is the thread's to take again: the names this process holds make a second lock of one
// database inside the process fail as it does between processes, as flock does on Linux.
std::mutex gHeldMutex;
std::set<std::string> gHeldNames;

}  // namespace

struct SingleCopyLock::Held {
    HANDLE mutex = nullptr;
    bool owned = false;
    std::string place;
    ~Held() {
        if (owned) {
            ReleaseMutex(mutex);
            const std::lock_guard lock(gHeldMutex);
            gHeldNames.erase(place);
        }
        if (mutex != nullptr) {
            CloseHandle(mutex);
        }
    }
};

SingleCopyLock::SingleCopyLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
SingleCopyLock::SingleCopyLock(SingleCopyLock&&) noexcept = default;
SingleCopyLock& SingleCopyLock::operator=(SingleCopyLock&&) noexcept = default;
SingleCopyLock::~SingleCopyLock() = default;

// Global\: a copy in another session (the service's, a person's at the console) meets it too.
namespace {

std::string lockPlace(const std::string& name) {
    return "Global\\" + name;
}

}  // namespace

std::optional<SingleCopyLock> SingleCopyLock::acquire(const std::string& name) {
    auto held = std::make_unique<Held>();
    held->place = lockPlace(name);
    {
        const std::lock_guard lock(gHeldMutex);
        if (gHeldNames.count(held->place) != 0) {
            return std::nullopt;
        }
    }
    const std::wstring wideName = Wide(held->place);
    held->mutex = CreateMutexW(nullptr, FALSE, wideName.c_str());
    if (held->mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        // Either it exists and its maker's security (the service's account) refuses full access,
        // or this account may not create objects in Global\ (SeCreateGlobalPrivilege, which a
        // standard user's console session lacks). Waiting needs no more than SYNCHRONIZE.
        held->mutex = OpenMutexW(SYNCHRONIZE, FALSE, wideName.c_str());
        if (held->mutex == nullptr) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED) {
                return std::nullopt;  // it exists: another account's copy holds it
            }
            throw SingleCopyLockError(
                "Cannot create the single-copy lock " + held->place +
                ": this account may not create objects shared between sessions. Run the server "
                "as the service, as an administrator, or with the right \"Create global "
                "objects\" (SeCreateGlobalPrivilege).");
        }
    }
    if (held->mutex == nullptr) {
        throw SingleCopyLockError("Cannot create the single-copy lock " + held->place + ": " +
                                  SystemMessage(GetLastError()));
    }
    // Existing is not enough: a mutex whose holder ended is abandoned and can be taken.
    switch (WaitForSingleObject(held->mutex, 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED: {
            const std::lock_guard lock(gHeldMutex);
            held->owned = gHeldNames.insert(held->place).second;
            if (!held->owned) {
                ReleaseMutex(held->mutex);
                return std::nullopt;
            }
            return SingleCopyLock(std::move(held));
        }
        case WAIT_TIMEOUT:
            return std::nullopt;
        default:
            throw SingleCopyLockError("Cannot take the single-copy lock " + held->place + ": " +
                                      SystemMessage(GetLastError()));
    }
}

}  // namespace fas::platform
