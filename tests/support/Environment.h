#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace fas::test {

// Sets (or with std::nullopt removes) a variable of this process's environment.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// A file of the Linux machine the tests run on, as this program names it: under Wine, through
// the drive that maps the Unix root.
std::filesystem::path HostFile(const std::string& unixPath);

// How a program of the Linux machine (an ODBC driver, a test server) names `file`: under Wine its
// Unix name, elsewhere the name itself.
std::string HostName(const std::filesystem::path& file);

// Whether the suite runs under Wine, whose certificate trust decisions are not Windows' own.
bool UnderWine();

}  // namespace fas::test
