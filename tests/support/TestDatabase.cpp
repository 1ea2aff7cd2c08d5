#include "support/TestDatabase.h"

#include <cstdio>
#include <random>
#include <stdexcept>

#include "tools/DemoData.h"

namespace fas::test {

TempDir::TempDir(bool inMemory) {
    std::error_code error;
    const std::filesystem::path shm("/dev/shm");
    // Not absolute under Windows, where it would name a folder of the current drive.
    const bool memory = inMemory && shm.is_absolute() && std::filesystem::is_directory(shm, error);
    const auto parent = memory ? shm : std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "fas-test-%08x", static_cast<unsigned>(random()));
        if (std::filesystem::create_directory(parent / name, error)) {
            path_ = parent / name;
            return;
        }
    }
    throw std::runtime_error("Cannot create a temporary folder in " + parent.string());
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

const std::filesystem::path& DemoTemplate() {
    static const TempDir dir(true);
    static const std::filesystem::path file = [] {
        const auto f = dir.path() / "demo.db";
        tools::GenerateDemoDatabase(f, tools::DemoScale::small());
        return f;
    }();
    return file;
}

db::Value isoDay(int offset) {
    return db::Value(db::DateTime::todayLocal().addDays(offset).toIso().substr(0, 10));
}

db::Value isoDayAt(int offset, int hour, int minute) {
    db::DateTime d = db::DateTime::todayLocal().addDays(offset);
    d.hour = hour;
    d.minute = minute;
    return db::Value(d.toIso());
}

}  // namespace fas::test
