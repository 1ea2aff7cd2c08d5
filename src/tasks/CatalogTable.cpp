#include "tasks/CatalogTable.h"

#include <string>

namespace fas::tasks {
namespace {

// Description expressions shared by several steps.
const std::string V1 = "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make";
const std::string V2 =
    "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model";
const std::string V3 =
    "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make + ' - ' + "
    "Vehicle.OtherDateDesc";
const std::string D1 =
    "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + "
    "ISNULL(Driver.Suffix,'')";
const std::string D2 =
    "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + "
    "ISNULL(Driver.Suffix,'') + ' - ' + Driver.OtherDateDesc";
const std::string D3 =
    "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + ISNULL(Driver.Suffix,'')";
const std::string D4 = "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName";
const std::string T1 = "'Driver: ' + DrugAlcoholTest.DriverName";
const std::string T2 = "TestDate + ' - ' + DriverName";
const std::string R1 =
    "'Driver: ' + RoadsideInspection.DriverName + ' - ' + RoadsideInspection.InspectionDate";

// Conditions shared by several steps.
const std::string CV = " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0";
const std::string CD =
    " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND "
    "ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0";
const std::string CC =
    " AND ISNULL(CDL,0)=1 AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND "
    "ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0";
const std::string XV = " Vehicle.NotInService=1";
const std::string XD = " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)";
const std::string XR = " (ISNULL(RoadsideInspection.CopyUnobtainable,0)=1)";

// A document or endorsement flag settles the driver's issue, as does leaving the tracked drivers.
std::string PD(const std::string& field) {
    return " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver." + field +
           "=1)";
}
std::string PV(const std::string& field) {
    return " (Vehicle.NotInService=1 OR Vehicle." + field + "=1)";
}

// The driver is active and the date is tracked for them.
std::string CDWith(const std::string& flagTerm) {
    return CD + " AND " + flagTerm;
}
std::string CVWith(const std::string& flagTerm) {
    return CV + " AND " + flagTerm;
}

using P = Processor;

CatalogEntry step(int number, P processor, std::string table, std::string field,
                  std::string description, std::string category, std::string item,
                  std::string condition) {
    return CatalogEntry{number, processor,
                        RuleParameters{std::move(table), std::move(field), std::move(description),
                                       std::move(category), std::move(item), std::move(condition)}};
}

CatalogEntry bare(int number, P processor) {
    return CatalogEntry{number, processor, {}};
}

CatalogEntry driverFlag(int number, const std::string& field, const std::string& description,
                        const std::string& item) {
    return step(number, P::CloseResolvedIssues, "Driver", field, description, "Driver", item,
                PD(field));
}

CatalogEntry vehicleFlag(int number, const std::string& field, const std::string& description,
                         const std::string& item) {
    return step(number, P::CloseResolvedIssues, "Vehicle", field, description, "Vehicle", item,
                PV(field));
}

std::array<CatalogEntry, kCatalogSize> build() {
    return {{
        step(1, P::DateExpiryRule, "Vehicle", "PAIDue", V1, "Vehicle", "PAI Due", CV),
        step(2, P::DateExpiryRule, "Vehicle", "TagExpiration", V1, "Vehicle", "Tag Expiration", CV),
        step(3, P::DateExpiryRule, "Vehicle", "TankerVExpireDate", V1, "Vehicle",
             "V - External Visual", CVWith("TankerVExpire=1")),
        step(4, P::DateExpiryRule, "Vehicle", "TankerKExpireDate", V1, "Vehicle", "K - Leakage",
             CVWith("TankerKExpire=1")),
        step(5, P::DateExpiryRule, "Vehicle", "TankerIExpireDate", V1, "Vehicle",
             "I - Internal Visual", CVWith("TankerIExpire=1")),
        step(6, P::DateExpiryRule, "Vehicle", "TankerPExpireDate", V1, "Vehicle", "P - Pressure",
             CVWith("TankerPExpire=1")),
        step(7, P::DateExpiryRule, "Vehicle", "TankerEExpireDate", V1, "Vehicle",
             "Emergency Exit Equipment", CVWith("TankerEExpire=1")),
        step(8, P::DateExpiryRule, "Vehicle", "OtherDate", V3, "Vehicle",
             "Other Date Expire - Vehicle", CVWith("ISNULL(Vehicle.OtherDateEnabled,0)=1")),
        step(9, P::DateExpiryRule, "Driver", "PassportExpiration", D1, "Driver", "Passport Expire",
             CDWith("ISNULL(Driver.PassportExpire,0)=1")),
        step(10, P::DateExpiryRule, "Driver", "DLExpire", D1, "Driver", "DL Expire", CD),
        step(11, P::DateExpiryRule, "Driver", "MCExpire", D1, "Driver", "MC Expire", CD),
        step(12, P::DateExpiryRule, "Driver", "MCMVRExpire", D1, "Driver", "MC MVR Expire", CC),
        step(13, P::DateExpiryRule, "Driver", "MVRExpire", D1, "Driver", "MVR Expire", CD),
        step(14, P::DateExpiryRule, "Driver", "COVExpire", D1, "Driver", "COV Expire", CD),
        step(15, P::DateExpiryRule, "Driver", "TWICExpiration", D1, "Driver", "TWIC Expire",
             CDWith("ISNULL(Driver.TWIC,0)=1")),
        step(16, P::DateExpiryRule, "Driver", "HazmatTrainingExpiration", D1, "Driver",
             "HAZMAT Training Expire", CDWith("ISNULL(Driver.H,0)=1")),
        step(17, P::DateExpiryRule, "Driver", "OtherDate", D2, "Driver", "Other Date Expire",
             CDWith("ISNULL(Driver.OtherDateEnabled,0)=1")),
        step(18, P::DateExpiryRule, "Driver", "AnnualDashExpire", D3, "Driver",
             "Driver Dash Expire", CC),
        step(19, P::DateExpiryRule, "DrugAlcoholTest", "DueDate", T1, "Drug & Alcohol Test",
             "Drug/Alcohol Test Due", " AND DrugAlcoholTest.Completed=0"),
        step(20, P::CloseExcludedIssues, "Vehicle", "PAIDue", V2, "Vehicle", "PAI Due", XV),
        step(21, P::CloseExcludedIssues, "Vehicle", "TagExpiration", V2, "Vehicle",
             "Tag Expiration", XV),
        step(22, P::CloseExcludedIssues, "Vehicle", "PAIDue", V1, "Vehicle", "PAI Due", XV),
        step(23, P::CloseExcludedIssues, "Vehicle", "TagExpiration", V1, "Vehicle",
             "Tag Expiration", XV),
        step(24, P::CloseExcludedIssues, "Vehicle", "TankerVExpireDate", V1, "Vehicle",
             "V - External Visual", XV + " AND TankerVExpire=0"),
        step(25, P::CloseExcludedIssues, "Vehicle", "TankerKExpireDate", V1, "Vehicle",
             "K - Leakage", XV + " AND TankerKExpire=0"),
        step(26, P::CloseExcludedIssues, "Vehicle", "TankerIExpireDate", V1, "Vehicle",
             "I - Internal Visual", XV + " AND TankerIExpire=0"),
        step(27, P::CloseExcludedIssues, "Vehicle", "TankerPExpireDate", V1, "Vehicle",
             "P - Pressure", XV + " AND TankerPExpire=0"),
        step(28, P::CloseExcludedIssues, "Vehicle", "TankerEExpireDate", V1, "Vehicle",
             "Emergency Exit Equipment", XV + " AND TankerEExpire=0"),
        step(29, P::CloseExcludedIssues, "Driver", "PassportExpiration", D1, "Driver",
             "Passport Expire",
             " (Driver.Terminated=1 OR Driver.PassportExpire=0 OR Driver.ApplicantOnly=1 OR "
             "Driver.DAOnly=1)"),
        step(30, P::CloseExcludedIssues, "Driver", "DLExpire", D1, "Driver", "DL Expire", XD),
        step(31, P::CloseExcludedIssues, "Driver", "MCExpire", D1, "Driver", "MC Expire", XD),
        step(32, P::CloseExcludedIssues, "Driver", "MCMVRExpire", D1, "Driver", "MC MVR Expire",
             XD),
        step(33, P::CloseExcludedIssues, "Driver", "MVRExpire", D1, "Driver", "MVR Expire", XD),
        step(34, P::CloseExcludedIssues, "Driver", "COVExpire", D1, "Driver", "COV Expire", XD),
        step(35, P::CloseExcludedIssues, "Driver", "TWICExpiration", D1, "Driver", "TWIC Expire",
             " (Driver.Terminated=1 OR Driver.TWIC=0 OR Driver.ApplicantOnly=1 OR "
             "Driver.DAOnly=1)"),
        step(36, P::CloseExcludedIssues, "Driver", "HazmatTrainingExpiration", D1, "Driver",
             "HAZMAT Training Expire",
             " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.H=0)"),
        step(37, P::CloseExcludedIssues, "Driver", "OtherDateEnabled", D2, "Driver",
             "Other Date Expire",
             " (Driver.Terminated=1 OR ISNULL(Driver.OtherDateEnabled,0)=0 OR "
             "Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"),
        driverFlag(38, "PreEmp", D1, "Pre-Employment Drug Test"),
        step(39, P::CloseResolvedIssues, "Driver", "CDLSuspended", D1, "Driver", "CDL Suspended",
             " (Driver.Terminated=1 OR Driver.CDLSuspended=0 OR Driver.ApplicantOnly=1 OR "
             "Driver.DAOnly=1)"),
        driverFlag(40, "DocApplication", D4, "Document:Application"),
        driverFlag(41, "DocEntryLevelTraining", D4, "Document:Entry Level Training"),
        driverFlag(42, "DocPrevEmployerRequest", D4, "Document:Prev Employer Requests"),
        driverFlag(43, "DocPreEmployDrugTestResults", D4, "Document:Pre Employ Drug Test Results"),
        driverFlag(44, "DocCCF", D4, "Document:CCF"),
        driverFlag(45, "DocComplianceWCDLRequirements", D4,
                   "Document:Compliance w CDL Requirements"),
        driverFlag(46, "DocDAPolicyReceipt", D4, "Document:D/A Policy Receipt"),
        driverFlag(47, "DocDAPrevDisclosure", D4, "Document:D/A Prev Disclosure"),
        driverFlag(48, "DocStatementOnDutyHours", D4, "Document:Statement On Duty Hours"),
        driverFlag(49, "DocCOV", D4, "Document:COV"),
        driverFlag(50, "DocMVR", D4, "Document:MVR"),
        driverFlag(51, "DocCopyOfDL", D4, "Document:Copy of DL"),
        driverFlag(52, "DocMedCard", D4, "Document:Med Card"),
        driverFlag(53, "DocAnnualMVR", D4, "Document:Annual MVR"),
        driverFlag(54, "DocRoadTest", D4, "Document:Copy of Road Test"),
        driverFlag(55, "DocNRCME", D4, "Document:NRCME"),
        driverFlag(56, "DocCellPhonePolicy", D4, "Document:Cell Phone Policy"),
        driverFlag(57, "DocHOSPolicy", D4, "Document:HOS Policy"),
        step(58, P::CloseResolvedIssues, "Driver", "docPreEmpDachQuery", D3, "Driver",
             "Document:Pre Emp DACH Query",
             " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR "
             "ISNULL(Driver.CDL,0)=0 OR Driver.docPreEmpDachQuery=1)"),
        driverFlag(59, "N", D4, "No N Endorsement"),
        vehicleFlag(60, "DocPreventativeMaintSchedule", V2, "Document:Preventitive Maint Schedule"),
        vehicleFlag(61, "DocVehRegistration", V2, "Document:Veh Registration"),
        vehicleFlag(62, "DocPAI", V2, "Document:PAI"),
        vehicleFlag(63, "DOCCabCard", V2, "Document:Registration/Cab Card"),
        vehicleFlag(64, "DocPreventativeMaintSchedule", V1, "Document:Preventitive Maint Schedule"),
        vehicleFlag(65, "DocVehRegistration", V1, "Document:Veh Registration"),
        vehicleFlag(66, "DocPAI", V1, "Document:PAI"),
        vehicleFlag(67, "DOCCabCard", V1, "Document:Registration/Cab Card"),
        step(68, P::CloseResolvedIssues, "DrugAlcoholTest", "CCF", T2, "Drug & Alcohol Test",
             "Drug & Alcohol Test: No CCF",
             " (DrugAlcoholTest.Completed=0 OR DrugAlcoholTest.CCF=1)"),
        step(69, P::CloseResolvedIssues, "DrugAlcoholTest", "Results", T2, "Drug & Alcohol Test",
             "Drug & Alcohol Test: No Test Results",
             " (DrugAlcoholTest.Completed=0 OR DrugAlcoholTest.Results=1)"),
        step(70, P::CloseResolvedIssues, "RoadsideInspection", "HaveCopy", R1,
             "Roadside Inspection", "No Copy of Roadside Inspection",
             " (RoadsideInspection.HaveCopy=1)"),
        step(71, P::CloseResolvedIssues, "RoadsideInspection", "HaveCopy", R1,
             "Roadside Inspection", "No Copy of Roadside Inspection", XR),
        step(72, P::CloseResolvedIssues, "RoadsideInspection", "EvidenceOfRepair", R1,
             "Roadside Inspection", "No Evidence of Corrective Action",
             " (RoadsideInspection.EvidenceOfRepair=1)"),
        step(73, P::CloseResolvedIssues, "RoadsideInspection", "EvidenceOfRepair", R1,
             "Roadside Inspection", "No Evidence of Corrective Action", XR),
        step(74, P::CloseResolvedIssues, "Accident", "AccidentReport", "No Accident Report on File",
             "Accident", "No Accident Report on File",
             " ((Accident.AccidentReport=1 AND Accident.Recordable=1) OR Accident.Recordable=0)"),
        bare(75, P::CloseAgedSafetyScoreIssues),
        step(76, P::CloseExcludedIssues, "DrugAlcoholTest", "DueDate", T1, "Drug And Alcohol Test",
             "Drug/Alcohol Test Due",
             " DrugAlcoholTest.Completed=1 OR DrugAlcoholTest.Status='Not Tested' OR "
             "DrugAlcoholTest.Status='Refusal'"),
        step(77, P::DateExpiryRule, "RegistrationDoc", "ExpDate",
             "(SELECT CASE WHEN Description<>'' THEN Name+' : '+Description ELSE Name END FROM "
             "RegistrationDocType WHERE ID=RegistrationDoc.TypeID)",
             "Registration Document", "Expiration Date", ""),
        step(78, P::DateExpiryRule, "Issues", "DueDate",
             "Issues.Description + ' - ' + Issues.ItemDesc", "Issue", "Due Date Approach",
             " AND Issues.Status='Open'"),
        step(79, P::ContractDateRule, "ServiceContract", "HazmatExpirationDate", "'HAZMAT Expire'",
             "Contract", "HAZMAT Expire",
             " AND ServiceContract.Status='Active' AND Customer.Hasmat=1"),
        step(80, P::ContractDateRule, "ServiceContract", "MCS150UpdateDue", "'MCS 150 Update Due'",
             "Contract", "MCS 150 Update Due", " AND ServiceContract.Status='Active'"),
        step(81, P::TrainingExpiryRule, "Training", "ExpireDate",
             "'Driver: ' + ISNULL(Driver.LastName,'') + ', ' + ISNULL(Driver.FirstName,'') + ' - ' "
             "+ TrainingTopic.Name",
             "Training", "Training Expire",
             CDWith("ISNULL(Training.Expires,0)=1 AND ISNULL(Driver.ID,0)<>0")),
        bare(82, P::CloseOrphanedIssues),
        bare(83, P::CloseDuplicateIssues),
        bare(84, P::DispatchOutbox),
    }};
}

}  // namespace

const char* processorName(Processor processor) {
    switch (processor) {
        case P::DateExpiryRule:
            return "date-expiry rule";
        case P::CloseExcludedIssues:
            return "close-on-exclusion pass";
        case P::CloseResolvedIssues:
            return "close-on-flag pass";
        case P::CloseAgedSafetyScoreIssues:
            return "safety-score aging pass";
        case P::ContractDateRule:
            return "contract-date rule";
        case P::TrainingExpiryRule:
            return "training-expiry rule";
        case P::CloseOrphanedIssues:
            return "orphaned-issue pass";
        case P::CloseDuplicateIssues:
            return "duplicate-issue pass";
        case P::DispatchOutbox:
            return "outbox dispatch";
    }
    return "?";
}

const std::array<CatalogEntry, kCatalogSize>& CatalogTable() {
    static const std::array<CatalogEntry, kCatalogSize> table = build();
    return table;
}

}  // namespace fas::tasks
