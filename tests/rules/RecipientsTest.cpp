#include <gtest/gtest.h>

#include "rules/Recipients.h"
#include "rules/RuleFixtures.h"

namespace fas::test {
namespace {

using rules::GetClientEmail;
using rules::GetIssueCategory;
using rules::GetSpecialistEmails;
using rules::GetTestTypeName;

class RecipientsTest : public RuleDatabaseTest {};

TEST_F(RecipientsTest, SpecialistsAreListedInAddressOrderWithoutEmptyAddresses) {
    const auto contract = addContract(s, {.specialistEmails = {"b@x.test", "", "a@x.test", {}}});
    const auto alone = addContract(s);
    EXPECT_EQ(GetSpecialistEmails(state(), contract), "a@x.test;b@x.test;");
    EXPECT_EQ(GetSpecialistEmails(state(), alone), "");
    EXPECT_EQ(GetSpecialistEmails(state(), 9999), "");
}

TEST_F(RecipientsTest, ClientAddressFollowsTheCategoryTableExactly) {
    const Columns addresses{
        {"EmailVehicle", "veh@c.test"},      {"EmailDriver", "drv@c.test"},
        {"EmailAccident", "acc@c.test"},     {"EmailRoadsideInspection", "road@c.test"},
        {"EmailDrugAlcohol", "da@c.test"},   {"EmailRegistrationDoc", "reg@c.test"},
        {"EmailSafetyScore", "safe@c.test"}, {"EmailContract", "con@c.test"},
        {"emailTraining", "train@c.test"}};
    const auto contract = addContract(s, {.extra = addresses});
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Vehicle", "veh@c.test"},
        {"Driver", "drv@c.test"},
        {"Accident", "acc@c.test"},
        {"Roadside Inspection", "road@c.test"},
        {"Drug & Alcohol Test", "da@c.test"},
        {"Drug And Alcohol Test", "da@c.test"},
        {"Drug/Alcohol Test Due", "da@c.test"},
        {"Registration Document", "reg@c.test"},
        {"Safety Score", "safe@c.test"},
        {"Contract", "con@c.test"},
        {"Training", "train@c.test"},
        // Compared exactly, case included; anything else has no client address.
        {"vehicle", ""},
        {"Issue", ""},
        {"Tag", ""},
        {"", ""},
    };
    for (const auto& [category, address] : expected) {
        EXPECT_EQ(GetClientEmail(state(), contract, category), address) << category;
    }
    EXPECT_EQ(GetClientEmail(state(), 9999, "Vehicle"), "");
}

TEST_F(RecipientsTest, NullClientAddressesReadAsNone) {
    const auto contract = addContract(s);
    EXPECT_EQ(GetClientEmail(state(), contract, "Training"), "");
    EXPECT_EQ(GetClientEmail(state(), contract, "Vehicle"), "");
    EXPECT_EQ(GetClientEmail(state(), contract, "Contract"), "");
}

TEST_F(RecipientsTest, IssueCategoryOrTheIdWhenTheIssueIsMissing) {
    const auto issue = addRow(s, "Issues", {{"Category", "Roadside Inspection"}});
    const auto blank = addRow(s, "Issues", {{"Category", db::Value()}});
    EXPECT_EQ(GetIssueCategory(state(), 1, issue), "Roadside Inspection");
    EXPECT_EQ(GetIssueCategory(state(), 1, blank), "");
    EXPECT_EQ(GetIssueCategory(state(), 1, 4242), "4242");
}

TEST_F(RecipientsTest, TestTypeName) {
    const auto random = addRow(s, "DrugAlcoholTestType", {{"Name", "Random"}});
    const auto unnamed = addRow(s, "DrugAlcoholTestType", {{"Name", db::Value()}});
    EXPECT_EQ(GetTestTypeName(state(), db::Value(random)), "Random");
    EXPECT_EQ(GetTestTypeName(state(), db::Value(unnamed)), "");
    EXPECT_EQ(GetTestTypeName(state(), db::Value(777)), "");
    EXPECT_EQ(GetTestTypeName(state(), db::Value()), "");
}

TEST_F(RecipientsTest, HostileAddressesComeBackExactly) {
    const std::string hostile = "o'hara';DELETE FROM Issues;--@x.test";
    const auto contract =
        addContract(s, {.specialistEmails = {hostile}, .extra = {{"EmailVehicle", hostile}}});
    EXPECT_EQ(GetSpecialistEmails(state(), contract), hostile + ";");
    EXPECT_EQ(GetClientEmail(state(), contract, "Vehicle"), hostile);
}

TEST_F(RecipientsTest, AContractIsLookedUpOncePerRunAndAfreshInTheNext) {
    const auto contract = addContract(
        s, {.specialistEmails = {"a@x.test"}, .extra = {{"EmailVehicle", "veh@c.test"}}});
    int lookups = 0;
    state().db.setStatementObserver([&](std::string_view, const db::Params&) { ++lookups; });
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(GetSpecialistEmails(state(), contract), "a@x.test;");
        EXPECT_EQ(GetClientEmail(state(), contract, "Vehicle"), "veh@c.test");
    }
    EXPECT_EQ(lookups, 2);

    // Between runs the contract changes; the next run must see the change.
    state().db.setStatementObserver(nullptr);
    s.exec("UPDATE ServiceContract SET EmailVehicle='fleet@c.test' WHERE ID=?", {contract});
    EXPECT_EQ(GetClientEmail(state(), contract, "Vehicle"), "veh@c.test");
    state().recipients.clear();
    EXPECT_EQ(GetClientEmail(state(), contract, "Vehicle"), "fleet@c.test");
}

}  // namespace
}  // namespace fas::test
