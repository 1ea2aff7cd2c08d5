#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

namespace fas {

// A contract's specialists and client addresses, and the names of test types, read once per run:
// a contract with many due items would otherwise cost two lookups (two round trips to the
// server) per notified item, and a test type one per notified test.
// Emptied at the start of every run, so a change made between runs is always seen.
struct RecipientCache {
    std::unordered_map<std::int64_t, std::string> specialists;
    std::map<std::pair<std::int64_t, std::string>, std::string> clientEmails;
    std::unordered_map<std::string, std::string> testTypeNames;  // by ID as text
    void clear() {
        specialists.clear();
        clientEmails.clear();
        testTypeNames.clear();
    }
};

}  // namespace fas
