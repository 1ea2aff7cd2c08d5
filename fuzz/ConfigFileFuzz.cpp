// Feeds arbitrary bytes to the config.txt reader. Whatever the file holds, reading it yields the
// two values, each text of the file, or a ConfigError naming the file; a byte-order mark in
// front changes nothing.
#include <optional>
#include <string>
#include <string_view>

#include "Fuzz.h"
#include "startup/ConfigFile.h"
#include "startup/TextEncoding.h"

namespace fas::fuzz {

// The two values joined, or nothing when the reader refused the text with its own error.
std::optional<std::string> read(std::string_view text) {
    try {
        const auto values = startup::ParseConfigText(text, "config.txt");
        const std::string utf8 = startup::ToUtf8(text);
        if (utf8.find(values.DatabaseLocation) == std::string::npos ||
            utf8.find(values.CaptionSuffix) == std::string::npos) {
            fail("a value is not text of the file", values.DatabaseLocation);
        }
        return values.DatabaseLocation + '\0' + values.CaptionSuffix;
    } catch (const startup::ConfigError& e) {
        if (std::string_view(e.what()).find("config.txt") == std::string_view::npos) {
            fail("the error does not name the file", e.what());
        }
        return std::nullopt;
    }
}

void check(std::string_view text) {
    const std::optional<std::string> values = read(text);
    if (!text.starts_with("\xEF\xBB\xBF") && read("\xEF\xBB\xBF" + std::string(text)) != values) {
        fail("a byte-order mark in front changes what is read", text);
    }
}

}  // namespace fas::fuzz
