#include "trust/TrustSite.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>

#include "tasks/RuleCatalog.h"

namespace fas::trust {
namespace {

std::set<std::string> addressesIn(const std::string& text) {
    static const std::regex address(R"([^\s,;<>"]+@[^\s,;<>"]+)");
    return {std::sregex_token_iterator(text.begin(), text.end(), address),
            std::sregex_token_iterator()};
}

}  // namespace

std::string SortedLines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line + "\n");
    }
    std::sort(lines.begin(), lines.end());
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

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
    EndState s{SortedLines(std::regex_replace(contents, std::regex(R"(\(AUTO CLOSED [^)]*\))"),
                                              "(AUTO CLOSED)")),
               {}};
    for (auto rs = server.read("SELECT EmailTo,EmailBody FROM AutomationServer_EmailsSent WHERE "
                               "EmailSent<>0");
         !rs.eof(); rs.moveNext()) {
        s.sent.emplace_back(rs.joined("EmailTo"), rs.joined("EmailBody"));
    }
    return s;
}

testing::AssertionResult AllDelivered(const EndState& end,
                                      const std::vector<test::ReceivedMessage>& messages) {
    for (const auto& [to, body] : end.sent) {
        if (std::none_of(messages.begin(), messages.end(), [&](const auto& m) {
                return addressesIn(m.to) == addressesIn(to) &&
                       m.body.find(body) != std::string::npos;
            })) {
            return testing::AssertionFailure() << "never delivered to '" << to << "': " << body;
        }
    }
    return testing::AssertionSuccess();
}

void ExpectCleanRunsEndAs(ServerCopy& server, int runs, const EndState& expected,
                          const std::function<std::vector<test::ReceivedMessage>()>& received) {
    for (int run = 1; run <= runs; ++run) {
        server.run();
        EXPECT_THAT(server.state.report.errors, testing::IsEmpty()) << "clean run " << run;
    }
    EXPECT_EQ(expected.rows, ReadEndState(server).rows);
    EXPECT_TRUE(AllDelivered(expected, received ? received() : server.pickedUp()));
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
