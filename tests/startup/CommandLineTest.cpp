#include <gtest/gtest.h>

#include "startup/CommandLine.h"

namespace fas::startup {
namespace {

TEST(CommandLine, ReadsEveryOptionInBothForms) {
    const auto plain = ParseCommandLine({});
    EXPECT_FALSE(plain.configFile || plain.headless || plain.once || plain.help ||
                 plain.pickupDirectory);

    const auto all = ParseCommandLine(
        {"--config", "/etc/fas/config.txt", "--headless", "--once", "--pickup-dir=/tmp/out"});
    EXPECT_EQ(all.configFile, std::filesystem::path("/etc/fas/config.txt"));
    EXPECT_TRUE(all.headless);
    EXPECT_TRUE(all.once);
    EXPECT_EQ(all.pickupDirectory, std::filesystem::path("/tmp/out"));
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
}

TEST(CommandLine, RejectsWhatItCannotUse) {
    EXPECT_THROW(ParseCommandLine({"--config"}), CommandLineError);
    EXPECT_THROW(ParseCommandLine({"--config="}), CommandLineError);
    EXPECT_THROW(ParseCommandLine({"--once=yes"}), CommandLineError);
    EXPECT_THROW(ParseCommandLine({"--bogus"}), CommandLineError);
    EXPECT_THROW(ParseCommandLine({"config.txt"}), CommandLineError);
}

TEST(CommandLine, HelpDescribesEveryOption) {
    const auto usage = UsageText();
    for (const char* option :
         {"--config FILE", "--headless", "--once", "--pickup-dir DIR", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    for (std::size_t start = 0, end = 0; start < usage.size(); start = end + 1) {
        end = usage.find('\n', start);
        if (end == std::string::npos) {
            end = usage.size();
        }
        EXPECT_LE(end - start, 100U) << usage.substr(start, end - start);
    }
}

}  // namespace
}  // namespace fas::startup
