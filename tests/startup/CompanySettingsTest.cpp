#include <gtest/gtest.h>

#include "startup/CompanySettingsLoader.h"
#include "support/TestDatabase.h"

namespace fas::startup {
namespace {

constexpr const char* kInsertCompany =
    "INSERT INTO Company (Name,Address1,Address2,City,State,Zip,Phone,Fax,Email,Website,"
    "AutomationServerPoll,AutomationServerEmailFrom,AutomationServerEmailServer,"
    "AutomationServerEmailServerPort,AutomationServerEmailUser,AutomationServerEmailPassword,"
    "AutomationServerEmailUseSSLTLS,AutomationServerEmailFooter) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

const std::vector<std::string> kColumns = {"Name",
                                           "Address1",
                                           "Address2",
                                           "City",
                                           "State",
                                           "Zip",
                                           "Phone",
                                           "Fax",
                                           "Email",
                                           "Website",
                                           "AutomationServerPoll",
                                           "AutomationServerEmailFrom",
                                           "AutomationServerEmailServer",
                                           "AutomationServerEmailServerPort",
                                           "AutomationServerEmailUser",
                                           "AutomationServerEmailPassword",
                                           "AutomationServerEmailUseSSLTLS",
                                           "AutomationServerEmailFooter"};

db::Params fullRow() {
    return {"Ferrow Transport",
            "1 Depot Road",
            "Unit 4",
            "Springfield",
            "IL",
            "62701",
            "555-0100",
            "555-0101",
            "office@ferrow.test",
            "www.ferrow.test",
            5,
            "server@ferrow.test",
            "smtp.ferrow.test",
            "0587",
            "mailer",
            "s3cret",
            1,
            "Ferrow Compliance"};
}

db::Params with(db::Params row, const std::string& column, db::Value value) {
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        if (kColumns[i] == column) {
            row[i] = std::move(value);
        }
    }
    return row;
}

TEST(CompanySettings, ReadsEveryColumnOfTheRow) {
    test::OpenState s;
    s.exec(kInsertCompany, fullRow());
    LoadCompanySettings(s.state);
    const auto& c = s.state.company;
    EXPECT_EQ(c.Name, "Ferrow Transport");
    EXPECT_EQ(c.Address1, "1 Depot Road");
    EXPECT_EQ(c.Website, "www.ferrow.test");
    EXPECT_EQ(c.AutomationServerPoll, 5);
    EXPECT_EQ(c.AutomationServerEmailFrom, "server@ferrow.test");
    EXPECT_EQ(c.AutomationServerEmailServer, "smtp.ferrow.test");
    EXPECT_EQ(c.AutomationServerEmailServerPort, "0587");  // text, exactly as stored
    EXPECT_EQ(c.AutomationServerEmailUser, "mailer");
    EXPECT_EQ(c.AutomationServerEmailPassword, "s3cret");
    EXPECT_TRUE(c.AutomationServerEmailUseSSLTLS);
    EXPECT_EQ(c.AutomationServerEmailFooter, "Ferrow Compliance");
}

TEST(CompanySettings, NoRowKeepsTheDefaults) {
    test::OpenState s;
    s.state.company.Name = "left from before";
    LoadCompanySettings(s.state);
    EXPECT_EQ(s.state.company.Name, "left from before");
    EXPECT_EQ(s.state.company.AutomationServerPoll, 0);
}

TEST(CompanySettings, SecureFlagIsTrueForAnyNonZeroNumber) {
    for (const auto& [stored, expected] :
         std::vector<std::pair<int, bool>>{{1, true}, {-1, true}, {0, false}}) {
        test::OpenState s;
        s.exec(kInsertCompany, with(fullRow(), "AutomationServerEmailUseSSLTLS", stored));
        LoadCompanySettings(s.state);
        EXPECT_EQ(s.state.company.AutomationServerEmailUseSSLTLS, expected) << stored;
    }
}

TEST(CompanySettings, NullInAnInformationalColumnReadsAsEmpty) {
    for (const char* column :
         {"Address1", "Address2", "City", "State", "Zip", "Phone", "Fax", "Email", "Website"}) {
        test::OpenState s;
        s.exec(kInsertCompany, with(fullRow(), column, nullptr));
        ASSERT_NO_THROW(LoadCompanySettings(s.state)) << column;
        EXPECT_EQ(s.state.company.Name, "Ferrow Transport") << column;
        EXPECT_EQ(s.state.company.AutomationServerEmailFooter, "Ferrow Compliance") << column;
    }
    test::OpenState s;
    s.exec(kInsertCompany, with(fullRow(), "Fax", nullptr));
    LoadCompanySettings(s.state);
    EXPECT_EQ(s.state.company.Fax, "");
}

TEST(CompanySettings, NullOrOutOfRangeInAUsedColumnStopsWithItsName) {
    std::vector<std::pair<std::string, db::Value>> bad = {{"AutomationServerPoll", 32768},
                                                          {"AutomationServerPoll", -32769}};
    for (const char* column : {"Name", "AutomationServerPoll", "AutomationServerEmailFrom",
                               "AutomationServerEmailServer", "AutomationServerEmailServerPort",
                               "AutomationServerEmailUser", "AutomationServerEmailPassword",
                               "AutomationServerEmailUseSSLTLS", "AutomationServerEmailFooter"}) {
        bad.emplace_back(column, nullptr);
    }
    for (const auto& [column, value] : bad) {
        test::OpenState s;
        s.exec(kInsertCompany, with(fullRow(), column, value));
        try {
            LoadCompanySettings(s.state);
            ADD_FAILURE() << column << " = " << value.debugString() << " accepted";
        } catch (const CompanySettingsError& e) {
            EXPECT_NE(std::string(e.what()).find("column " + column), std::string::npos)
                << e.what();
            EXPECT_EQ(std::string(e.what()).find("s3cret"), std::string::npos) << e.what();
        }
        // Nothing half-loaded stays behind.
        EXPECT_EQ(s.state.company.Name, "") << column;
    }
}

}  // namespace
}  // namespace fas::startup
