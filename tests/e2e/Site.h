#pragma once

// A database beside its config.txt and the server binary to run on it: what the end-to-end
// suites share.

#include <fstream>

#include <gmock/gmock.h>

#include "support/ProcessRunner.h"
#include "support/SmtpTestServer.h"
#include "support/TestDatabase.h"

namespace fas::test {

inline std::filesystem::path writeConfig(const std::filesystem::path& dir,
                                         const std::string& location) {
    std::ofstream(dir / "config.txt", std::ios::binary)
        << "\"**** Configuration File - DO NOT Modify by hand****\"\r\n\"Database Location\",\""
        << location << "\"\r\n\"Caption\",\"E2E\"\r\n";
    return dir / "config.txt";
}

// A copy of `source` (an empty schema database when none) with its config.txt.
struct Site {
    OpenState s;
    std::filesystem::path config;
    explicit Site(const std::filesystem::path& source = {}) : s(source) {
        config = writeConfig(s.database.dir(), "sqlite:compliance.db");
        s.db().CloseDatabase();
    }
    ProcessResult run(std::vector<std::string> args,
                      std::map<std::string, std::optional<std::string>> env = {}) {
        args.insert(args.begin(), {"--config", config.string()});
        return RunProcess({FAS_SERVER_BINARY, std::move(args), std::move(env), std::nullopt});
    }
    // Each statement on a connection of its own, closed again so that the server finds the
    // database as the other software leaves it.
    void exec(const std::string& sql, const db::Params& params = {}) {
        EXPECT_TRUE(s.db().OpenDatabase());
        s.exec(sql, params);
        s.db().CloseDatabase();
    }
    std::int64_t count(const std::string& sql, const db::Params& params = {}) {
        EXPECT_TRUE(s.db().OpenDatabase());
        const auto n = s.count(sql, params);
        s.db().CloseDatabase();
        return n;
    }
    // Every row of the given tables (all when none is named), to compare two moments.
    std::string contents(std::vector<std::string> tables = {}) {
        EXPECT_TRUE(s.db().OpenDatabase());
        if (tables.empty()) {
            for (auto rs = s.db().query("SELECT name FROM sqlite_master WHERE type='table'");
                 !rs.eof(); rs.moveNext()) {
                tables.push_back(rs.text("name"));
            }
        }
        std::string out;
        for (const std::string& table : tables) {
            for (auto rs = s.db().query("SELECT * FROM " + table + " ORDER BY rowid"); !rs.eof();
                 rs.moveNext()) {
                for (const std::string& column : rs.columns()) {
                    out += rs.value(column).debugString() + "|";
                }
                out += "\n";
            }
        }
        s.db().CloseDatabase();
        return out;
    }
    // Sends through `smtp` from now on, as if the Company row named it.
    void sendThrough(const SmtpTestServer& smtp) {
        exec(
            "UPDATE Company SET AutomationServerEmailServer=?,AutomationServerEmailServerPort=?,"
            "AutomationServerEmailUseSSLTLS=0,AutomationServerEmailUser=''",
            {smtp.host(), std::to_string(smtp.port())});
    }
};

}  // namespace fas::test
