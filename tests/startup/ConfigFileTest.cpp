#include <gtest/gtest.h>

#include <fstream>

#include "startup/ConfigFile.h"
#include "support/TestDatabase.h"

namespace fas::startup {
namespace {

const std::filesystem::path kName = "config.txt";

ConfigValues parse(std::string_view text) {
    return ParseConfigText(text, kName);
}

std::string failureOf(std::string_view text) {
    try {
        parse(text);
    } catch (const ConfigError& e) {
        return e.what();
    }
    ADD_FAILURE() << "no ConfigError for: " << text;
    return {};
}

TEST(ConfigFile, ReadsTheSameValuesFromThreeLinesOrOne) {
    const auto threeLines = parse(
        "\"**** Configuration File - DO NOT Modify by hand****\"\r\n"
        "\"Database Location\",\"sqlite:demo.db\"\r\n"
        "\"Caption\",\"Head Office\"\r\n");
    EXPECT_EQ(threeLines.DatabaseLocation, "sqlite:demo.db");
    EXPECT_EQ(threeLines.CaptionSuffix, "Head Office");

    const auto oneLine = parse(
        "\"**** Configuration File - DO NOT Modify by hand****\",\"Database Location\","
        "\"sqlite:demo.db\",\"Caption\",\"Head Office\"");
    EXPECT_EQ(oneLine.DatabaseLocation, threeLines.DatabaseLocation);
    EXPECT_EQ(oneLine.CaptionSuffix, threeLines.CaptionSuffix);

    // Unix line ends and blanks around the fields read the same.
    const auto unix = parse("\"h\"\n  \"x\" , \"sqlite:demo.db\"\n\"c\",  \"Head Office\"\n");
    EXPECT_EQ(unix.DatabaseLocation, "sqlite:demo.db");
    EXPECT_EQ(unix.CaptionSuffix, "Head Office");
}

TEST(ConfigFile, QuotedCommasStayAndUnquotedFieldsAreCutAtTheFirstComma) {
    const std::string odbc = "Driver={ODBC Driver 18 for SQL Server};Server=db1,1433;Database=F";
    const auto quoted = parse("\"h\"\r\n\"Database Location\",\"" + odbc + "\"\r\n\"c\",\"X\"\r\n");
    EXPECT_EQ(quoted.DatabaseLocation, odbc);

    // Unquoted, the string is cut at its comma and what follows becomes the next fields: the
    // caption is then read from the wrong place, exactly as the position rule says.
    const auto unquoted =
        parse("\"h\"\r\n\"Database Location\",Server=db1,1433;Database=F\r\n\"c\",\"X\"\r\n");
    EXPECT_EQ(unquoted.DatabaseLocation, "Server=db1");
    EXPECT_EQ(unquoted.CaptionSuffix, "c");

    // Unquoted fields end at the line end too, and lose trailing blanks.
    const auto bare = parse("header\r\nlabel,sqlite:demo.db   \r\nlabel,Site 2\r\n");
    EXPECT_EQ(bare.DatabaseLocation, "sqlite:demo.db");
    EXPECT_EQ(bare.CaptionSuffix, "Site 2");
}

TEST(ConfigFile, LabelsAreIgnoredAndNothingAfterTheFifthFieldIsRead) {
    const auto values = parse(
        "\"anything\"\r\n\"Not a label we know\",\"sqlite:a.db\"\r\n\"zzz\",\"Caption\"\r\n"
        "\"extra\",\"sqlite:other.db\"\r\n\"unclosed");
    EXPECT_EQ(values.DatabaseLocation, "sqlite:a.db");
    EXPECT_EQ(values.CaptionSuffix, "Caption");
}

TEST(ConfigFile, EmptyCaptionIsKept) {
    EXPECT_EQ(parse("\"h\"\r\n\"l\",\"sqlite:a.db\"\r\n\"l\",\"\"\r\n").CaptionSuffix, "");
    EXPECT_EQ(parse("\"h\",\"l\",\"sqlite:a.db\",\"l\",").CaptionSuffix, "");
}

TEST(ConfigFile, AMissingRecordIsAFailureThatSaysWhatIsMissing) {
    const auto noCaption = failureOf("\"h\"\r\n\"Database Location\",\"sqlite:a.db\"\r\n");
    EXPECT_NE(noCaption.find("config.txt"), std::string::npos) << noCaption;
    EXPECT_NE(noCaption.find("caption record"), std::string::npos) << noCaption;
    EXPECT_NE(noCaption.find("3 of the 5"), std::string::npos) << noCaption;

    // A label without its value is just as short.
    EXPECT_NE(failureOf("\"h\"\r\n\"l\",\"sqlite:a.db\"\r\n\"Caption\"\r\n\r\n").find("4 of the 5"),
              std::string::npos);
    EXPECT_NE(failureOf("\"h\"\r\n\"l\"\r\n").find("database location record"), std::string::npos);
    EXPECT_NE(failureOf("").find("it is empty"), std::string::npos);
    EXPECT_NE(failureOf("\"h\",\"l\",\"sqlite:a.db\",\"c\",\"never closed").find("not closed"),
              std::string::npos);
}

TEST(ConfigFile, WindowsEncodedFilesReadAsUtf8) {
    // A Notepad byte-order mark, and a caption written in the Windows code page (0xE9 is e acute).
    const auto bom = parse("\xEF\xBB\xBF\"h\"\r\n\"l\",\"sqlite:a.db\"\r\n\"l\",\"Caf\xE9\"\r\n");
    EXPECT_EQ(bom.DatabaseLocation, "sqlite:a.db");
    EXPECT_EQ(bom.CaptionSuffix, "Caf\xC3\xA9");
    EXPECT_EQ(parse("\"h\",\"l\",\"x\",\"l\",\"Caf\xC3\xA9\"").CaptionSuffix, "Caf\xC3\xA9");
}

TEST(ConfigFile, MissingOrUnreadableFileNamesTheFile) {
    test::TempDir dir;
    const auto missing = dir.path() / "config.txt";
    try {
        ReadConfigFile(missing);
        ADD_FAILURE() << "missing file accepted";
    } catch (const ConfigError& e) {
        EXPECT_NE(std::string(e.what()).find(missing.string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos) << e.what();
    }

    // A folder where the file should be cannot be read (this holds even for root).
    std::filesystem::create_directory(missing);
    try {
        ReadConfigFile(missing);
        ADD_FAILURE() << "unreadable file accepted";
    } catch (const ConfigError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot be read"), std::string::npos) << e.what();
    }
}

TEST(ConfigFile, FillsTheServerStateAndNeverWritesTheFile) {
    test::TempDir dir;
    const auto file = dir.path() / "config.txt";
    const std::string text = "\"h\"\r\n\"l\",\"sqlite:data/x.db\"\r\n\"l\",\"North\"\r\n";
    std::ofstream(file, std::ios::binary) << text;
    const auto before = std::filesystem::last_write_time(file);

    ServerState state;
    ReadConfigFile(state, file);
    EXPECT_EQ(state.DatabaseLocation, "sqlite:data/x.db");
    EXPECT_EQ(state.CaptionSuffix, "North");
    EXPECT_EQ(state.configDirectory, dir.path());

    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
}

}  // namespace
}  // namespace fas::startup
