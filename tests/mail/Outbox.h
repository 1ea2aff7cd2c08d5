#pragma once

// The empty schema with the server's connection open, the Company settings a digest uses, and
// the outbox as the other software fills it: what the mail suites share.

#include <gtest/gtest.h>

#include "support/Site.h"
#include "support/SmtpTestServer.h"

namespace fas::mail {

using Ids = std::vector<std::int64_t>;
using Strings = std::vector<std::string>;
constexpr const char* kFrom = "alerts@fleet.example";
constexpr const char* kFooter = "Northwind Fleet\r\nDo not reply.";

struct Outbox : ::testing::Test {
    test::OpenState db;
    Outbox() {
        db.state.company.Name = "Northwind Fleet";
        db.state.company.AutomationServerEmailFooter = kFooter;
    }
    void use(const test::SmtpTestServer& server) { db.sendThrough(server); }
    std::int64_t queue(const std::string& to, const db::Value& body, int sent = 0,
                       const db::Value& name = "Northwind Fleet") {
        return test::addRow(db, "AutomationServer_EmailsSent",
                            {{"EmailFrom", kFrom},
                             {"EmailFromName", name},
                             {"EmailTo", to},
                             {"EmailSubject", "x"},
                             {"EmailBody", body},
                             {"EmailSent", sent}});
    }
    Ids pending() {
        Ids ids;
        for (auto rs = db.read("SELECT ID FROM AutomationServer_EmailsSent WHERE EmailSent=0 "
                               "ORDER BY ID");
             !rs.eof(); rs.moveNext()) {
            ids.push_back(rs.int64("ID"));
        }
        return ids;
    }
};

}  // namespace fas::mail
