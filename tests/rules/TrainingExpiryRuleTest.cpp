#include <gtest/gtest.h>

#include "rules/RuleEntries.h"
#include "rules/RuleFixtures.h"

namespace fas::test {
namespace {

using Ids = std::vector<std::int64_t>;

class TrainingExpiryRuleTest : public RuleDatabaseTest {
  protected:
    void run() { rules::RunTrainingExpiryRule(state(), catalogStep(81)); }

    std::int64_t addTopic(const db::Value& name) {
        return addRow(s, "TrainingTopic", {{"Name", name}});
    }
    std::int64_t addTraining(std::int64_t contract, const db::Value& driver, const db::Value& topic,
                             const db::Value& expires, Columns extra = {}) {
        Columns columns{{"ContractID", contract},
                        {"DriverID", driver},
                        {"TopicID", topic},
                        {"ExpireDate", expires},
                        {"Expires", 1}};
        columns.insert(columns.end(), extra.begin(), extra.end());
        return addRow(s, "Training", columns);
    }
    std::int64_t addTrainee(std::int64_t contract, Columns extra = {}) {
        return addDriver(s, contract, "DLExpire", db::Value(), std::move(extra));
    }
};

TEST_F(TrainingExpiryRuleTest, OneExpirySentenceForSubjectBodyAndIssue) {
    addAlert(s, {.item = "Training Expire", .emailClient = 1});
    const auto c = addContract(s, {.extra = {{"emailTraining", "training@acme.test"},
                                             {"EnableDirectDriverNotificationEmails", 1}}});
    const auto record =
        addTraining(c, addTrainee(c, {{"LastName", "O'Neil"}}), addTopic("Driver's Forklift"),
                    dateOnly(db::DateTime::fromDate(2020, 12, 31)));

    run();
    run();  // nothing more for the same date

    const auto rows = outbox(s);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].to, "manager@acme.test");
    EXPECT_EQ(rows[1].to, "training@acme.test");
    const std::string sentence = "Driver: ONeil, John - Drivers Forklift expires 12/31/2020";
    EXPECT_EQ(rows[0].subject, "Acme Haulage - " + sentence);
    EXPECT_EQ(rows[0].body, "Client: Acme Haulage\r\nItem ID: " + std::to_string(record) + "\r\n" +
                                sentence + "\r\n\r\n" + std::string(54, '*') + "\r\n");
    EXPECT_EQ(notifiedItems(s, "Training Expire"), Ids{record});
    EXPECT_EQ(issuedItems(s, "Training Expire"), Ids{record});
    EXPECT_EQ(s.scalar("SELECT Description FROM Issues").joined(), "(AUTO ISSUE) " + sentence);
    EXPECT_EQ(s.scalar("SELECT ItemDesc FROM Issues").joined(),
              "Driver: ONeil, John - Drivers Forklift");
    EXPECT_EQ(s.scalar("SELECT Category FROM Issues").joined(), "Training");
}

TEST_F(TrainingExpiryRuleTest, WindowsAndMutedContracts) {
    addAlert(s, {.item = "Training Expire", .daysInAdvance = 30, .issueDays = 14});
    const auto c = addContract(s);
    const auto muted = addContract(s, {.muted = 1});
    const auto topic = addTopic("Hazmat");
    const auto at30 = addTraining(c, addTrainee(c), topic, dateAndTime(day(30)));
    addTraining(c, addTrainee(c), topic, dateOnly(day(31)));
    addTraining(c, addTrainee(c), topic, dateAndTime(dayAt(30, 10, 0)));
    const auto at14 = addTraining(c, addTrainee(c), topic, dateOnly(day(14)));
    const auto mutedDue = addTraining(muted, addTrainee(muted), topic, dateOnly(day(14)));

    run();

    EXPECT_EQ(notifiedItems(s, "Training Expire"), (Ids{at30, at14}));
    EXPECT_EQ(issuedItems(s, "Training Expire"), (Ids{at14, mutedDue}));
}

TEST_F(TrainingExpiryRuleTest, ExcludedRecordsAreLeftAloneButTheirIssuesStillClose) {
    addAlert(s, {.item = "Training Expire", .issueDays = 14});
    const auto c = addContract(s);
    const auto topic = addTopic("Hazmat");
    const auto terminated =
        addTraining(c, addTrainee(c, {{"Terminated", 1}}), topic, dateOnly(day(20)));
    const auto noDriver = addTraining(c, 9999, topic, dateOnly(day(1)));
    const auto notExpiring =
        addTraining(c, addTrainee(c), topic, dateOnly(day(1)), {{"Expires", 0}});
    const auto oldIssue = addAutoIssue(s, "Training Expire", terminated, dateOnly(day(1)));
    const auto keptIssue = addAutoIssue(s, "Training Expire", noDriver, dateOnly(day(1)));
    (void)notExpiring;

    run();

    EXPECT_TRUE(outbox(s).empty());
    EXPECT_TRUE(notifiedItems(s, "Training Expire").empty());
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM Issues"), 2);
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID = ?", {oldIssue}).joined(), "Closed");
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID = ?", {keptIssue}).joined(), "Open");
}

TEST_F(TrainingExpiryRuleTest, MissingTopicAndClientAddressDoNotStopTheRule) {
    addAlert(s, {.item = "Training Expire", .emailClient = 1});
    const auto c = addContract(s);
    const auto noTopic =
        addTraining(c, addTrainee(c), 9999, dateOnly(db::DateTime::fromDate(2020, 3, 15)));

    run();

    EXPECT_EQ(outbox(s).size(), 1u);  // the manager's; the client has no address
    EXPECT_EQ(outbox(s)[0].subject, "Acme Haulage -  expires 3/15/2020");
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_Emails WHERE Client = 1"), 1);
    EXPECT_EQ(issuedItems(s, "Training Expire"), Ids{noTopic});
    EXPECT_EQ(s.scalar("SELECT Description FROM Issues").joined(),
              "(AUTO ISSUE)  expires 3/15/2020");
}

}  // namespace
}  // namespace fas::test
