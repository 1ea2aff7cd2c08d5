#include "support/Site.h"

#include <fstream>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "db/DateTime.h"
#include "db/Schema.h"
#include "startup/CompanySettingsLoader.h"
#include "tasks/RuleCatalog.h"

namespace fas::test {
std::filesystem::path writeConfig(const std::filesystem::path& dir, const std::string& location) {
    std::ofstream(dir / "config.txt", std::ios::binary)
        << "\"**** Configuration File - DO NOT Modify by hand****\"\r\n\"Database Location\",\""
        << location << "\"\r\n\"Caption\",\"Test\"\r\n";
    return dir / "config.txt";
}

Site::Site(const std::filesystem::path& source) {
    if (source.empty()) {
        db::createSchemaDatabase(file());
    } else {
        std::filesystem::copy_file(source, file());
    }
    writeConfig(dir(), "sqlite:compliance.db");
    state.DatabaseLocation = "sqlite:" + file().string();
    state.configDirectory = dir();
    state.db.setLocation(state.DatabaseLocation, dir());
    state.options.pickupDirectory = pickup();
    if (count("SELECT COUNT(*) FROM Company") > 0) {
        startup::LoadCompanySettings(open().state);  // closed again, as between runs
        state.db.CloseDatabase();
    }
}

std::string Site::run() {
    return run(tasks::RuleCatalog());
}

std::string Site::run(const tasks::TaskList& steps) {
    testing::internal::CaptureStderr();
    tasks::RunTasks(state, steps);
    return testing::internal::GetCapturedStderr();
}

void Site::sendThrough(const SmtpTestServer& smtp) {
    state.options.pickupDirectory.reset();
    state.company.AutomationServerEmailServer = smtp.host();
    state.company.AutomationServerEmailServerPort = std::to_string(smtp.port());
    state.company.AutomationServerEmailUser.clear();
    state.company.AutomationServerEmailPassword.clear();
    state.company.AutomationServerEmailUseSSLTLS = false;
    exec(
        "UPDATE Company SET AutomationServerEmailServer=?,AutomationServerEmailServerPort=?,"
        "AutomationServerEmailUseSSLTLS=0,AutomationServerEmailUser=''",
        {smtp.host(), std::to_string(smtp.port())});
}

namespace {
db::Database& opened(db::Database& db) {
    if (!db.OpenDatabase()) {
        throw std::runtime_error("Cannot open the site's database: " + db.lastOpenError());
    }
    return db;
}
}  // namespace

Site& Site::open() {
    opened(state.db);
    return *this;
}

db::Database& Site::connection(db::Database& other) {
    if (state.db.isOpen()) {
        return state.db;
    }
    other.setLocation(state.DatabaseLocation, dir());
    return opened(other);
}

db::Recordset Site::read(std::string_view sql, const db::Params& params) {
    db::Database other;
    return connection(other).query(sql, params);
}

void Site::exec(std::string_view sql, const db::Params& params) {
    db::Database other;
    connection(other).execute(sql, params);
}

db::Value Site::scalar(std::string_view sql, const db::Params& params) {
    const db::Recordset rs = read(sql, params);
    return rs.eof() ? db::Value() : rs.value(rs.columns().front());
}

std::int64_t Site::count(std::string_view sql, const db::Params& params) {
    return scalar(sql, params).asInt64();
}

std::int64_t addRow(Site& s, const std::string& table, const Columns& columns) {
    std::map<std::string, db::Value> row;  // a column named again keeps its last value
    for (const auto& [name, value] : columns) {
        row[name] = value;
    }
    std::string list, marks;
    db::Params values;
    for (const auto& [name, value] : row) {
        list += (list.empty() ? "" : ",") + name;
        marks += marks.empty() ? "?" : ",?";
        values.push_back(value);
    }
    s.exec("INSERT INTO " + table + " (" + list + ") VALUES (" + marks + ")", values);
    return s.count("SELECT MAX(ID) FROM " + table);
}

std::string Site::contents(std::vector<std::string> tables) {
    if (tables.empty()) {
        for (auto rs = read("SELECT name FROM sqlite_master WHERE type='table'"); !rs.eof();
             rs.moveNext()) {
            tables.push_back(rs.text("name"));
        }
    }
    std::string out;
    for (const std::string& table : tables) {
        const bool query = table.starts_with("SELECT ");
        for (auto rs = read(query ? table : "SELECT * FROM " + table + " ORDER BY rowid");
             !rs.eof(); rs.moveNext()) {
            for (const std::string& column : rs.columns()) {
                // One line a row: a line break in a value is written as \n.
                out += std::regex_replace(rs.value(column).debugString(), std::regex("\n"), "\\n") +
                       "|";
            }
            out += "\n";
        }
    }
    return out;
}

std::vector<ReceivedMessage> Site::pickedUp() const {
    // The names begin with the time and a sequence number.
    return SmtpTestServer::parseMessageFiles(FilesIn(pickup()));
}

std::string SortedLines(const std::string& text) {
    std::istringstream in(text);
    std::multiset<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.insert(line + "\n");
    }
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

std::string WithoutRunTimes(const std::string& text) {
    const db::DateTime today = db::DateTime::todayLocal();
    const std::string iso = today.toIso().substr(0, 10);
    const std::string us = db::dateText(today);
    return std::regex_replace(
        std::regex_replace(text, std::regex(iso + R"( (?!00:00:00)[\d:]{8})"), iso + " <time>"),
        std::regex(us + R"( \d+:\d\d:\d\d [AP]M)"), us + " <time>");
}

}  // namespace fas::test
