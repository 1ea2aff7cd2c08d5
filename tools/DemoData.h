#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace fas::tools {

// How much sample data to generate. Counts are totals over all contracts.
struct DemoScale {
    int contracts = 6;
    int vehicles = 24;
    int drivers = 30;
    int drugTests = 24;
    int trainings = 30;
    int registrationDocs = 12;
    int inspections = 8;
    int accidents = 5;
    int existingIssues = 0;       // older issues, most of them closed
    int notificationRecords = 0;  // older notification records
    std::uint32_t seed = 20261206;
    // Adds the rows that break backends: Nulls in every column, apostrophes, long and non-ASCII
    // texts, leap days, midnight and the last second of a day, the first and last dates SQL
    // Server's datetime holds.
    bool awkwardRows = false;

    static DemoScale small();                // the demo: a handful of each
    static DemoScale large();                // the benchmark's large scale
    static DemoScale scaled(double factor);  // linear between empty and large
};

struct DemoMail {
    std::string server = "localhost";
    std::string port = "25";
    std::string user;
    std::string password;
    bool useSslTls = false;
};

// Creates a new compliance database at `file` with sample data whose dates are relative to the
// day it runs, so that the first task run finds things due, overdue and renewed.
void GenerateDemoDatabase(const std::filesystem::path& file, const DemoScale& scale,
                          const DemoMail& mail = {});

}  // namespace fas::tools
