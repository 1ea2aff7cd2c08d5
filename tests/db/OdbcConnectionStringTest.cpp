#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "db/Connection.h"
#include "db/OdbcConnectionString.h"

namespace fas::db {
namespace {

// Sets (or clears) the driver override for one test and puts the old value back.
class DriverOverride {
  public:
    explicit DriverOverride(const char* value) {
        if (const char* old = std::getenv(kName)) {
            old_ = old;
        }
        apply(value);
    }
    ~DriverOverride() { apply(old_ ? old_->c_str() : nullptr); }
    DriverOverride(const DriverOverride&) = delete;
    DriverOverride& operator=(const DriverOverride&) = delete;

  private:
    static constexpr const char* kName = "AUTOMATION_SERVER_ODBC_DRIVER";
    static void apply(const char* value) {
        if (value) {
            setenv(kName, value, 1);
        } else {
            unsetenv(kName);
        }
    }
    std::optional<std::string> old_;
};

std::optional<std::string> valueOf(const std::string& connectionString, const std::string& key) {
    for (const OdbcAttribute& a : parseOdbcAttributes(connectionString)) {
        if (a.key == key) {
            return a.value;
        }
    }
    return std::nullopt;
}

TEST(OdbcConnectionString, ConvertsEveryOleDbKeyword) {
    DriverOverride noOverride(nullptr);
    EXPECT_EQ(toOdbcConnectionString(
                  "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;"
                  "Initial Catalog=Fleet;Data Source=SRV01\\SQLEXPRESS"),
              "Driver={ODBC Driver 18 for SQL Server};UID=sa;PWD=pw;Database=Fleet;"
              "Server=SRV01\\SQLEXPRESS;");

    // Integrated security replaces the login; keywords and providers match in any case and
    // with the version suffixes the newer providers carry.
    for (const char* provider : {"SQLNCLI11", "sqloledb", "MSOLEDBSQL19"}) {
        const std::string converted = toOdbcConnectionString(
            std::string("provider=") + provider +
            ";data source=(local);INTEGRATED SECURITY=SSPI;initial  catalog=Fleet");
        EXPECT_EQ(converted,
                  "Driver={ODBC Driver 18 for SQL Server};Server=(local);Trusted_Connection=yes;"
                  "Database=Fleet;")
            << provider;
    }
    EXPECT_EQ(valueOf(toOdbcConnectionString(
                          "Provider=SQLOLEDB;Data Source=s;Integrated Security=False;User ID=u"),
                      "Trusted_Connection"),
              std::nullopt);
}

TEST(OdbcConnectionString, QuotesValuesThatOdbcCannotCarryPlain) {
    DriverOverride noOverride(nullptr);
    // OLE DB quotes become ODBC braces, with '}' doubled inside them.
    const std::string converted = toOdbcConnectionString(
        "Provider=SQLOLEDB;Data Source=srv;User ID='O''Brien';Password=\"a;b}c=d\";"
        "Initial Catalog= Fleet Data ");
    EXPECT_NE(converted.find("PWD={a;b}}c=d};"), std::string::npos) << converted;
    EXPECT_NE(converted.find("UID=O'Brien;"), std::string::npos) << converted;
    EXPECT_EQ(valueOf(converted, "PWD"), "a;b}c=d");
    EXPECT_EQ(valueOf(converted, "Database"), "Fleet Data");
    EXPECT_EQ(valueOf(converted, "Server"), "srv");

    EXPECT_EQ(quoteOdbcValue(" lead"), "{ lead}");
    EXPECT_EQ(quoteOdbcValue("plain!value"), "plain!value");
}

TEST(OdbcConnectionString, DriverComesFromTheEnvironmentWhenSet) {
    const std::string oleDb = "Provider=SQLOLEDB;Data Source=db1;Initial Catalog=Fleet";
    {
        DriverOverride freeTds("FreeTDS");
        EXPECT_EQ(toOdbcConnectionString(oleDb), "Driver={FreeTDS};Server=db1;Database=Fleet;");
    }
    {
        DriverOverride braced("{ODBC Driver 17 for SQL Server}");
        EXPECT_EQ(valueOf(toOdbcConnectionString(oleDb), "Driver"),
                  "ODBC Driver 17 for SQL Server");
    }
    {
        DriverOverride empty("");
        EXPECT_EQ(valueOf(toOdbcConnectionString(oleDb), "Driver"),
                  "ODBC Driver 18 for SQL Server");
    }
}

TEST(OdbcConnectionString, LeavesOdbcStringsAlone) {
    DriverOverride freeTds("FreeTDS");
    for (const char* odbc :
         {"Driver={ODBC Driver 18 for SQL Server};Server=x;Database=y;",
          "DSN=Fleet;UID=a;PWD={p;w}", "Provider=Microsoft.ACE.OLEDB.12.0;x=y"}) {
        EXPECT_EQ(toOdbcConnectionString(odbc), odbc);
    }
    // The OLE DB provider for ODBC wraps an ODBC string: only the provider goes.
    EXPECT_EQ(toOdbcConnectionString("Provider=MSDASQL.1;DSN=Fleet;UID=a"), "DSN=Fleet;UID=a;");
}

TEST(OdbcConnectionString, RedactsEveryPasswordForm) {
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"Driver=X;UID=sa;PWD=S3cret!;Server=y", "Driver=X;UID=sa;PWD=***;Server=y"},
        {"Provider=SQLOLEDB;Password=\"S3;cret\";Data Source=y",
         "Provider=SQLOLEDB;Password=***;Data Source=y"},
        {"pwd={S3;cr}}et};Server=y", "pwd=***;Server=y"},
        {"Password = S3cret!", "Password = ***"},
        {"Login failed (password=S3cret!)\nnext line", "Login failed (password=***\nnext line"},
        {"PasswordHint=kept;OldPwd=kept", "PasswordHint=kept;OldPwd=kept"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(redactConnectionString(c.input), c.expected) << c.input;
    }
}

TEST(OdbcConnectionString, RemovesPasswordsEchoedOutsideTheirKeyword) {
    const std::string message = removePasswords(
        "Cannot open /srv/S3cret!.db and {S3;cret}} as user sa; Server=y;PWD=S3cret!",
        "Driver=X;UID=sa;PWD=S3cret!;Password={S3;cret}}}");
    EXPECT_EQ(message.find("S3"), std::string::npos) << message;
    EXPECT_NE(message.find("user sa; Server=y;PWD=***"), std::string::npos) << message;
}

}  // namespace
}  // namespace fas::db
