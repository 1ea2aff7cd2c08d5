#pragma once

// Reading the metrics file the server writes.

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "support/Site.h"

namespace fas::test {

// The value of one series ("name" or "name{labels}") in exposition text; throws when it is absent.
inline double Sample(const std::string& text, const std::string& series) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(series + " ")) {
            return std::stod(line.substr(series.size() + 1));
        }
    }
    throw std::runtime_error("no series " + series + " in:\n" + text);
}

// The series counting runs that ended with RESULT: "ok", "error" or "stopped".
inline std::string Runs(const std::string& result) {
    return "automation_server_runs_total{result=\"" + result + "\"}";
}

// The totals series of `metrics` against the counts the runs logged in the site's database.
inline void ExpectTotalsAsLogged(const std::string& metrics, Site& site) {
    for (const auto& [series, column] : {std::pair{"emails_sent", "CountEmails"},
                                         {"issues_created", "CountIssues"},
                                         {"issues_closed", "CountIssuesClose"}}) {
        EXPECT_EQ(Sample(metrics, std::string("automation_server_") + series + "_total"),
                  static_cast<double>(site.count(std::string("SELECT SUM(") + column +
                                                 ") FROM AutomationServer_Log")))
            << series;
    }
}

}  // namespace fas::test
