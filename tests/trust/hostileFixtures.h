#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "db/Database.h"
#include "state/ServerState.h"
#include "support/SmtpTestServer.h"
#include "support/TestDatabase.h"

namespace fas::test {

// Texts that break statements pasted together from values, mail headers cut at line breaks and
// text handling that counts bytes: apostrophes, quotes, ";", "--", "/* */", SQL keywords, "%" and
// "_", CR and LF, tabs, non-ASCII and right-to-left text, a 4,000-character value and the empty
// text.
const std::vector<std::string>& HostileTexts();

// The company's own texts, each hostile in several ways at once. The sender address is one a
// mail server accepts.
struct HostileCompany {
    std::string name;
    std::string from;
    std::string footer;
};
const HostileCompany& HostileCompanyTexts();

// Texts for the address columns (managers, specialists, client addresses of contracts).
const std::vector<std::string>& HostileAddressTexts();

// The addresses of a recipient text that a message must reach: its ";"-separated pieces, trimmed,
// that are well-formed addresses of the address texts above. Every other piece is malformed.
std::vector<std::string> DeliverableAddresses(std::string_view recipientText);
// The other pieces, which no message may go to.
std::vector<std::string> MalformedPieces(std::string_view recipientText);

// Removes every apostrophe, as the stored free texts have them removed.
std::string WithoutApostrophes(std::string_view text);

// Whether `text` is valid UTF-8 (a text cut inside a character is not).
bool IsValidUtf8(std::string_view text);

// The sizes of the generated compliance database: enough contracts, drivers, vehicles and lookup
// rows that every hostile text lands in every text column at least once.
inline constexpr int kContracts = 22;
inline constexpr int kInactiveContract = 22;

// A compliance database generated for today, arranged so that in every kind of record something
// comes due on the first run: every contract but one active, every driver and vehicle tracked.
// It also holds clerk-entered issues: pairs of open duplicates and issues due within the week.
// A hostile database then has the texts above written into every text column the catalog reads
// (names, descriptions, addresses, categories, item names, priorities, footer, company name);
// a plain one keeps the generated texts, so both take the same paths through the catalog.
class ComplianceDatabase {
  public:
    ComplianceDatabase(const SmtpTestServer& smtp, bool hostile);

    const std::filesystem::path& file() const { return file_; }
    const std::filesystem::path& dir() const { return dir_.path(); }
    std::string location() const { return "sqlite:" + file_.string(); }

    // A connection of its own, for set-up and checks.
    db::Database& open();
    void close() { reader_.CloseDatabase(); }

    // The clerk-entered duplicate pairs: the older ID first.
    const std::vector<std::pair<std::int64_t, std::int64_t>>& duplicatePairs() const {
        return duplicatePairs_;
    }

  private:
    void arrange(db::Database& db);
    void plantTexts(db::Database& db);

    TempDir dir_;
    std::filesystem::path file_;
    db::Database reader_;
    std::vector<std::pair<std::int64_t, std::int64_t>> duplicatePairs_;
};

// Every row of every table, by ID, and the schema's own text.
struct TableContent {
    std::vector<std::string> columns;
    std::map<std::int64_t, std::vector<db::Value>> rows;
};
struct DatabaseContent {
    std::string schema;  // the CREATE statements of sqlite_master
    std::map<std::string, TableContent> tables;
};
DatabaseContent ReadDatabaseContent(db::Database& db);

// A server in this process on the database: the company settings loaded as start-up loads them,
// then task runs with the real rule catalog, delivering through the company's SMTP server.
class InProcessServer {
  public:
    explicit InProcessServer(const ComplianceDatabase& database);

    // One task run. Records the distinct statement texts it issued, with the ID lists the
    // program builds itself written as "(#)", and what it wrote to standard error.
    void run();

    ServerState state;
    std::set<std::string> statements;
    std::string errorOutput;
};

}  // namespace fas::test
