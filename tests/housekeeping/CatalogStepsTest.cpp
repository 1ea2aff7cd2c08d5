#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "housekeeping/ClosingPasses.h"
#include "housekeeping/IssueRows.h"

// Every closing step of the rule catalog, with its own arguments, on a schema database: the
// record meeting the step's condition has its issue closed, a record not meeting it keeps its.
namespace fas::housekeeping {
namespace {

using issue_rows::addIssue;
using issue_rows::closedWithNote;
using issue_rows::untouched;

using Pass = void (*)(ServerState&, const RuleParameters&);

struct Step {
    int number;
    Pass pass;
    RuleParameters params;
    std::string closes;  // column values of a record whose issue closes
    std::string keeps;   // column values of a record whose issue stays open
};

const std::string V1 = "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make";
const std::string V2 =
    "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model";
const std::string D1 =
    "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + "
    "ISNULL(Driver.Suffix,'')";
const std::string D2 = D1 + " + ' - ' + Driver.OtherDateDesc";
const std::string D3 =
    "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + ISNULL(Driver.Suffix,'')";
const std::string D4 = "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName";
const std::string T1 = "'Driver: ' + DrugAlcoholTest.DriverName";
const std::string T2 = "TestDate + ' - ' + DriverName";
const std::string R1 =
    "'Driver: ' + RoadsideInspection.DriverName + ' - ' + RoadsideInspection.InspectionDate";
const std::string XV = " Vehicle.NotInService=1";
const std::string XD = " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)";
const std::string XR = " (ISNULL(RoadsideInspection.CopyUnobtainable,0)=1)";

Step excl(int n, const std::string& table, const std::string& field, const std::string& desc,
          const std::string& category, const std::string& item, const std::string& condition,
          const std::string& closes, const std::string& keeps) {
    return {
        n, &CloseExcludedIssues, {table, field, desc, category, item, condition}, closes, keeps};
}

Step flag(int n, const std::string& table, const std::string& field, const std::string& desc,
          const std::string& category, const std::string& item, const std::string& condition,
          const std::string& closes, const std::string& keeps) {
    return {
        n, &CloseResolvedIssues, {table, field, desc, category, item, condition}, closes, keeps};
}

// A driver document step: closes once the document is on file.
Step driverDoc(int n, const std::string& field, const std::string& desc, const std::string& item) {
    return flag(n, "Driver", field, desc, "Driver", item,
                " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver." +
                    field + "=1)",
                field + "=1", field + "=0");
}

Step vehicleDoc(int n, const std::string& field, const std::string& desc, const std::string& item) {
    return flag(n, "Vehicle", field, desc, "Vehicle", item,
                " (Vehicle.NotInService=1 OR Vehicle." + field + "=1)", field + "=1", field + "=0");
}

Step tanker(int n, const std::string& letter, const std::string& item) {
    const std::string flagColumn = "Tanker" + letter + "Expire";
    return excl(n, "Vehicle", flagColumn + "Date", V1, "Vehicle", item,
                " Vehicle.NotInService=1 AND " + flagColumn + "=0",
                "NotInService=1," + flagColumn + "=0", "NotInService=1," + flagColumn + "=1");
}

Step driverExcl(int n, const std::string& field, const std::string& item,
                const std::string& condition, const std::string& closes, const std::string& keeps,
                const std::string& desc = D1) {
    return excl(n, "Driver", field, desc, "Driver", item, condition, closes, keeps);
}

std::vector<Step> catalogSteps() {
    return {
        excl(20, "Vehicle", "PAIDue", V2, "Vehicle", "PAI Due", XV, "NotInService=1", ""),
        excl(21, "Vehicle", "TagExpiration", V2, "Vehicle", "Tag Expiration", XV, "NotInService=1",
             ""),
        excl(22, "Vehicle", "PAIDue", V1, "Vehicle", "PAI Due", XV, "NotInService=1", ""),
        excl(23, "Vehicle", "TagExpiration", V1, "Vehicle", "Tag Expiration", XV, "NotInService=1",
             "Suspended=1"),
        tanker(24, "V", "V - External Visual"),
        tanker(25, "K", "K - Leakage"),
        tanker(26, "I", "I - Internal Visual"),
        tanker(27, "P", "P - Pressure"),
        tanker(28, "E", "Emergency Exit Equipment"),
        driverExcl(29, "PassportExpiration", "Passport Expire",
                   " (Driver.Terminated=1 OR Driver.PassportExpire=0 OR Driver.ApplicantOnly=1 OR "
                   "Driver.DAOnly=1)",
                   "PassportExpire=0", "PassportExpire=1"),
        driverExcl(30, "DLExpire", "DL Expire", XD, "Terminated=1", "PassportExpire=1"),
        driverExcl(31, "MCExpire", "MC Expire", XD, "ApplicantOnly=1", "Suspended=1"),
        driverExcl(32, "MCMVRExpire", "MC MVR Expire", XD, "DAOnly=1", ""),
        driverExcl(33, "MVRExpire", "MVR Expire", XD, "Terminated=1", ""),
        driverExcl(34, "COVExpire", "COV Expire", XD, "Terminated=1,DAOnly=1", ""),
        driverExcl(35, "TWICExpiration", "TWIC Expire",
                   " (Driver.Terminated=1 OR Driver.TWIC=0 OR Driver.ApplicantOnly=1 OR "
                   "Driver.DAOnly=1)",
                   "TWIC=0", "TWIC=1"),
        driverExcl(36, "HazmatTrainingExpiration", "HAZMAT Training Expire",
                   " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR "
                   "Driver.H=0)",
                   "H=0", "H=1"),
        driverExcl(37, "OtherDateEnabled", "Other Date Expire",
                   " (Driver.Terminated=1 OR ISNULL(Driver.OtherDateEnabled,0)=0 OR "
                   "Driver.ApplicantOnly=1 OR Driver.DAOnly=1)",
                   "OtherDateEnabled=NULL", "OtherDateEnabled=1", D2),
        driverDoc(38, "PreEmp", D1, "Pre-Employment Drug Test"),
        flag(39, "Driver", "CDLSuspended", D1, "Driver", "CDL Suspended",
             " (Driver.Terminated=1 OR Driver.CDLSuspended=0 OR Driver.ApplicantOnly=1 OR "
             "Driver.DAOnly=1)",
             "CDLSuspended=0", "CDLSuspended=1"),
        driverDoc(40, "DocApplication", D4, "Document:Application"),
        driverDoc(41, "DocEntryLevelTraining", D4, "Document:Entry Level Training"),
        driverDoc(42, "DocPrevEmployerRequest", D4, "Document:Prev Employer Requests"),
        driverDoc(43, "DocPreEmployDrugTestResults", D4, "Document:Pre Employ Drug Test Results"),
        driverDoc(44, "DocCCF", D4, "Document:CCF"),
        driverDoc(45, "DocComplianceWCDLRequirements", D4,
                  "Document:Compliance w CDL Requirements"),
        driverDoc(46, "DocDAPolicyReceipt", D4, "Document:D/A Policy Receipt"),
        driverDoc(47, "DocDAPrevDisclosure", D4, "Document:D/A Prev Disclosure"),
        driverDoc(48, "DocStatementOnDutyHours", D4, "Document:Statement On Duty Hours"),
        driverDoc(49, "DocCOV", D4, "Document:COV"),
        driverDoc(50, "DocMVR", D4, "Document:MVR"),
        driverDoc(51, "DocCopyOfDL", D4, "Document:Copy of DL"),
        driverDoc(52, "DocMedCard", D4, "Document:Med Card"),
        driverDoc(53, "DocAnnualMVR", D4, "Document:Annual MVR"),
        driverDoc(54, "DocRoadTest", D4, "Document:Copy of Road Test"),
        driverDoc(55, "DocNRCME", D4, "Document:NRCME"),
        driverDoc(56, "DocCellPhonePolicy", D4, "Document:Cell Phone Policy"),
        driverDoc(57, "DocHOSPolicy", D4, "Document:HOS Policy"),
        flag(58, "Driver", "docPreEmpDachQuery", D3, "Driver", "Document:Pre Emp DACH Query",
             " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR "
             "ISNULL(Driver.CDL,0)=0 OR Driver.docPreEmpDachQuery=1)",
             "CDL=1,docPreEmpDachQuery=1", "CDL=1,docPreEmpDachQuery=0"),
        driverDoc(59, "N", D4, "No N Endorsement"),
        vehicleDoc(60, "DocPreventativeMaintSchedule", V2, "Document:Preventitive Maint Schedule"),
        vehicleDoc(61, "DocVehRegistration", V2, "Document:Veh Registration"),
        vehicleDoc(62, "DocPAI", V2, "Document:PAI"),
        vehicleDoc(63, "DOCCabCard", V2, "Document:Registration/Cab Card"),
        vehicleDoc(64, "DocPreventativeMaintSchedule", V1, "Document:Preventitive Maint Schedule"),
        vehicleDoc(65, "DocVehRegistration", V1, "Document:Veh Registration"),
        vehicleDoc(66, "DocPAI", V1, "Document:PAI"),
        vehicleDoc(67, "DOCCabCard", V1, "Document:Registration/Cab Card"),
        flag(68, "DrugAlcoholTest", "CCF", T2, "Drug & Alcohol Test", "Drug & Alcohol Test: No CCF",
             " (DrugAlcoholTest.Completed=0 OR DrugAlcoholTest.CCF=1)", "Completed=1,CCF=1",
             "Completed=1,CCF=0"),
        flag(69, "DrugAlcoholTest", "Results", T2, "Drug & Alcohol Test",
             "Drug & Alcohol Test: No Test Results",
             " (DrugAlcoholTest.Completed=0 OR DrugAlcoholTest.Results=1)", "Completed=0",
             "Completed=1,Results=0"),
        flag(70, "RoadsideInspection", "HaveCopy", R1, "Roadside Inspection",
             "No Copy of Roadside Inspection", " (RoadsideInspection.HaveCopy=1)", "HaveCopy=1",
             "CopyUnobtainable=1"),
        flag(71, "RoadsideInspection", "HaveCopy", R1, "Roadside Inspection",
             "No Copy of Roadside Inspection", XR, "CopyUnobtainable=1", "HaveCopy=1"),
        flag(72, "RoadsideInspection", "EvidenceOfRepair", R1, "Roadside Inspection",
             "No Evidence of Corrective Action", " (RoadsideInspection.EvidenceOfRepair=1)",
             "EvidenceOfRepair=1", "EvidenceOfRepair=0"),
        flag(73, "RoadsideInspection", "EvidenceOfRepair", R1, "Roadside Inspection",
             "No Evidence of Corrective Action", XR, "CopyUnobtainable=1", "CopyUnobtainable=NULL"),
        flag(74, "Accident", "AccidentReport", "No Accident Report on File", "Accident",
             "No Accident Report on File",
             " ((Accident.AccidentReport=1 AND Accident.Recordable=1) OR Accident.Recordable=0)",
             "AccidentReport=1,Recordable=1", "AccidentReport=0,Recordable=1"),
        excl(76, "DrugAlcoholTest", "DueDate", T1, "Drug And Alcohol Test", "Drug/Alcohol Test Due",
             " DrugAlcoholTest.Completed=1 OR DrugAlcoholTest.Status='Not Tested' OR "
             "DrugAlcoholTest.Status='Refusal'",
             "Completed=0,Status='Refusal'", "Completed=0,Status='Positive'"),
    };
}

class CatalogStepTest : public ::testing::TestWithParam<Step> {
  protected:
    test::OpenState s;
};

TEST_P(CatalogStepTest, ClosesTheIssueOfTheRecordMeetingItsCondition) {
    const Step& step = GetParam();
    const RuleParameters& p = step.params;
    s.exec(
        "INSERT INTO AutomationServer_Alert (Item,Category,EmailContractManager,"
        "EmailContractSpecialist,EmailClient,DaysInAdvance,CreateIssue,"
        "CreateIssueDaysInAdvance,IssuePriority,AutoCloseIssue) VALUES (?,'c',1,1,1,30,1,7,'',1)",
        {p.Item});
    for (const auto& [id, columns] : {std::pair{1, step.closes}, std::pair{2, step.keeps}}) {
        s.exec("INSERT INTO " + p.Table + " (ID) VALUES (?)", {id});
        if (!columns.empty()) {
            s.exec("UPDATE " + p.Table + " SET " + columns + " WHERE ID=?", {id});
        }
        addIssue(s, {.id = id, .item = p.Item, .itemId = id, .category = p.Category});
    }

    step.pass(s.state, p);
    EXPECT_TRUE(closedWithNote(s, 1));
    EXPECT_TRUE(untouched(s, 2));
    step.pass(s.state, p);
    EXPECT_EQ(s.state.counters.issuesClosed(), 1);
}

std::string stepName(const ::testing::TestParamInfo<Step>& step) {
    return "Step" + std::to_string(step.param.number);
}

INSTANTIATE_TEST_SUITE_P(ClosingSteps, CatalogStepTest, ::testing::ValuesIn(catalogSteps()),
                         stepName);

// The steps without arguments run on a database holding a bit of everything.
TEST(CatalogSteps, PassesWithoutArgumentsRunOnTheSchema) {
    test::OpenState s;
    addIssue(s, {.id = 1, .item = "Safety Score: HOS", .itemId = 5, .category = "Safety Score"});
    addIssue(s, {.id = 2, .item = "DL Expire", .itemId = 7});
    addIssue(s, {.id = 3, .item = "DL Expire", .itemId = 7});
    s.exec("INSERT INTO Driver (ID) VALUES (7)");
    s.exec("UPDATE Issues SET EnteredDate=DATEADD(day,-40,GETDATE())");

    CloseAgedSafetyScoreIssues(s.state);  // step 75
    EXPECT_EQ(issue_rows::statusOf(s, 1), "Non-Resolvable");
    CloseOrphanedIssues(s.state);  // step 82: safety score 5 does not exist
    EXPECT_EQ(issue_rows::statusOf(s, 1), "Closed");
    CloseDuplicateIssues(s.state);  // step 83
    EXPECT_TRUE(closedWithNote(s, 2));
    EXPECT_TRUE(untouched(s, 3));
    EXPECT_EQ(s.state.counters.issuesClosed(), 2);
}

}  // namespace
}  // namespace fas::housekeeping
