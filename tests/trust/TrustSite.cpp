#include "trust/TrustSite.h"

#include <algorithm>
#include <regex>

#include "startup/CompanySettingsLoader.h"
#include "tasks/RuleCatalog.h"

namespace fas::trust {
namespace {

std::set<std::string> addressesIn(const std::string& text) {
    static const std::regex address(R"([^\s,;<>"]+@[^\s,;<>"]+)");
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), address);
         it != std::sregex_iterator(); ++it) {
        std::string a = it->str();
        std::transform(a.begin(), a.end(), a.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        out.insert(a);
    }
    return out;
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2;
        } else {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

}  // namespace

ServerCopy::ServerCopy(const std::filesystem::path& source) : file_(dir_.path() / "compliance.db") {
    std::filesystem::copy_file(source, file_);
    state.DatabaseLocation = "sqlite:" + file_.string();
    state.configDirectory = dir_.path();
    state.db.setLocation(state.DatabaseLocation, dir_.path());
    state.options.pickupDirectory = dir_.path() / "pickup";
    if (!state.db.OpenDatabase()) {
        throw std::runtime_error("Cannot open the copied database: " + state.db.lastOpenError());
    }
    startup::LoadCompanySettings(state);  // as start-up does, the connection closed afterwards
    state.db.CloseDatabase();
}

void ServerCopy::run() {
    tasks::RunTasks(state, tasks::RuleCatalog());
}

void ServerCopy::run(const tasks::TaskList& steps) {
    tasks::RunTasks(state, steps);
}

void ServerCopy::sendThrough(const test::SmtpTestServer& server) {
    state.options.pickupDirectory.reset();
    state.company.AutomationServerEmailServer = server.host();
    state.company.AutomationServerEmailServerPort = std::to_string(server.port());
    state.company.AutomationServerEmailUser.clear();
    state.company.AutomationServerEmailPassword.clear();
    state.company.AutomationServerEmailUseSSLTLS = false;
}

db::Recordset ServerCopy::read(std::string_view sql, const db::Params& params) {
    db::Database other(state.DatabaseLocation, dir_.path());
    if (!other.OpenDatabase()) {
        throw std::runtime_error("Cannot open the database to read it: " + other.lastOpenError());
    }
    return other.query(sql, params);
}

void ServerCopy::exec(std::string_view sql, const db::Params& params) {
    db::Database other(state.DatabaseLocation, dir_.path());
    if (!other.OpenDatabase()) {
        throw std::runtime_error("Cannot open the database to change it: " + other.lastOpenError());
    }
    other.execute(sql, params);
}

std::int64_t ServerCopy::count(std::string_view sql, const db::Params& params) {
    const db::Recordset rs = read(sql, params);
    return rs.value(rs.columns().front()).asInt64();
}

std::vector<test::ReceivedMessage> ServerCopy::pickedUp() const {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(dir_.path() / "pickup")) {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "pickup")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());  // the names begin with the time and a sequence number
    std::vector<test::ReceivedMessage> out;
    for (const auto& file : files) {
        test::ReceivedMessage m;
        m.raw = test::ReadWholeFile(file);
        const std::size_t end = m.raw.find("\r\n\r\n");
        const std::string header =
            std::regex_replace(m.raw.substr(0, end + 2), std::regex("\r\n[ \t]"), " ");
        std::smatch to;
        if (std::regex_search(header, to, std::regex("(^|\n)To: ([^\r]*)\r\n"))) {
            m.to = to[2];
        }
        m.body = decodeQuotedPrintable(m.raw.substr(end + 4));
        out.push_back(std::move(m));
    }
    return out;
}

EndState ReadEndState(ServerCopy& server) {
    static const std::regex closeTime(R"(\(AUTO CLOSED [^)]*\))");
    // clang-format off
    const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
        {"Issues", {"ContractID", "Category", "ItemID", "ItemDesc", "IssueDate", "DueDate", "Description", "Status",
                    "Priority", "EnteredBy", "EditedBy", "AUTO_Item", "Auto_Date"}},
        {"AutomationServer_Emails", {"Category", "Item", "ItemID", "ItemKey", "ContractManager", "ContractSpecialist", "Client"}},
        {"AutomationServer_EmailsSent", {"EmailFrom", "EmailFromName", "EmailTo", "EmailSubject", "EmailBody"}},
        {"ServiceContract", {"ID", "DisableEmailNotifications", "EnableNotificationsAtTime"}}};
    // clang-format on
    EndState s;
    for (const auto& [table, columns] : tables) {
        for (auto rs = server.read("SELECT * FROM " + table); !rs.eof(); rs.moveNext()) {
            std::string row = table + ":";
            for (const std::string& column : columns) {
                const db::Value v = rs.value(column);
                row += (v.isNull() ? std::string("<null>") : v.asText()) + "|";
            }
            // A row still pending although it has recipients differs from one delivered.
            if (table == "AutomationServer_EmailsSent") {
                const bool sent = rs.value("EmailSent").isTrue();
                row += sent || rs.joined("EmailTo").empty() ? "done" : "pending";
                if (sent) {
                    s.sent.push_back({rs.joined("EmailTo"), rs.joined("EmailBody")});
                }
            }
            s.rows.insert(std::regex_replace(row, closeTime, "(AUTO CLOSED)"));
        }
    }
    return s;
}

testing::AssertionResult SameEndState(const EndState& expected, const EndState& actual) {
    if (expected.rows == actual.rows) {
        return testing::AssertionSuccess();
    }
    std::vector<std::string> missing, extra;
    std::set_difference(expected.rows.begin(), expected.rows.end(), actual.rows.begin(),
                        actual.rows.end(), std::back_inserter(missing));
    std::set_difference(actual.rows.begin(), actual.rows.end(), expected.rows.begin(),
                        expected.rows.end(), std::back_inserter(extra));
    return testing::AssertionFailure()
           << missing.size() << " rows missing, first: " << (missing.empty() ? "" : missing[0])
           << "\n"
           << extra.size() << " extra, first: " << (extra.empty() ? "" : extra[0]);
}

testing::AssertionResult AllDelivered(const std::vector<SentRow>& rows,
                                      const std::vector<test::ReceivedMessage>& messages) {
    for (const SentRow& row : rows) {
        const bool found = std::any_of(messages.begin(), messages.end(), [&](const auto& m) {
            return addressesIn(m.to) == addressesIn(row.emailTo) &&
                   m.body.find(row.body) != std::string::npos;
        });
        if (!found) {
            return testing::AssertionFailure()
                   << "never delivered to '" << row.emailTo << "': " << row.body;
        }
    }
    return testing::AssertionSuccess();
}

std::vector<StepSpan> RunAndMeasureSteps(ServerCopy& server) {
    const tasks::TaskList& catalog = tasks::RuleCatalog();
    std::vector<StepSpan> spans(catalog.size());
    std::size_t current = catalog.size();  // none: outside the steps
    const std::uint64_t base = server.state.db.statementsIssued();
    tasks::TaskList wrapped;
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        spans[i].label = catalog[i].label;
        wrapped.push_back({catalog[i].label, [&, i](ServerState& state) {
                               current = i;
                               spans[i].first = state.db.statementsIssued() - base + 1;
                               catalog[i].run(state);
                               current = catalog.size();
                           }});
    }
    server.state.db.setStatementObserver([&](std::string_view sql, const db::Params&) {
        if (current < spans.size()) {
            spans[current].statements.emplace_back(sql);
        }
    });
    server.run(wrapped);
    server.state.db.setStatementObserver(nullptr);
    return spans;
}

}  // namespace fas::trust
