#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "state/ServerState.h"

namespace fas::startup {

// config.txt could not be used; the message names the file and what is wrong with it.
class ConfigError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The two values start-up takes from config.txt.
struct ConfigValues {
    std::string DatabaseLocation;  // second field of record 2
    std::string CaptionSuffix;     // second field of record 3
};

// The file start-up reads when no --config is given: config.txt beside the executable.
std::filesystem::path DefaultConfigFile();

// Reads the five leading fields of the text of config.txt: header, label, connection string,
// label, caption. Records are recognised by position only; labels are never compared. `file`
// only names the file in error messages.
ConfigValues ParseConfigText(std::string_view text, const std::filesystem::path& file);

// Reads config.txt (never writes it). Throws ConfigError when the file is missing, unreadable
// or holds fewer than the five fields.
ConfigValues ReadConfigFile(const std::filesystem::path& file);

// Reads config.txt into the process-wide values: DatabaseLocation, CaptionSuffix and the
// directory a relative sqlite: path resolves against.
void ReadConfigFile(ServerState& state, const std::filesystem::path& file);

}  // namespace fas::startup
