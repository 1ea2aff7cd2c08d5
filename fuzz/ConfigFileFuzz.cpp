// Feeds arbitrary bytes to the config.txt reader, the one input a person types at every site.
// Whatever the file holds, reading it yields the two values or a ConfigError, never a crash,
// a leak or undefined behaviour (the sanitizers abort, so libFuzzer keeps the input).
#include <cstdint>
#include <string_view>

#include "startup/ConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        (void)fas::startup::ParseConfigText({reinterpret_cast<const char*>(data), size},
                                            "config.txt");
    } catch (const fas::startup::ConfigError&) {
        // refused with its own error: what a person is told to mend
    }
    return 0;
}
