#pragma once

#include <filesystem>
#include <string>

#include "db/Value.h"

namespace fas::test {

// A temporary folder removed with everything in it when the object goes. `inMemory` puts it on
// the machine's RAM file system when there is one: suites that perform hundreds of runs go twice
// as fast there.
class TempDir {
  public:
    explicit TempDir(bool inMemory = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The small demo database (something due in every kind of record), generated once per test
// program: copies of it are the compliance databases of the suites that run the whole catalog.
const std::filesystem::path& DemoTemplate();

// Today plus `offset` days as the embedded database holds a date alone, or with a time of day.
db::Value isoDay(int offset);
db::Value isoDayAt(int offset, int hour, int minute);

}  // namespace fas::test
