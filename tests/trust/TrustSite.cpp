#include "trust/TrustSite.h"

#include <algorithm>
#include <regex>

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

}  // namespace

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
