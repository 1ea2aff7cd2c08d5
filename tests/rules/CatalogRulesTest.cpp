#include <gtest/gtest.h>

#include "rules/RuleEntries.h"
#include "rules/RuleFixtures.h"

namespace fas::test {
namespace {

// The rule steps of the catalog, in their order, each with its processor.
void runCatalogRules(ServerState& state) {
    for (int step = 1; step <= 19; ++step) {
        rules::RunDateExpiryRule(state, catalogStep(step));
    }
    rules::RunDateExpiryRule(state, catalogStep(77));
    rules::RunDateExpiryRule(state, catalogStep(78));
    rules::RunContractDateRule(state, catalogStep(79));
    rules::RunContractDateRule(state, catalogStep(80));
    rules::RunTrainingExpiryRule(state, catalogStep(81));
}

class CatalogRulesTest : public RuleDatabaseTest {};

TEST_F(CatalogRulesTest, EveryRuleStepNotifiesAndRaisesItsDueItemsOnce) {
    const db::Value past = dateOnly(db::DateTime::fromDate(2020, 3, 15));
    const auto c = addContract(s, {.hasmat = 1,
                                   .extra = {{"HazmatExpirationDate", past},
                                             {"MCS150UpdateDue", past},
                                             {"EmailVehicle", "fleet@acme.test"}}});
    addVehicle(s, c, "PAIDue", past,
               {{"TagExpiration", past},
                {"TankerVExpire", 1},
                {"TankerVExpireDate", past},
                {"TankerKExpire", 1},
                {"TankerKExpireDate", past},
                {"TankerIExpire", 1},
                {"TankerIExpireDate", past},
                {"TankerPExpire", 1},
                {"TankerPExpireDate", past},
                {"TankerEExpire", 1},
                {"TankerEExpireDate", past},
                {"OtherDate", past},
                {"OtherDateDesc", "Permit"},
                {"OtherDateEnabled", 1}});
    const auto driver = addDriver(s, c, "DLExpire", past,
                                  {{"PassportExpire", 1},
                                   {"PassportExpiration", past},
                                   {"MCExpire", past},
                                   {"MCMVRExpire", past},
                                   {"MVRExpire", past},
                                   {"COVExpire", past},
                                   {"TWIC", 1},
                                   {"TWICExpiration", past},
                                   {"H", 1},
                                   {"HazmatTrainingExpiration", past},
                                   {"OtherDate", past},
                                   {"OtherDateDesc", "Badge"},
                                   {"OtherDateEnabled", 1},
                                   {"AnnualDashExpire", past}});
    addRow(s, "DrugAlcoholTest",
           {{"ContractID", c},
            {"DriverName", "Smith, John"},
            {"TestTypeID", addRow(s, "DrugAlcoholTestType", {{"Name", "Random"}})},
            {"DueDate", past}});
    const auto docType =
        addRow(s, "RegistrationDocType", {{"Name", "IFTA"}, {"Description", "Fuel permit"}});
    const auto doc =
        addRow(s, "RegistrationDoc", {{"ContractID", c}, {"TypeID", docType}, {"ExpDate", past}});
    addRow(s, "Issues",
           {{"ContractID", c},
            {"Category", "Vehicle"},
            {"Description", "Brake repair"},
            {"ItemDesc", "Unit 7"},
            {"DueDate", past},
            {"Status", "Open"},
            {"EnteredBy", "jdoe"}});
    const auto training = addRow(s, "Training",
                                 {{"ContractID", c},
                                  {"DriverID", driver},
                                  {"TopicID", addRow(s, "TrainingTopic", {{"Name", "Forklift"}})},
                                  {"ExpireDate", past},
                                  {"Expires", 1}});
    const std::vector<int> steps{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                 13, 14, 15, 16, 17, 18, 19, 77, 78, 79, 80, 81};
    for (const int step : steps) {
        addAlert(s, {.item = catalogStep(step).Item, .emailClient = 1});
    }

    runCatalogRules(state());

    for (const int step : steps) {
        const std::string item = catalogStep(step).Item;
        EXPECT_EQ(notifiedItems(s, item).size(), step == 78 ? 21u : 1u) << item;
        EXPECT_EQ(issuedItems(s, item).size(), step == 78 ? 21u : 1u) << item;
    }
    // Step 78 sees the user's issue and the automatic issues the 20 earlier steps raised.
    EXPECT_EQ(state().counters.issuesCreated(), 23 + 21);
    EXPECT_EQ(s.scalar("SELECT ItemDesc FROM Issues WHERE AUTO_Item = 'Expiration Date'").joined(),
              "IFTA : Fuel permit");
    EXPECT_EQ(issuedItems(s, "Expiration Date"), std::vector<std::int64_t>{doc});
    EXPECT_EQ(
        s.scalar("SELECT Description FROM Issues WHERE AUTO_Item = 'Training Expire'").joined(),
        "(AUTO ISSUE) Driver: Smith, John - Forklift expires 3/15/2020");
    EXPECT_EQ(issuedItems(s, "Training Expire"), std::vector<std::int64_t>{training});
    EXPECT_EQ(
        s.scalar("SELECT ItemDesc FROM Issues WHERE AUTO_Item = 'Other Date Expire'").joined(),
        "Driver: Smith, John Q  - Badge");
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailTo = "
                      "'fleet@acme.test'"),
              8 + 9);  // the vehicle steps; the user's issue and those raised by them

    // The next run sees the issues that steps 79 to 81 raised after step 78 had run; the run
    // after that finds nothing new.
    runCatalogRules(state());
    EXPECT_EQ(state().counters.issuesCreated(), 23 + 21 + 3);
    const auto outboxRows = s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent");
    runCatalogRules(state());
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent"), outboxRows);
    EXPECT_EQ(state().counters.issuesCreated(), 23 + 21 + 3);
}

}  // namespace
}  // namespace fas::test
