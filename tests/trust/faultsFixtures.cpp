#include "trust/faultsFixtures.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "startup/CompanySettingsLoader.h"
#include "tasks/RuleCatalog.h"
#include "tools/DemoData.h"

namespace fas::trust {

namespace {

std::string locationOf(const std::filesystem::path& file) {
    return "sqlite:" + file.string();
}

// One row as text: the given columns, Null shown apart from empty text.
std::string rowText(const db::Recordset& rs, std::initializer_list<const char*> columns) {
    std::string out;
    for (const char* column : columns) {
        const db::Value v = rs.value(column);
        out += std::string(column) + "=" + (v.isNull() ? std::string("<null>") : v.asText()) + "|";
    }
    return out;
}

// The close note carries the moment of closing; only its presence is content.
std::string withoutCloseTimes(std::string text) {
    static const std::regex closeNote(R"(\(AUTO CLOSED [^)]*\))");
    return std::regex_replace(text, closeNote, "(AUTO CLOSED)");
}

std::set<std::string> addressesIn(const std::string& text) {
    static const std::regex address(R"([^\s,;<>"]+@[^\s,;<>"]+)");
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), address);
         it != std::sregex_iterator(); ++it) {
        std::string a = it->str();
        std::transform(a.begin(), a.end(), a.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        out.insert(std::move(a));
    }
    return out;
}

std::string printable(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2;  // a soft line break
        } else if (i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            throw std::runtime_error("Not quoted-printable: " + std::string(text.substr(i, 3)));
        }
    }
    return out;
}

// The To header and the body of a message file the server wrote.
test::ReceivedMessage readMessageFile(const std::filesystem::path& file) {
    test::ReceivedMessage m;
    m.raw = readAll(file);
    const std::size_t end = m.raw.find("\r\n\r\n");
    if (end == std::string::npos) {
        throw std::runtime_error("No end of the header in " + file.string());
    }
    // Folded header lines unfolded.
    const std::string header =
        std::regex_replace(m.raw.substr(0, end + 2), std::regex("\r\n[ \t]"), " ");
    std::smatch field;
    if (std::regex_search(header, field, std::regex("(^|\n)To: ([^\r]*)\r\n"))) {
        m.to = field[2];
    }
    const std::string body = m.raw.substr(end + 4);
    m.body = header.find("Content-Transfer-Encoding: quoted-printable\r\n") != std::string::npos
                 ? decodeQuotedPrintable(body)
                 : body;
    return m;
}

}  // namespace

DemoTemplate::DemoTemplate() : file_(dir_.path() / "compliance.db") {
    tools::GenerateDemoDatabase(file_, tools::DemoScale::small());
}

ServerCopy::ServerCopy(const std::filesystem::path& source)
    : file_(dir_.path() / "compliance.db"), pickup_(dir_.path() / "pickup") {
    std::filesystem::copy_file(source, file_);
    state.DatabaseLocation = locationOf(file_);
    state.configDirectory = dir_.path();
    state.db.setLocation(state.DatabaseLocation, dir_.path());
    state.options.pickupDirectory = pickup_;
    // As start-up does: the Company row is read once, with the connection closed afterwards.
    if (!state.db.OpenDatabase()) {
        throw std::runtime_error("Cannot open the copied database: " + state.db.lastOpenError());
    }
    startup::LoadCompanySettings(state);
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
    db::Database other(locationOf(file_), dir_.path());
    if (!other.OpenDatabase()) {
        throw std::runtime_error("Cannot open the database to read it: " + other.lastOpenError());
    }
    return other.query(sql, params);
}

void ServerCopy::exec(std::string_view sql, const db::Params& params) {
    db::Database other(locationOf(file_), dir_.path());
    if (!other.OpenDatabase()) {
        throw std::runtime_error("Cannot open the database to change it: " + other.lastOpenError());
    }
    other.execute(sql, params);
}

std::int64_t ServerCopy::count(std::string_view sql, const db::Params& params) {
    const db::Recordset rs = read(sql, params);
    return rs.value(rs.columns().front()).asInt64();
}

std::vector<std::filesystem::path> ServerCopy::pickupFiles() const {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(pickup_)) {
        for (const auto& entry : std::filesystem::directory_iterator(pickup_)) {
            if (entry.path().extension() == ".eml") {
                files.push_back(entry.path());
            }
        }
    }
    // The names begin with the time and a sequence number.
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<test::ReceivedMessage> ServerCopy::pickedUp() const {
    std::vector<test::ReceivedMessage> out;
    for (const auto& file : pickupFiles()) {
        out.push_back(readMessageFile(file));
    }
    return out;
}

std::size_t ServerCopy::removePickedUp() {
    const auto files = pickupFiles();
    for (const auto& file : files) {
        std::filesystem::remove(file);
    }
    return files.size();
}

