// Feeds arbitrary bytes to the config.txt reader, the one input a person types at every site.
// Whatever the file holds, reading it yields the two values, each text of the file, or a
// ConfigError naming the file; a byte-order mark in front changes nothing. A broken property
// aborts with what broke it, so libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "startup/ConfigFile.h"
#include "startup/TextEncoding.h"

namespace fas::fuzz {
namespace {

[[noreturn]] void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "%s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

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

}  // namespace
}  // namespace fas::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> values = fas::fuzz::read(text);
    if (!text.starts_with("\xEF\xBB\xBF") &&
        fas::fuzz::read("\xEF\xBB\xBF" + std::string(text)) != values) {
        fas::fuzz::fail("a byte-order mark in front changes what is read", text);
    }
    return 0;
}
