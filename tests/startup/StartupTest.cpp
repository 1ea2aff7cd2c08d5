// Start-up: the command line, config.txt, the Company row and the single-copy lock's key.
#include <gmock/gmock.h>

#include "startup/CommandLine.h"
#include "startup/CompanySettingsLoader.h"
#include "startup/ConfigFile.h"
#include "startup/InstanceLock.h"
#include "support/Site.h"

namespace fas::startup {
namespace {

TEST(CommandLine, ReadsEveryOptionAndRejectsWhatItCannotUse) {
    const auto all =
        ParseCommandLine({"--config", "/c.txt", "--headless", "--once", "--pickup-dir=/p"});
    EXPECT_EQ(all.configFile, std::filesystem::path("/c.txt"));
    EXPECT_TRUE(all.headless && all.once);
    EXPECT_EQ(all.pickupDirectory, std::filesystem::path("/p"));
    for (const auto& bad : {"--config", "--config=", "--once=yes", "--bogus", "config.txt"}) {
        EXPECT_THROW(ParseCommandLine({bad}), CommandLineError) << bad;
    }
}

TEST(ConfigFile, ReadsTheFifthAndThirdFieldsOfEveryLayout) {
    const std::string odbc = "Driver={X};Server=db1,1433";
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"\"h\"\r\n\"Database Location\",\"sqlite:a.db\"\r\n\"Caption\",\"Depot\"\r\n",
         "sqlite:a.db", "Depot"},
        {"\"h\"\n  \"l\" , \"" + odbc + "\"\n\"l\",  \"\"\n\"x\",\"y\"\n\"unclosed", odbc, ""},
        {"h\r\nl,Server=db1,1433\r\n\"c\",\"X\"\r\n", "Server=db1", "c"},  // unquoted: cut at comma
        {"\xEF\xBB\xBF\"h\"\r\n\"l\",\"a\"\r\n\"l\",\"Caf\xE9\"\r\n", "a", "Caf\xC3\xA9"},  // 1252
        {"\"h\",\"l\",\"a\",\"l\",\"Caf\xC3\xA9\"", "a", "Caf\xC3\xA9"},
        {"h\rl\ra\rc\rDepot\r", "a", "Depot"},  // bare CR line ends, a field a line
        // No location expected: the file is refused, saying this.
        {"\"h\"\r\n\"l\",\"a\"\r\n", "", "caption record"},
        {"\"h\"\r\n\"l\",\"a\"\r\n\"c\"", "", "4 of the 5"},
        {"\"h\"\r\n\"l\"\r\n", "", "database location record"},
        {"", "", "it is empty"},
        {"\"h\",\"l\",\"a\",\"c\",\"open", "", "not closed"},
    };
    for (const auto& [text, location, caption] : cases) {
        try {
            const auto values = ParseConfigText(text, "config.txt");
            EXPECT_EQ(values.DatabaseLocation, location) << text;
            EXPECT_EQ(values.CaptionSuffix, caption) << text;
        } catch (const ConfigError& e) {
            EXPECT_EQ(location, "") << e.what();
            EXPECT_NE(std::string(e.what()).find("config.txt"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(caption), std::string::npos) << e.what();
        }
    }
}

void writeCompany(ServerState& s, const std::string& column, const db::Value& value) {
    s.db.execute(
        "INSERT INTO Company (Name,Fax,AutomationServerPoll,AutomationServerEmailFrom,"
        "AutomationServerEmailServer,AutomationServerEmailServerPort,AutomationServerEmailUser,"
        "AutomationServerEmailPassword,AutomationServerEmailUseSSLTLS,AutomationServerEmailFooter)"
        " VALUES ('Ferrow','555',5,'a@b.test','smtp','0587','u','s3cret',-1,'Foot')");
    if (!column.empty()) {
        s.db.execute("UPDATE Company SET " + column + "=?", {value});
    }
}

TEST(CompanySettings, NullInAUsedColumnStopsNamingItNullElsewhereReadsEmpty) {
    for (const auto& [column, value] : std::vector<std::pair<std::string, db::Value>>{
             {"Name", nullptr},
             {"AutomationServerPoll", 32768},
             {"AutomationServerPoll", nullptr},
             {"AutomationServerEmailServerPort", nullptr},
             {"AutomationServerEmailPassword", nullptr}}) {
        test::OpenState s;
        writeCompany(s.state, column, value);
        EXPECT_THAT([&] { LoadCompanySettings(s.state); },
                    testing::ThrowsMessage<CompanySettingsError>(
                        testing::AllOf(testing::HasSubstr("column " + column),
                                       testing::Not(testing::HasSubstr("s3cret")))));
        EXPECT_EQ(s.state.company.Name, "") << "nothing half-loaded";
    }
    test::OpenState s;
    writeCompany(s.state, "Fax", nullptr);
    LoadCompanySettings(s.state);
    EXPECT_EQ(s.state.company.Fax, "");
    EXPECT_EQ(s.state.company.AutomationServerEmailServerPort, "0587");
    EXPECT_EQ(s.state.company.AutomationServerPoll, 5);
    EXPECT_TRUE(s.state.company.AutomationServerEmailUseSSLTLS);
}

TEST(InstanceLock, KeysNameTheDatabaseAndNeverThePassword) {
    const auto key = [](std::string_view s) { return NormalisedDatabaseKey(s, "/"); };
    EXPECT_EQ(key("Driver={ODBC 18};Server=DB1;Database=Fleet;UID=a;PWD=x"),
              key("server = db1; DATABASE=fleet; Driver={FreeTDS}; UID=b"));
    EXPECT_NE(key("Server=db1;Database=Fleet"), key("Server=db1;Database=Other"));
    EXPECT_EQ(key("DSN=Fleet"), key("dsn=FLEET;UID=x"));
    EXPECT_EQ(key("sqlite:/d/../d/a.db"), key("sqlite:/d/a.db"));
    for (const char* secret : {"Host=a;PWD=s3cret", "Host=a;Password=s3cret"}) {
        EXPECT_EQ(key(secret).find("s3cret"), std::string::npos) << secret;
    }
}

}  // namespace
}  // namespace fas::startup
