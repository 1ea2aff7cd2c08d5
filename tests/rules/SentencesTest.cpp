#include <gtest/gtest.h>

#include "rules/Sentences.h"

namespace fas::rules {
namespace {

struct Expected {
    const char* item;
    const char* subject;
    const char* bodyLine;
    const char* issue;
};

// Every row of the sentence table, for 12/31/2026, description "Unit 7" and test type "Random".
const Expected kTable[] = {
    {"PAI Due", "Periodic Annual Inspection (Federal) Due: 12/31/2026",
     "Periodic Annual Inspection (Federal) Due: 12/31/2026 ",
     "Periodic Annual Inspection (Federal) Due: 12/31/2026"},
    {"V - External Visual", "V - External Visual Inspection Due: 12/31/2026",
     "V - External Visual Inspection Due: 12/31/2026 ",
     "V - External Visual Inspection Due: 12/31/2026"},
    {"K - Leakage", "K - Leakage Test Due: 12/31/2026", "K - Leakage Test Due: 12/31/2026 ",
     "K - Leakage Test Due: 12/31/2026"},
    {"I - Internal Visual", "I - Internal Visual Inspection Due: 12/31/2026",
     "I - Internal Visual Inspection Due: 12/31/2026 ",
     "I - Internal Visual Inspection Due: 12/31/2026"},
    {"P - Pressure", "P - Pressure Test Due: 12/31/2026", "P - Pressure Test Due: 12/31/2026 ",
     "P - Pressure Test Due: 12/31/2026"},
    {"Emergency Exit Equipment", "Emergency Exit Equipment Inspection Due: 12/31/2026",
     "Emergency Exit Equipment Inspection Due: 12/31/2026 ",
     "Emergency Exit Equipment Inspection Due: 12/31/2026"},
    {"DL Expire", "Driver's License Expire: 12/31/2026",
     "Driver's License Expires: 12/31/2026 Need new copy of driver's license.",
     "Driver's License Expires: 12/31/2026 Need new copy of driver's license."},
    {"MC Expire", "Medical Card Expires: 12/31/2026",
     "Medical Card Expires: 12/31/2026 Need copy of new medical card after submission to state "
     "driver's license agency (if required).",
     "Medical Card Expires: 12/31/2026 Need copy of new medical card after submission to state "
     "driver's license agency (if required)."},
    {"MVR Expire", "Annual Motor Vehicle Report Expires: 12/31/2026",
     "Annual Motor Vehicle Report (MVR) Expires: 12/31/2026 New motor vehicle report (MVR) must "
     "be obtained.",
     "Annual Motor Vehicle Report (MVR) Expires: 12/31/2026 New motor vehicle report (MVR) must "
     "be obtained."},
    {"COV Expire", "Annual Certificate of Violations Expires: 12/31/2026",
     "Annual Certificate of Violations Expires: 12/31/2026 Driver required to complete new "
     "Certificate of Violations Form.",
     "Annual Certificate of Violations Expires: 12/31/2026 Driver required to complete new "
     "Certificate of Violations Form."},
    {"TWIC Expire", "Transportation Worker's Identification Card (TWIC) Expires: 12/31/2026",
     "Transportation Worker's Identification Card (TWIC) Expires: 12/31/2026 ",
     "Transportation Worker's Identification Card Expires: 12/31/2026"},
    {"Other Date Expire", "Other Date Expire: Unit 7 12/31/2026",
     "Other Date Expire: Unit 7 12/31/2026 ", "Other Date Expire: Unit 7 12/31/2026"},
    {"Other Date Expire - Vehicle", "Other Date Expire: Unit 7 12/31/2026",
     "Other Date Expire: Unit 7 12/31/2026 ", "Other Date Expire: Unit 7 12/31/2026"},
    {"Drug/Alcohol Test Due", "Random", "Random: 12/31/2026 ", "Random: 12/31/2026"},
    {"Passport Expire", "Passport Expires: 12/31/2026", "Passport Expires: 12/31/2026 ",
     "Passport Expires: 12/31/2026"},
    {"HAZMAT Training Expire", "HAZMAT Training Expires: 12/31/2026",
     "HAZMAT Training Expires: 12/31/2026 ", "HAZMAT Training Expires: 12/31/2026"},
    {"MC MVR Expire",
     "Medical Card State Driver's License Agency (SDLA) Status Verification or Motor Vehicle "
     "Report (MVR) Due:12/31/2026",
     "Medical Card State Driver's License Agency (SDLA) Status Verification or Motor Vehicle "
     "Report (MVR) Due:12/31/2026 ",
     "Medical Card State Driver's License Agency (SDLA) Status Verification or Motor Vehicle "
     "Report (MVR) Due:12/31/2026"},
    {"Driver Dash Expire",
     "Annual Drug and Alcohol Clearinghouse (DACH) Query Expires: 12/31/2026 - An annual query "
     "of the DACH is required for this driver.",
     "Annual Drug and Alcohol Clearinghouse (DACH) Query Expires: 12/31/2026 - An annual query "
     "of the DACH is required for this driver.",
     "Annual Drug and Alcohol Clearinghouse (DACH) Query Expires: 12/31/2026 - An annual query "
     "of the DACH is required for this driver."},
    // Items without sentences of their own, the catalog's and any other, case included.
    {"Tag Expiration", "Tag Expiration", "Tag Expiration: 12/31/2026",
     "Tag Expiration: 12/31/2026"},
    {"Expiration Date", "Expiration Date", "Expiration Date: 12/31/2026",
     "Expiration Date: 12/31/2026"},
    {"Due Date Approach", "Due Date Approach", "Due Date Approach: 12/31/2026",
     "Due Date Approach: 12/31/2026"},
    {"pai due", "pai due", "pai due: 12/31/2026", "pai due: 12/31/2026"},
};

TEST(SentencesTest, EveryItemOfTheTable) {
    const SentenceValues values{"12/31/2026", "Unit 7", "Random"};
    for (const Expected& e : kTable) {
        const Sentences s = DateExpirySentences(e.item, values);
        EXPECT_EQ(s.subject, e.subject) << e.item;
        EXPECT_EQ(s.bodyLine, e.bodyLine) << e.item;
        EXPECT_EQ(s.issue, e.issue) << e.item;
    }
}

TEST(SentencesTest, ValuesAreNotReadAsPlaceholders) {
    const Sentences s =
        DateExpirySentences("Other Date Expire", {"6/1/2027", "{date} {subject}", "{item}"});
    EXPECT_EQ(s.subject, "Other Date Expire: {date} {subject} 6/1/2027");
    const Sentences t = DateExpirySentences("{date}", {"6/1/2027", "", ""});
    EXPECT_EQ(t.bodyLine, "{date}: 6/1/2027");
}

TEST(SentencesTest, OnlyTheDrugTestItemNamesTheTestType) {
    EXPECT_TRUE(SentencesNameTestType("Drug/Alcohol Test Due"));
    EXPECT_FALSE(SentencesNameTestType("Drug/alcohol Test Due"));
    EXPECT_FALSE(SentencesNameTestType("Drug & Alcohol Test: No CCF"));
}

TEST(SentencesTest, TrainingExpirySentence) {
    EXPECT_EQ(TrainingExpirySentence("Driver: Smith, John - Forklift", "12/31/2026"),
              "Driver: Smith, John - Forklift expires 12/31/2026");
    EXPECT_EQ(TrainingExpirySentence("", "12/31/2026 10:30:00 AM"),
              " expires 12/31/2026 10:30:00 AM");
}

}  // namespace
}  // namespace fas::rules
