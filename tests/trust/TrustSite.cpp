#include "trust/TrustSite.h"

#include <algorithm>
#include <regex>
#include <sstream>

#include "tasks/RuleCatalog.h"

namespace fas::trust {
namespace {

std::set<std::string> addressesIn(const std::string& text) {
    static const std::regex address(R"([^\s,;<>"]+@[^\s,;<>"]+)");
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), address);
         it != std::sregex_iterator(); ++it) {
        out.insert(it->str());
    }
    return out;
}

}  // namespace

EndState ReadEndState(ServerCopy& server) {
    // A row still pending although it has recipients differs from one delivered.
    const std::string contents = server.contents(
        {"SELECT 'Issues',ContractID,Category,ItemID,ItemDesc,IssueDate,DueDate,Description,Status,"
         "Priority,EnteredBy,EditedBy,AUTO_Item,Auto_Date FROM Issues",
         "SELECT 'Emails',Category,Item,ItemID,ItemKey,ContractManager,ContractSpecialist,Client "
         "FROM AutomationServer_Emails",
         "SELECT EmailFrom,EmailFromName,EmailTo,EmailSubject,EmailBody,CASE WHEN EmailSent<>0 OR "
         "ISNULL(EmailTo,'')='' THEN 'done' ELSE 'pending' END FROM AutomationServer_EmailsSent",
         "SELECT ID,DisableEmailNotifications,EnableNotificationsAtTime FROM ServiceContract"});
    std::istringstream lines(
        std::regex_replace(contents, std::regex(R"(\(AUTO CLOSED [^)]*\))"), "(AUTO CLOSED)"));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line + "\n");
    }
    std::sort(rows.begin(), rows.end());
    EndState s;
    for (const std::string& row : rows) {
        s.rows += row;
    }
    for (auto rs = server.read("SELECT EmailTo,EmailBody FROM AutomationServer_EmailsSent WHERE "
                               "EmailSent<>0");
         !rs.eof(); rs.moveNext()) {
        s.sent.push_back({rs.joined("EmailTo"), rs.joined("EmailBody")});
    }
    return s;
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

const Reference& TheReference() {
    static Reference* reference = [] {
        auto* r = new Reference;  // never torn down: the suites read it to the end
        r->server.run();
        r->errors.insert(r->errors.end(), r->server.state.report.errors.begin(),
                         r->server.state.report.errors.end());
        r->end = ReadEndState(r->server);
        return r;
    }();
    return *reference;
}

}  // namespace fas::trust
