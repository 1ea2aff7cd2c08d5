#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace fas::platform {

// The lock could not be made for a reason other than another copy holding it.
class SingleCopyLockError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One holder per `name` on the machine, whoever runs it: on Linux an exclusive flock() on
// <lock directory>/<name>.lock, on Windows the named mutex Global\<name>. The system releases it
// when the process ends, however it ends.
class SingleCopyLock {
  public:
    // Nothing when another process holds it.
    static std::optional<SingleCopyLock> acquire(const std::string& name);

    SingleCopyLock(SingleCopyLock&&) noexcept;
    SingleCopyLock& operator=(SingleCopyLock&&) noexcept;
    ~SingleCopyLock();

    struct Held;

  private:
    explicit SingleCopyLock(std::unique_ptr<Held> held);
    std::unique_ptr<Held> held_;
};

}  // namespace fas::platform
