// Hostile texts in every text column the catalog reads: the runs complete, no text becomes part
// of a statement, stored free texts lose only their apostrophes, and every message is well-formed
// and goes only to well-formed recipients.

#include <regex>

#include <gmock/gmock.h>

#include "trust/TrustSite.h"

namespace fas::trust {
namespace {

std::string longText() {
    std::string text;
    while (text.size() < 4000) {
        text += "Kowalski's \"rig\"; -- /* 50% _u_ */ DROP TABLE Issues; ";
    }
    return text.substr(0, 4000);
}

// clang-format off
const std::vector<std::string> kTexts = {
    "O'Brien", "x'); DROP TABLE Driver; --", "Driver' OR ''='", "\"Smokey\" Joe", "semi;colon;;",
    "-- not a comment", "/* not a comment */", "' UNION SELECT AutomationServerEmailPassword FROM Company --",
    "100% _done_ [a-z]", "line one\r\nline two", "lone\nfeed and lone\rreturn", "tab\there\t", "\r\n.\r\nQUIT\r\n",
    "Müller Ñandú 日本語", "שלום עולם مرحبا", "\xE2\x80\xAE" "evil\xE2\x80\xAC override", "{date} {desc} {item} ?",
    "back\\slash \\' \\\"", longText(), "", "Fleet\r\nBcc: spy@evil.test\r\n", "trailing blanks   ",
    "Active' OR 'a'='a"};

const std::vector<std::string> kAddresses = {
    "o'brien@client.test", "100%_off@client.test", "/*c*/--@client.test", "first.last+tag=x?y{z}@client.test",
    "one@client.test;two@client.test", " padded@client.test ;\tother@client.test;",
    "victim@client.test\r\nBcc: spy@evil.test", "ok@client.test;victim@client.test\r\nBcc: spy@evil.test",
    "Robert'); DROP TABLE Employee; -- x", "müller@client.test", "\"quoted name\"@client.test",
    std::string(3990, 'a') + "@client.test", "", "שלום@client.test", "x@@y", "--", "semi@client.test;;;"};

// Every text column the catalog reads, by table; the texts go round the corpus by row.
const std::vector<std::pair<std::string, std::vector<std::string>>> kTextColumns = {
    {"AutomationServer_Alert", {"Category", "IssuePriority"}}, {"Customer", {"Name"}},
    {"Employee", {"FirstName", "LastName"}}, {"Vehicle", {"Unit", "VIN", "UnitYear", "Make", "Model", "OtherDateDesc"}},
    {"Driver", {"LastName", "FirstName", "MiddleName", "Suffix", "OtherDateDesc"}}, {"DrugAlcoholTestType", {"Name"}},
    {"DrugAlcoholTest", {"DriverName"}}, {"RoadsideInspection", {"DriverName"}}, {"Accident", {"Description"}},
    {"RegistrationDocType", {"Name", "Description"}}, {"RegistrationDoc", {"DocNumber"}}, {"TrainingTopic", {"Name"}},
    {"SafetyScore", {"Category"}}, {"Issues", {"Description", "Priority"}},
    {"Company", {"Name", "AutomationServerEmailFooter"}}};
const std::vector<std::pair<std::string, std::vector<std::string>>> kAddressColumns = {
    {"Employee", {"Email"}},
    {"ServiceContract", {"PrimaryContactEmail", "EmailVehicle", "EmailDriver", "EmailAccident", "EmailRoadsideInspection",
                         "EmailDrugAlcohol", "EmailRegistrationDoc", "EmailSafetyScore", "EmailContract", "emailTraining"}}};
// The tables a run only reads.
const std::vector<std::string> kReadOnly = {"Company", "AutomationServer_Alert", "Customer", "Employee",
    "Vehicle", "Driver", "DrugAlcoholTest", "RegistrationDoc", "Training", "TrainingTopic"};
// clang-format on

void plant(ServerCopy& server,
           const std::vector<std::pair<std::string, std::vector<std::string>>>& columns,
           const std::vector<std::string>& corpus) {
    std::size_t k = 0;
    for (const auto& [table, names] : columns) {
        for (auto rs = server.read("SELECT ID FROM " + table); !rs.eof(); rs.moveNext()) {
            std::string set;
            db::Params values;
            for (const std::string& name : names) {
                set += (set.empty() ? "" : ",") + name + "=?";
                values.push_back(corpus[k++ % corpus.size()]);
            }
            values.push_back(rs.value("ID"));
            server.exec("UPDATE " + table + " SET " + set + " WHERE ID=?", values);
        }
    }
}

struct RunSeen {
    std::set<std::string> statements;  // digits and ID lists made "#"
    int created = 0, closed = 0;
    std::int64_t records = 0;
    std::vector<std::string> errors;
};

RunSeen runAndRecord(ServerCopy& server) {
    static const std::regex numbers("[0-9]+(,[0-9]+)*");
    RunSeen r;
    server.state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        r.statements.insert(std::regex_replace(std::string(sql), numbers, "#"));
    });
    testing::internal::CaptureStderr();
    server.run();
    testing::internal::GetCapturedStderr();
    server.state.db.setStatementObserver(nullptr);
    r.created = server.state.counters.issuesCreated();
    r.closed = server.state.counters.issuesClosed();
    r.records = server.count("SELECT COUNT(*) FROM AutomationServer_Emails");
    r.errors = server.state.report.errors;
    return r;
}

