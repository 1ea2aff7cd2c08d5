// The operator's safety options through the real binary: a dry run that changes nothing, the
// preflight check, and the per-step report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DemoSite.h"

namespace fas {
namespace {

using testing::HasSubstr;
using testing::Not;

class OperatorOptions : public test::DemoSite {
  protected:
    std::string everything() { return contents(); }
};

TEST_F(OperatorOptions, ADryRunShowsWhatARunWouldDoAndChangesNothing) {
    const std::string before = everything();
    const auto outbox = dir.path() / "outbox";
    const auto dry = run({"--dry-run", "--pickup-dir", outbox.string()});
    EXPECT_EQ(dry.exitStatus, 0) << dry.err;
    EXPECT_THAT(dry.out, HasSubstr("(dry run: every change was rolled back)"));
    EXPECT_EQ(everything(), before);
    EXPECT_EQ(smtp->messagesAccepted(), 0);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(outbox)) {
        files += entry.path().extension() == ".eml" ? 1u : 0u;
    }
    EXPECT_GT(files, 0u);

    // Without a pickup directory the messages are listed, still not sent; the real run after it
    // does exactly what the dry run showed.
    const auto listed = run({"--dry-run"});
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("--- message 1 (not sent)"));
    EXPECT_THAT(listed.out, HasSubstr("Subject: Notification from Ferrow Fleet Compliance"));
    EXPECT_EQ(smtp->messagesAccepted(), 0);
    EXPECT_EQ(everything(), before);

    const auto real = run({"--once"});
    EXPECT_EQ(real.exitStatus, 0) << real.err;
    EXPECT_EQ(static_cast<std::size_t>(smtp->messagesAccepted()), files);
}

TEST_F(OperatorOptions, TheCheckFindsWhatWouldBlockARun) {
    const auto healthy = run({"--check"});
    EXPECT_EQ(healthy.exitStatus, 0) << healthy.out << healthy.err;
    EXPECT_THAT(healthy.out, HasSubstr("Nothing blocks a task run."));
    EXPECT_THAT(healthy.out, HasSubstr("every table and column the catalog uses exists"));
    EXPECT_EQ(smtp->messagesAccepted(), 0);

    // A missing alert row warns; it does not block.
    exec("DELETE FROM AutomationServer_Alert WHERE Item='MC Expire'");
    const auto warned = run({"--check"});
    EXPECT_EQ(warned.exitStatus, 0);
    EXPECT_THAT(warned.out, HasSubstr("step 11: item \"MC Expire\" has no AutomationServer_Alert "
                                      "row; it inherits the settings"));
    EXPECT_THAT(warned.out, HasSubstr("(item \"DL Expire\")"));

    // A column the catalog needs is gone and the mail server is down: both block.
    exec("ALTER TABLE Driver DROP COLUMN DocNRCME");
    smtp->stop();
    const auto blocked = run({"--check"});
    EXPECT_EQ(blocked.exitStatus, 1);
    EXPECT_THAT(blocked.out, HasSubstr("missing column Driver.DocNRCME"));
    EXPECT_THAT(blocked.out, HasSubstr("BLOCKS   mail: "));
    EXPECT_THAT(blocked.out, HasSubstr("Something above blocks a task run."));

    exec("DELETE FROM AutomationServer_Alert");
    exec("ALTER TABLE Driver ADD COLUMN DocNRCME INTEGER");
    exec("DELETE FROM Company");
    const auto noCompany = run({"--check"});
    EXPECT_EQ(noCompany.exitStatus, 1);
    EXPECT_THAT(noCompany.out, HasSubstr("the Company table has no row"));
    EXPECT_THAT(noCompany.out, HasSubstr("(right after start: everything off)"));
}

TEST_F(OperatorOptions, TheCheckNeverWrites) {
    const std::string before = everything();
    run({"--check"});
    EXPECT_EQ(everything(), before);
}

TEST_F(OperatorOptions, VerboseReportsEachStepThatDidSomething) {
    exec("UPDATE Vehicle SET TagExpiration='2001-01-01' WHERE ID=3");
    const auto r = run({"--once", "--verbose", "--pickup-dir", (dir.path() / "out").string()});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("  step 1 (date-expiry rule, PAI Due): issues created "));
    EXPECT_THAT(r.out, HasSubstr("  step 2 (date-expiry rule, Tag Expiration): issues created "));
    EXPECT_THAT(r.out, HasSubstr("  step 84 (outbox dispatch): issues created 0, issues closed 0, "
                                 "notifications queued 0, e-mails sent "));
    EXPECT_THAT(r.out, Not(HasSubstr("step 60 ")));  // a flag pass with nothing to close

    // A failing step is reported with its error, and the later steps still run.
    exec("UPDATE AutomationServer_Alert SET DaysInAdvance=NULL WHERE Item='MC Expire'");
    const auto failing =
        run({"--once", "--verbose", "--pickup-dir", (dir.path() / "out").string()});
    EXPECT_EQ(failing.exitStatus, 1);
    EXPECT_THAT(failing.out,
                HasSubstr("  step 11 (date-expiry rule, MC Expire): issues created 0"));
    EXPECT_THAT(failing.out, HasSubstr("    error: step 11 (date-expiry rule, MC Expire): "));
    EXPECT_THAT(failing.out, HasSubstr("DaysInAdvance"));
    // The item's two steps both fail on its settings row.
    EXPECT_THAT(failing.out, HasSubstr("Errors: 2 (step 11"));
    EXPECT_THAT(failing.out,
                HasSubstr("    error: step 31 (close-on-exclusion pass, MC Expire): "));
}

}  // namespace
}  // namespace fas
