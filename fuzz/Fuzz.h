// What every fuzz target shares: the libFuzzer entry point handing the input to the target's
// check(), and the way a broken property stops the run with what broke it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fas::fuzz {

void check(std::string_view input);

[[noreturn]] inline void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "%s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

}  // namespace fas::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fas::fuzz::check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
