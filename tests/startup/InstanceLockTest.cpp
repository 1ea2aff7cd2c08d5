#include <gtest/gtest.h>

#include "startup/InstanceLock.h"
#include "support/TestDatabase.h"

namespace fas::startup {
namespace {

TEST(InstanceLock, OneServerPerDatabase) {
    test::TempDatabase first;
    test::TempDatabase second;
    auto held = InstanceLock::acquire(first.location(), first.dir());
    ASSERT_TRUE(held);
    EXPECT_FALSE(InstanceLock::acquire(first.location(), first.dir()));

    // Another database is served side by side.
    const auto other = InstanceLock::acquire(second.location(), second.dir());
    EXPECT_TRUE(other);

    // The same file spelled relative to the config directory, or through "..", is the same
    // database.
    EXPECT_FALSE(InstanceLock::acquire("sqlite:compliance.db", first.dir()));
    EXPECT_FALSE(InstanceLock::acquire(
        "sqlite:" + (first.dir() / ".." / first.dir().filename() / "compliance.db").string(), "/"));

    // Released with its holder, so the next server may start.
    held.reset();
    EXPECT_TRUE(InstanceLock::acquire(first.location(), first.dir()));
}

TEST(InstanceLock, ConnectionStringsNamingTheSameDatabaseShareOneLock) {
    const std::filesystem::path base = "/";
    const auto key = [&](std::string_view s) { return NormalisedDatabaseKey(s, base); };
    EXPECT_EQ(key("Driver={ODBC Driver 18 for SQL Server};Server=DB1;Database=Fleet;UID=a;PWD=x"),
              key("server = db1; DATABASE=fleet; Driver={FreeTDS}; UID=b; PWD=y"));
    EXPECT_NE(key("Server=db1;Database=Fleet"), key("Server=db1;Database=Other"));
    EXPECT_NE(key("Server=db1;Database=Fleet"), key("Server=db2;Database=Fleet"));
    EXPECT_EQ(key("DSN=Fleet"), key("dsn=FLEET;UID=x"));
    EXPECT_NE(key("sqlite:/data/a.db"), key("sqlite:/data/b.db"));
    // Passwords never reach the key, and so never the lock file's name.
    EXPECT_EQ(key("Server=db1;Database=Fleet;PWD=secret").find("secret"), std::string::npos);
    EXPECT_NE(InstanceLockFile("Server=db1;Database=Fleet", base),
              InstanceLockFile("Server=db1;Database=Other", base));
}

}  // namespace
}  // namespace fas::startup