TEST(HostileInput, TextsStayValuesAndMessagesStayWellFormed) {
    ServerCopy plain, hostile;
    plant(hostile, kTextColumns, kTexts);
    plant(hostile, kAddressColumns, kAddresses);
    const std::string before = hostile.contents(kReadOnly);
    const auto earlierIssues = hostile.count("SELECT MAX(ID) FROM Issues");

    const RunSeen p = runAndRecord(plain);
    const RunSeen h = runAndRecord(hostile);
    EXPECT_THAT(p.errors, testing::IsEmpty());
    ASSERT_FALSE(h.errors.empty());
    for (const std::string& e : h.errors) {
        EXPECT_THAT(e, testing::StartsWith("E-mail to '"))
            << "only unusable recipients are refused";
    }
    // The texts changed no decision, and no statement but the system's own ran.
    EXPECT_EQ(std::tie(h.created, h.closed, h.records), std::tie(p.created, p.closed, p.records));
    EXPECT_GT(h.created, 0);
    EXPECT_EQ(h.statements, p.statements);
    EXPECT_EQ(hostile.contents(kReadOnly), before);

    // Free texts are stored without their apostrophes and otherwise whole.
    EXPECT_EQ(hostile.count("SELECT COUNT(*) FROM Issues WHERE ID>? AND (ItemDesc LIKE '%''%' OR "
                            "Description LIKE '%''%')",
                            {earlierIssues}),
              0);
    EXPECT_EQ(hostile.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE "
                            "EmailSubject LIKE '%''%' OR EmailBody LIKE '%''%'"),
              0);
    std::string longest = longText();
    longest.erase(std::remove(longest.begin(), longest.end(), '\''), longest.end());
    EXPECT_GT(
        hostile.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailBody LIKE ?",
                      {"%" + longest + "%"}),
        0);

    // Every message parses cleanly and goes to well-formed addresses only.
    const auto messages = hostile.pickedUp();
    ASSERT_FALSE(messages.empty());
    const std::regex wellFormed(
        R"([A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)*)");
    for (const auto& m : messages) {
        EXPECT_EQ(m.defects, "") << m.raw.substr(0, 400);
        EXPECT_EQ(m.raw.substr(0, m.raw.find("\r\n\r\n")).find("\nBcc:"), std::string::npos);
        std::string to = m.to;
        for (std::smatch a; std::regex_search(to, a, wellFormed); to = a.suffix()) {
            EXPECT_NE(a.str(), "spy@evil.test");
        }
        EXPECT_EQ(std::regex_replace(to, std::regex("[ ,]"), ""), "")
            << "no other recipient in " << m.to;
    }
}

}  // namespace
}  // namespace fas::trust
