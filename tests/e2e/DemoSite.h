#pragma once

// A demo compliance database beside its config.txt, a real SMTP server it sends through, and the
// server binary to run on it: what the end-to-end suites share.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "db/Database.h"
#include "support/ProcessRunner.h"
#include "support/SmtpTestServer.h"
#include "support/TestDatabase.h"
#include "tools/DemoData.h"

namespace fas::test {

class DemoSite : public ::testing::Test {
  protected:
    void SetUp() override {
        smtp = std::make_unique<SmtpTestServer>();
        fas::tools::DemoMail mail;
        mail.server = smtp->host();
        mail.port = std::to_string(smtp->port());
        fas::tools::GenerateDemoDatabase(dir.path() / "compliance.db",
                                         fas::tools::DemoScale::small(), mail);
        std::ofstream(dir.path() / "config.txt", std::ios::binary)
            << "\"**** Configuration File - DO NOT Modify by hand****\"\r\n"
               "\"Database Location\",\"sqlite:compliance.db\"\r\n\"Caption\",\"E2E\"\r\n";
        db.setLocation("sqlite:compliance.db", dir.path());
    }

    // The server binary with --config and the given options.
    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--config", (dir.path() / "config.txt").string()});
        return RunProcess({FAS_SERVER_BINARY, std::move(args), {}, std::nullopt});
    }

    void exec(const std::string& sql, const db::Params& params = {}) {
        ASSERT_TRUE(db.OpenDatabase()) << db.lastOpenError();
        db.execute(sql, params);
        db.CloseDatabase();
    }

    db::Value scalar(const std::string& sql, const db::Params& params = {}) {
        EXPECT_TRUE(db.OpenDatabase()) << db.lastOpenError();
        db::Recordset rs = db.query(sql, params);
        db::Value v = rs.eof() ? db::Value() : rs.value(rs.columns().front());
        db.CloseDatabase();
        return v;
    }

    std::int64_t count(const std::string& sql, const db::Params& params = {}) {
        return scalar(sql, params).asInt64();
    }

    // The rows of the given tables (all of them when none is named), as text, to compare two
    // moments.
    std::string contents(std::vector<std::string> tables = {}) {
        std::string out;
        EXPECT_TRUE(db.OpenDatabase());
        if (tables.empty()) {
            for (auto rs = db.query("SELECT name FROM sqlite_master WHERE type='table' ORDER BY "
                                    "name");
                 !rs.eof(); rs.moveNext()) {
                tables.push_back(rs.text("name"));
            }
        }
        for (const std::string& table : tables) {
            out += "== " + table + "\n";
            for (auto rs = db.query("SELECT * FROM " + table + " ORDER BY rowid"); !rs.eof();
                 rs.moveNext()) {
                for (const std::string& column : rs.columns()) {
                    out += rs.value(column).debugString() + "|";
                }
                out += "\n";
            }
        }
        db.CloseDatabase();
        return out;
    }

    TempDir dir;
    db::Database db;
    std::unique_ptr<SmtpTestServer> smtp;
};

}  // namespace fas::test
