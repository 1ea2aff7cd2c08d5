#include "trust/hostileFixtures.h"

#include <algorithm>
#include <iostream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "db/DateTime.h"
#include "db/Recordset.h"
#include "startup/CompanySettingsLoader.h"
#include "tasks/RuleCatalog.h"
#include "tasks/RunTasks.h"
#include "tools/DemoData.h"

namespace fas::test {
namespace {

using db::DateTime;
using db::Value;

std::string longText() {
    const std::string unit = "Kowalski's \"rig\"; -- /* 50% _u_ */ DROP TABLE Issues; ";
    std::string text;
    while (text.size() < 4000) {
        text += unit;
    }
    text.resize(4000);
    return text;
}

std::string longAddress() {
    return std::string(3990, 'a') + "@client.test";
}

const std::string& text(std::size_t i) {
    const auto& texts = HostileTexts();
    return texts[i % texts.size()];
}

const std::string& address(std::size_t i) {
    const auto& texts = HostileAddressTexts();
    return texts[i % texts.size()];
}

std::size_t index(std::int64_t id) {
    return static_cast<std::size_t>(id);
}

// The well-formed addresses among the address texts.
const std::set<std::string>& wellFormedAddresses() {
    static const std::set<std::string> addresses = {
        "o'brien@client.test", "100%_off@client.test",
        "/*c*/--@client.test", "first.last+tag=x?y{z}@client.test",
        "one@client.test",     "two@client.test",
        "padded@client.test",  "other@client.test",
        "ok@client.test",      "semi@client.test"};
    return addresses;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::int64_t> ids(db::Database& db, const char* table) {
    std::vector<std::int64_t> out;
    for (auto rs = db.query(std::string("SELECT ID FROM ") + table + " ORDER BY ID"); !rs.eof();
         rs.moveNext()) {
        out.push_back(rs.int64("ID"));
    }
    return out;
}

// Lookup tables get one row per hostile text, so that every text names a topic, a test type and
// a document type.
void fillLookup(db::Database& db, const char* table, const char* insert) {
    for (auto n = static_cast<std::int64_t>(ids(db, table).size());
         n < static_cast<std::int64_t>(HostileTexts().size()); ++n) {
        db.execute(insert, {"Lookup " + std::to_string(n + 1)});
    }
}

}  // namespace

const std::vector<std::string>& HostileTexts() {
    static const std::vector<std::string> texts = {
        "O'Brien",
        "x'); DROP TABLE Driver; --",
        "Driver' OR ''='",
        "\"Smokey\" Joe",
        "semi;colon;;",
        "-- not a comment",
        "/* not a comment */",
        "' UNION SELECT AutomationServerEmailPassword FROM Company --",
        "100% _done_ [a-z]",
        "line one\r\nline two",
        "lone\nfeed and lone\rreturn",
        "tab\there\t",
        "\r\n.\r\nQUIT\r\n",
        "Müller Ñandú 日本語",
        "שלום עולם مرحبا",
        "\xE2\x80\xAE"
        "evil\xE2\x80\xAC override",
        "{date} {desc} {item} ?",
        "back\\slash \\' \\\"",
        longText(),
        "",
        "Fleet\r\nBcc: spy@evil.test\r\n",
        "trailing blanks   ",
    };
    return texts;
}

const HostileCompany& HostileCompanyTexts() {
    static const HostileCompany company{
        "O'Neill \"Fleet\" & Sons; -- /* 100% _co_ */\r\nBcc: spy@evil.test\t"
        "שלום Müller",
        "o'neill+alerts%_/*x*/@ferrow-demo.test",
        "O'Neill Fleet -- /* support */ 100% _x_\r\n.\r\nFrom the desk of \"Ops\"\r\n"
        "Bcc: spy@evil.test\r\n\tשלום \xE2\x80\xAE"
        "evil\xE2\x80\xAC"};
    return company;
}

const std::vector<std::string>& HostileAddressTexts() {
    static const std::vector<std::string> texts = {
        "o'brien@client.test",
        "100%_off@client.test",
        "/*c*/--@client.test",
        "first.last+tag=x?y{z}@client.test",
        "one@client.test;two@client.test",
        " padded@client.test ;\tother@client.test;",
        "victim@client.test\r\nBcc: spy@evil.test",
        "ok@client.test;victim@client.test\r\nBcc: spy@evil.test",
        "Robert'); DROP TABLE Employee; -- x",
        "müller@client.test",
        "\"quoted name\"@client.test",
        longAddress(),
        "",
        "שלום@client.test",
        "tab\t@client.test",
        "semi@client.test;;;",
    };
    return texts;
}

namespace {

// The distinct non-empty pieces of a recipient text, trimmed, split by whether they are
// well-formed.
std::vector<std::string> pieces(std::string_view recipientText, bool wellFormed) {
    std::vector<std::string> out;
    while (true) {
        const auto separator = recipientText.find(';');
        const std::string piece(trimmed(recipientText.substr(0, separator)));
        if (!piece.empty() && (wellFormedAddresses().count(piece) != 0) == wellFormed &&
            std::find(out.begin(), out.end(), piece) == out.end()) {
            out.push_back(piece);
        }
        if (separator == std::string_view::npos) {
            return out;
        }
        recipientText.remove_prefix(separator + 1);
    }
}

}  // namespace

std::vector<std::string> DeliverableAddresses(std::string_view recipientText) {
    return pieces(recipientText, true);
}

std::vector<std::string> MalformedPieces(std::string_view recipientText) {
    return pieces(recipientText, false);
}

std::string WithoutApostrophes(std::string_view text) {
    std::string out(text);
    out.erase(std::remove(out.begin(), out.end(), '\''), out.end());
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
        } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
            length = 4;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

ComplianceDatabase::ComplianceDatabase(const SmtpTestServer& smtp, bool hostile)
    : file_(dir_.path() / "compliance.db") {
    tools::DemoScale scale = tools::DemoScale::small();
    scale.contracts = kContracts;
    scale.registrationDocs = 24;
    tools::DemoMail mail;
    mail.server = smtp.host();
    mail.port = std::to_string(smtp.port());
    tools::GenerateDemoDatabase(file_, scale, mail);

    db::Database& db = open();
    db.beginTransaction();
    arrange(db);
    if (hostile) {
        plantTexts(db);
    }
    db.commitTransaction();
    close();
}

db::Database& ComplianceDatabase::open() {
    if (!reader_.isOpen()) {
        reader_.setLocation(location(), dir());
        if (!reader_.OpenDatabase()) {
            throw std::runtime_error("Cannot open " + location() + ": " + reader_.lastOpenError());
        }
    }
    return reader_;
}

void ComplianceDatabase::arrange(db::Database& db) {
    const DateTime today = DateTime::todayLocal();
    const DateTime now = DateTime::nowLocal();
    db.execute(
        "UPDATE ServiceContract SET Status='Active',DisableEmailNotifications=0,"
        "EnableNotificationsAtTime=NULL,HazmatExpirationDate=?,MCS150UpdateDue=?",
        {today.addDays(10), today.addDays(12)});
    db.execute("UPDATE ServiceContract SET Status='Inactive' WHERE ID=?", {kInactiveContract});
    db.execute("UPDATE Customer SET Hasmat=1");
    // Vehicles 1 and 2 keep the history the generator gave them (a renewed date, a vehicle out
    // of service).
    db.execute(
        "UPDATE Vehicle SET Suspended=0,NotInService=0,PAIDue=?,TagExpiration=?,"
        "OtherDateEnabled=1,OtherDate=?,OtherDateDesc='Brake check' WHERE ID>2",
        {today.addDays(5), today.addDays(4), today.addDays(3)});
    db.execute(
        "UPDATE Driver SET Terminated=0,Suspended=0,ApplicantOnly=0,DAOnly=0,CDL=1,DLExpire=?,"
        "OtherDateEnabled=1,OtherDate=?,OtherDateDesc='Yard permit',AnnualDashExpire=?,"
        "MiddleName=COALESCE(MiddleName,''),Suffix=COALESCE(Suffix,'')",
        {today.addDays(3), today.addDays(2), today.addDays(5)});

    fillLookup(db, "TrainingTopic", "INSERT INTO TrainingTopic (Name) VALUES (?)");
    fillLookup(db, "DrugAlcoholTestType", "INSERT INTO DrugAlcoholTestType (Name) VALUES (?)");
    fillLookup(db, "RegistrationDocType",
               "INSERT INTO RegistrationDocType (Name,Description) VALUES (?,'')");
    const auto lookups = static_cast<std::int64_t>(HostileTexts().size());
    // Training beyond the week, so that its issues are not due-date issues of the next run.
    db.execute("UPDATE Training SET Expires=1,ExpireDate=?,TopicID=ID % ? + 1",
               {today.addDays(10), lookups});
    db.execute(
        "UPDATE DrugAlcoholTest SET Completed=0,Status='Scheduled',DueDate=?,"
        "TestTypeID=ID % ? + 1",
        {today.addDays(2), lookups});
    db.execute("UPDATE DrugAlcoholTest SET ContractID=2 WHERE ID=2");
    db.execute("UPDATE RegistrationDoc SET ExpDate=?,TypeID=ID % ? + 1",
               {today.addDays(4), lookups});

    const std::string insertIssue =
        "INSERT INTO Issues (ContractID,Category,ItemID,ItemDesc,IssueDate,DueDate,Description,"
        "Status,Priority,EnteredBy,EnteredDate,EditedBy,EditedDate,AUTO_Item,Auto_Date) VALUES "
        "(?,?,?,?,?,?,?,'Open','Low','clerk',?,'clerk',?,?,NULL)";
    for (std::int64_t k = 0; k < lookups; ++k) {
        // Two copies of one open issue: the older one is closed as a duplicate.
        std::pair<std::int64_t, std::int64_t> pair;
        for (std::int64_t* id : {&pair.first, &pair.second}) {
            const std::string name = "Duplicate " + std::to_string(k);
            db.execute(insertIssue, {1, name, 7000 + k, name, today.addDays(-5), nullptr, name,
                                     now.addDays(-5), now.addDays(-5), name});
            *id = db.query("SELECT MAX(ID) AS ID FROM Issues").int64("ID");
        }
        duplicatePairs_.push_back(pair);
        // An open issue due within the week: the due-date rule notifies its contract manager.
        db.execute(insertIssue,
                   {k % (kContracts - 1) + 1, "Permit", 8000 + k, "Trailer " + std::to_string(k),
                    today.addDays(-2), today.addDays(3), "Check " + std::to_string(k),
                    now.addDays(-2), now.addDays(-2), nullptr});
    }
}

void ComplianceDatabase::plantTexts(db::Database& db) {
    const HostileCompany& company = HostileCompanyTexts();
    db.execute(
        "UPDATE Company SET Name=?,Address1=?,Address2=?,City=?,State=?,Zip=?,Phone=?,Fax=?,"
        "Email=?,Website=?,AutomationServerEmailFrom=?,AutomationServerEmailFooter=?",
        {company.name, text(1), text(2), text(13), text(14), text(8), text(9), text(18), text(3),
         text(7), company.from, company.footer});

    std::size_t i = 0;
    for (auto rs = db.query("SELECT ID FROM AutomationServer_Alert ORDER BY ID"); !rs.eof();
         rs.moveNext(), ++i) {
        db.execute("UPDATE AutomationServer_Alert SET Category=?,IssuePriority=? WHERE ID=?",
                   {text(i), text(i + 7), rs.value("ID")});
    }
    for (const std::int64_t c : ids(db, "Customer")) {
        db.execute("UPDATE Customer SET Name=? WHERE ID=?", {text(index(c)), c});
    }
    for (const std::int64_t e : ids(db, "Employee")) {
        db.execute("UPDATE Employee SET FirstName=?,LastName=?,Email=? WHERE ID=?",
                   {text(index(e) + 3), text(index(e) + 4), address(index(e)), e});
    }
    for (const std::int64_t c : ids(db, "ServiceContract")) {
        const std::size_t a = index(c) * 3;
        db.execute(
            "UPDATE ServiceContract SET PrimaryContactEmail=?,EmailVehicle=?,EmailDriver=?,"
            "EmailAccident=?,EmailRoadsideInspection=?,EmailDrugAlcohol=?,EmailRegistrationDoc=?,"
            "EmailSafetyScore=?,EmailContract=?,emailTraining=? WHERE ID=?",
            {address(a), address(a + 1), address(a + 2), address(a + 3), address(a + 4),
             address(a + 5), address(a + 6), address(a + 7), address(a + 8), address(a + 9), c});
    }
    // A status that would read as active if it were pasted into the statement.
    db.execute("UPDATE ServiceContract SET Status=? WHERE ID=?",
               {"Active' OR 'a'='a", kInactiveContract});

    for (const std::int64_t v : ids(db, "Vehicle")) {
        const std::size_t k = index(v);
        db.execute(
            "UPDATE Vehicle SET Unit=?,VIN=?,UnitYear=?,Make=?,Model=?,OtherDateDesc=? WHERE ID=?",
            {text(k), text(k + 1), text(k + 2), text(k + 3), text(k + 4), text(k + 5), v});
    }
    for (const std::int64_t d : ids(db, "Driver")) {
        const std::size_t k = index(d);
        db.execute(
            "UPDATE Driver SET LastName=?,FirstName=?,MiddleName=?,Suffix=?,OtherDateDesc=? "
            "WHERE ID=?",
            {text(k), text(k + 1), text(k + 2), text(k + 3), text(k + 4), d});
    }
    for (const std::int64_t t : ids(db, "DrugAlcoholTestType")) {
        db.execute("UPDATE DrugAlcoholTestType SET Name=? WHERE ID=?", {text(index(t)), t});
    }
    for (const std::int64_t t : ids(db, "DrugAlcoholTest")) {
        db.execute("UPDATE DrugAlcoholTest SET DriverName=? WHERE ID=?", {text(index(t) + 6), t});
    }
    // A status that would close the test's issues if it were pasted into the statement.
    db.execute("UPDATE DrugAlcoholTest SET Status=? WHERE ID=2",
               {"Scheduled' OR DrugAlcoholTest.Status<>'"});
    for (const std::int64_t r : ids(db, "RoadsideInspection")) {
        db.execute("UPDATE RoadsideInspection SET DriverName=? WHERE ID=?", {text(index(r)), r});
    }
    for (const std::int64_t a : ids(db, "Accident")) {
        db.execute("UPDATE Accident SET Description=? WHERE ID=?", {text(index(a) + 2), a});
    }
    for (const std::int64_t t : ids(db, "RegistrationDocType")) {
        // Every other type has no description, so that both branches of the description run.
        db.execute("UPDATE RegistrationDocType SET Name=?,Description=? WHERE ID=?",
                   {text(index(t) + 9), t % 2 == 0 ? Value("") : Value(text(index(t) + 2)), t});
    }
    for (const std::int64_t r : ids(db, "RegistrationDoc")) {
        db.execute("UPDATE RegistrationDoc SET DocNumber=? WHERE ID=?", {text(index(r) + 1), r});
    }
    for (const std::int64_t t : ids(db, "TrainingTopic")) {
        db.execute("UPDATE TrainingTopic SET Name=? WHERE ID=?", {text(index(t) + 5), t});
    }
    for (const std::int64_t s : ids(db, "SafetyScore")) {
        db.execute("UPDATE SafetyScore SET Category=? WHERE ID=?", {text(index(s)), s});
    }

    std::size_t k = 0;
    for (const auto& [older, newer] : duplicatePairs_) {
        for (const std::int64_t id : {older, newer}) {
            db.execute(
                "UPDATE Issues SET Category=?,ItemDesc=?,Description=?,Priority=?,AUTO_Item=? "
                "WHERE ID=?",
                {text(k), text(k), text(k + 1), text(k + 2), text(k), id});
        }
        ++k;
    }
    k = 0;
    for (auto rs = db.query("SELECT ID FROM Issues WHERE EnteredBy='clerk' AND Category='Permit' "
                            "ORDER BY ID");
         !rs.eof(); rs.moveNext(), ++k) {
        db.execute("UPDATE Issues SET Category=?,ItemDesc=?,Description=?,Priority=? WHERE ID=?",
                   {text(k + 9), text(k), text(k + 5), text(k + 3), rs.value("ID")});
    }
}

DatabaseContent ReadDatabaseContent(db::Database& db) {
    DatabaseContent content;
    std::vector<std::string> tables;
    for (auto rs = db.query("SELECT name, sql FROM sqlite_master ORDER BY type, name"); !rs.eof();
         rs.moveNext()) {
        content.schema += rs.joined("sql") + ";\n";
        if (rs.joined("sql").rfind("CREATE TABLE", 0) == 0) {
            tables.push_back(rs.text("name"));
        }
    }
    for (const std::string& table : tables) {
        TableContent& t = content.tables[table];
        auto rs = db.query("SELECT * FROM " + table + " ORDER BY ID");
        t.columns = rs.columns();
        for (; !rs.eof(); rs.moveNext()) {
            std::vector<Value> row;
            for (const std::string& column : rs.columns()) {
                row.push_back(rs.value(column));
            }
            t.rows[rs.int64("ID")] = std::move(row);
        }
    }
    return content;
}

InProcessServer::InProcessServer(const ComplianceDatabase& database) {
    state.DatabaseLocation = database.location();
    state.configDirectory = database.dir();
    state.db.setLocation(database.location(), database.dir());
    if (!state.db.OpenDatabase()) {
        throw std::runtime_error("Cannot open " + database.location() + ": " +
                                 state.db.lastOpenError());
    }
    startup::LoadCompanySettings(state);
    state.db.CloseDatabase();
}

void InProcessServer::run() {
    static const std::regex idList(R"(\(\d+(,\d+)*\))");
    statements.clear();
    state.db.setStatementObserver([this](std::string_view sql, const db::Params&) {
        statements.insert(std::regex_replace(std::string(sql), idList, "(#)"));
    });
    std::ostringstream errors;
    std::streambuf* const standardError = std::cerr.rdbuf(errors.rdbuf());
    try {
        tasks::RunTasks(state, tasks::RuleCatalog());
    } catch (...) {
        std::cerr.rdbuf(standardError);
        throw;
    }
    std::cerr.rdbuf(standardError);
    state.db.setStatementObserver(nullptr);
    errorOutput = errors.str();
}

}  // namespace fas::test
