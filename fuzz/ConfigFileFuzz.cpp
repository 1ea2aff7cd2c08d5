// Feeds arbitrary bytes to the config.txt reader. Whatever the file holds, reading it either
// yields the two values or a ConfigError that start-up can report; the values are always text
// taken from the file, and how the records end (CR LF or LF) or a byte-order mark in front
// changes nothing.
#include <cstddef>
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

const std::filesystem::path kFile = "config.txt";

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "config reader: %s\n%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

// The values read, or nothing when the reader refused the text with its own error.
std::optional<startup::ConfigValues> read(std::string_view text) {
    try {
        return startup::ParseConfigText(text, kFile);
    } catch (const startup::ConfigError& e) {
        if (std::string_view(e.what()).find(kFile.string()) == std::string_view::npos) {
            fail("the error does not name the file", e.what());
        }
        return std::nullopt;
    } catch (const std::exception& e) {
        fail("an error other than ConfigError escaped", e.what());
    }
}

std::string withoutCarriageReturnsBeforeLineFeeds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

bool sameOutcome(const std::optional<startup::ConfigValues>& a,
                 const std::optional<startup::ConfigValues>& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return a->DatabaseLocation == b->DatabaseLocation && a->CaptionSuffix == b->CaptionSuffix;
}

void checkInput(std::string_view text) {
    const std::optional<startup::ConfigValues> values = read(text);

    if (values) {
        // No invented text: each value is a piece of the file as read (in UTF-8).
        const std::string utf8 = startup::ToUtf8(text);
        if (utf8.find(values->DatabaseLocation) == std::string::npos) {
            fail("the database location is not text of the file", values->DatabaseLocation);
        }
        if (utf8.find(values->CaptionSuffix) == std::string::npos) {
            fail("the caption is not text of the file", values->CaptionSuffix);
        }
    }

    // Notepad's byte-order mark is not part of the first field.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (!text.starts_with(kBom) &&
        !sameOutcome(values, read(std::string(kBom) + std::string(text)))) {
        fail("a byte-order mark in front changes what is read");
    }

    // A file saved with LF line ends reads as the CR LF original; a line break inside a quoted
    // field is part of the value and changes with the file.
    const std::string unix = withoutCarriageReturnsBeforeLineFeeds(text);
    if (unix.size() != text.size()) {
        std::optional<startup::ConfigValues> expected = values;
        if (expected) {
            expected->DatabaseLocation =
                withoutCarriageReturnsBeforeLineFeeds(expected->DatabaseLocation);
            expected->CaptionSuffix =
                withoutCarriageReturnsBeforeLineFeeds(expected->CaptionSuffix);
        }
        if (!sameOutcome(expected, read(unix))) {
            fail("LF line ends read differently from CR LF");
        }
    }
}

}  // namespace
}  // namespace fas::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fas::fuzz::checkInput(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