EndState ReadEndState(ServerCopy& server) {
    EndState s;
    for (db::Recordset rs = server.read(
             "SELECT ContractID,Category,ItemID,ItemDesc,IssueDate,DueDate,Description,Status,"
             "Priority,EnteredBy,EditedBy,AUTO_Item,Auto_Date FROM Issues");
         !rs.eof(); rs.moveNext()) {
        s.issues.insert(withoutCloseTimes(rowText(
            rs,
            {"ContractID", "Category", "ItemID", "ItemDesc", "IssueDate", "DueDate", "Description",
             "Status", "Priority", "EnteredBy", "EditedBy", "AUTO_Item", "Auto_Date"})));
    }
    for (db::Recordset rs = server.read(
             "SELECT Category,Item,ItemID,ItemKey,ContractManager,ContractSpecialist,Client FROM "
             "AutomationServer_Emails");
         !rs.eof(); rs.moveNext()) {
        s.notifications.insert(rowText(rs, {"Category", "Item", "ItemID", "ItemKey",
                                            "ContractManager", "ContractSpecialist", "Client"}));
    }
    for (db::Recordset rs = server.read(
             "SELECT EmailFrom,EmailFromName,EmailTo,EmailSubject,EmailBody,EmailSent FROM "
             "AutomationServer_EmailsSent");
         !rs.eof(); rs.moveNext()) {
        const std::string row =
            rowText(rs, {"EmailFrom", "EmailFromName", "EmailTo", "EmailSubject", "EmailBody"});
        s.outbox.insert(row);
        const bool sent = rs.value("EmailSent").isTrue();
        if (!sent && !rs.joined("EmailTo").empty()) {
            s.pending.insert(row);
        }
        if (sent) {
            s.sent.push_back({rs.joined("EmailTo"), rs.joined("EmailBody")});
        }
    }
    for (db::Recordset rs = server.read(
             "SELECT ID,DisableEmailNotifications,EnableNotificationsAtTime FROM ServiceContract");
         !rs.eof(); rs.moveNext()) {
        s.contracts.insert(
            rowText(rs, {"ID", "DisableEmailNotifications", "EnableNotificationsAtTime"}));
    }
    return s;
}

testing::AssertionResult SameRows(std::string_view what, const std::multiset<std::string>& expected,
                                  const std::multiset<std::string>& actual) {
    if (expected == actual) {
        return testing::AssertionSuccess();
    }
    std::vector<std::string> missing;
    std::vector<std::string> extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                        std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    auto result = testing::AssertionFailure();
    result << what << ": " << expected.size() << " rows expected, " << actual.size() << " found";
    constexpr std::size_t kShown = 4;
    for (std::size_t i = 0; i < std::min(kShown, missing.size()); ++i) {
        result << "\n  missing: " << printable(missing[i]);
    }
    for (std::size_t i = 0; i < std::min(kShown, extra.size()); ++i) {
        result << "\n  extra:   " << printable(extra[i]);
    }
    if (missing.size() + extra.size() > 2 * kShown) {
        result << "\n  (" << missing.size() << " missing and " << extra.size() << " extra in all)";
    }
    return result;
}

testing::AssertionResult SameEndState(const EndState& expected, const EndState& actual) {
    for (const auto& [what, e, a] :
         {std::tuple("Issues", &expected.issues, &actual.issues),
          std::tuple("AutomationServer_Emails", &expected.notifications, &actual.notifications),
          std::tuple("AutomationServer_EmailsSent", &expected.outbox, &actual.outbox),
          std::tuple("ServiceContract mutes", &expected.contracts, &actual.contracts)}) {
        if (auto r = SameRows(what, *e, *a); !r) {
            return r;
        }
    }
    // Left pending only what was left pending anyway.
    std::vector<std::string> stuck;
    std::set_difference(actual.pending.begin(), actual.pending.end(), expected.pending.begin(),
                        expected.pending.end(), std::back_inserter(stuck));
    if (!stuck.empty()) {
        return testing::AssertionFailure()
               << stuck.size() << " outbox row(s) still pending that were delivered, first: "
               << printable(stuck.front());
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult AllDelivered(const std::vector<SentRow>& rows,
                                      const std::vector<test::ReceivedMessage>& messages) {
    std::vector<std::set<std::string>> recipients;
    for (const auto& m : messages) {
        recipients.push_back(addressesIn(m.to));
    }
    for (const SentRow& row : rows) {
        const std::set<std::string> wanted = addressesIn(row.emailTo);
        bool found = false;
        for (std::size_t i = 0; i < messages.size() && !found; ++i) {
            found = recipients[i] == wanted && messages[i].body.find(row.body) != std::string::npos;
        }
        if (!found) {
            return testing::AssertionFailure()
                   << "never delivered to '" << row.emailTo << "' (" << messages.size()
                   << " messages): " << printable(row.body);
        }
    }
    return testing::AssertionSuccess();
}

std::vector<StepSpan> RunAndMeasureSteps(ServerCopy& server) {
    const tasks::TaskList& catalog = tasks::RuleCatalog();
    std::vector<StepSpan> spans(catalog.size());
    std::size_t current = catalog.size();  // none: before the first step
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
