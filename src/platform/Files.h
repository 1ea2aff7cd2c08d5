#pragma once

#include <filesystem>
#include <string>

namespace fas::platform {

// Writes `text` to `file`, which must not exist yet, and makes it durable before returning.
// Returns the failure's text, empty when it worked; a file half written is removed.
std::string WriteNewFile(const std::filesystem::path& file, const std::string& text);

// Puts `replacement` in the place of `file` in one step, so that a reader sees the old file or
// the new one, never a part. Returns the failure's text, empty when it worked.
std::string MoveIntoPlace(const std::filesystem::path& replacement,
                          const std::filesystem::path& file);

// A file's name as UTF-8, whatever the platform's own form, for texts people read.
inline std::string PathText(const std::filesystem::path& file) {
    const auto text = file.u8string();
    return {text.begin(), text.end()};
}

// A file's name as it identifies the file: on Windows, where names compare without case, in
// lower case.
std::string ComparablePathText(const std::filesystem::path& file);

// A UTF-8 text (config.txt, the command line) as a file name.
inline std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace fas::platform
