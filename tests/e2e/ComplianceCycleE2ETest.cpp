// The compliance cycle through the real binary on a copy of the demo database and a real SMTP
// server: what a run does, what a second run does not do, and what --check finds.

#include <regex>

#include "e2e/Site.h"

namespace fas::test {
namespace {

using testing::HasSubstr;

class Cycle : public ::testing::Test, public Site {
  protected:
    Cycle() : Site(DemoTemplate()) { sendThrough(smtp); }
    // Emails, Issues Created, Issues Closed of a results line.
    std::vector<int> counts(const ProcessResult& r) {
        EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
        std::smatch m;
        std::regex_search(
            r.out, m, std::regex("Emails: (\\d+)  Issues Created: (\\d+)  Issues Closed: (\\d+)"));
        return m.empty() ? std::vector<int>{}
                         : std::vector{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3])};
    }
    SmtpTestServer smtp;
};

// What each rule raises and closes is the rules' and closing passes' suites'; here, that the
// binary's run delivers one digest per recipient, each marked sent (the log row's counts: the
// tasks suite's).
TEST_F(Cycle, AFirstRunDeliversEveryDigestAndASecondChangesAndSendsNothing) {
    // Issues raised late in a run reach the issue-due rule in the next run only: quiet it, so
    // that the second run must find nothing at all.
    exec(
        "UPDATE AutomationServer_Alert SET "
        "EmailContractManager=0,EmailContractSpecialist=0,EmailClient=0,"
        "CreateIssue=0 WHERE Item='Due Date Approach'");
    const auto first = counts(serve(*this, {"--once"}));
    ASSERT_EQ(first.size(), 3u);
    EXPECT_GT(first[1], 0);
    EXPECT_GT(first[2], 0);
    const auto received = smtp.messagesAccepted();
    EXPECT_EQ(received, first[0]);
    EXPECT_EQ(
        count("SELECT COUNT(DISTINCT EmailTo) FROM AutomationServer_EmailsSent WHERE EmailTo<>''"),
        first[0]);
    EXPECT_EQ(
        count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND EmailTo<>''"),
        0);

    EXPECT_EQ(counts(serve(*this, {"--once"})), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(smtp.messagesAccepted(), received);
}

// That the check leaves the file byte for byte: StartupE2ETest.
TEST_F(Cycle, TheCheckFindsWhatWouldBlockARunAndSendsNothing) {
    const auto healthy = serve(*this, {"--check"});
    EXPECT_EQ(healthy.exitStatus, 0) << healthy.out << healthy.err;
    EXPECT_THAT(healthy.out, HasSubstr("Nothing blocks a task run."));
    EXPECT_EQ(smtp.messagesAccepted(), 0);
    exec("ALTER TABLE Driver DROP COLUMN DocNRCME");
    smtp.stop();
    const auto blocked = serve(*this, {"--check"});
    EXPECT_EQ(blocked.exitStatus, 1);
    EXPECT_THAT(blocked.out, HasSubstr("missing column Driver.DocNRCME"));
    EXPECT_THAT(blocked.out, HasSubstr("BLOCKS   mail: "));
    EXPECT_THAT(blocked.out, HasSubstr("Something above blocks a task run."));
}

}  // namespace
}  // namespace fas::test
