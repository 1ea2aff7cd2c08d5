#include "support/TestDatabase.h"

#include <stdexcept>

#include <stdlib.h>
#include <unistd.h>

#include "tools/DemoData.h"

namespace fas::test {

TempDir::TempDir(bool inMemory) {
    const bool memory = inMemory && ::access("/dev/shm", W_OK | X_OK) == 0;
    std::string pattern =
        ((memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
         "fas-test-XXXXXX")
            .string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("Cannot create a temporary folder from " + pattern);
    }
    path_ = pattern;
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
