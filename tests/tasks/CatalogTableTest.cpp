// Checks the catalog against a listing of all 84 steps written out in full, argument by argument,
// so that a changed blank or a swapped step cannot slip through.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tasks/CatalogTable.h"

namespace fas::tasks {
namespace {

struct Listed {
    int step;
    const char* processor;
    std::array<const char*, 6> args;  // Table, Field, DescriptionExpr, Category, Item, Condition
};

// clang-format off
const Listed kListing[] = {
    {1, "DateExpiryRule", {"Vehicle", "PAIDue", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "PAI Due", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0"}},
    {2, "DateExpiryRule", {"Vehicle", "TagExpiration", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Tag Expiration", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0"}},
    {3, "DateExpiryRule", {"Vehicle", "TankerVExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "V - External Visual", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0 AND TankerVExpire=1"}},
    {4, "DateExpiryRule", {"Vehicle", "TankerKExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "K - Leakage", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0 AND TankerKExpire=1"}},
    {5, "DateExpiryRule", {"Vehicle", "TankerIExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "I - Internal Visual", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0 AND TankerIExpire=1"}},
    {6, "DateExpiryRule", {"Vehicle", "TankerPExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "P - Pressure", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0 AND TankerPExpire=1"}},
    {7, "DateExpiryRule", {"Vehicle", "TankerEExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Emergency Exit Equipment", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0 AND TankerEExpire=1"}},
    {8, "DateExpiryRule", {"Vehicle", "OtherDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make + ' - ' + Vehicle.OtherDateDesc", "Vehicle", "Other Date Expire - Vehicle", " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0 AND ISNULL(Vehicle.OtherDateEnabled,0)=1"}},
    {9, "DateExpiryRule", {"Driver", "PassportExpiration", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "Passport Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Driver.PassportExpire,0)=1"}},
    {10, "DateExpiryRule", {"Driver", "DLExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "DL Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0"}},
    {11, "DateExpiryRule", {"Driver", "MCExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "MC Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0"}},
    {12, "DateExpiryRule", {"Driver", "MCMVRExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "MC MVR Expire", " AND ISNULL(CDL,0)=1 AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0"}},
    {13, "DateExpiryRule", {"Driver", "MVRExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "MVR Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0"}},
    {14, "DateExpiryRule", {"Driver", "COVExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "COV Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0"}},
    {15, "DateExpiryRule", {"Driver", "TWICExpiration", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "TWIC Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Driver.TWIC,0)=1"}},
    {16, "DateExpiryRule", {"Driver", "HazmatTrainingExpiration", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "HAZMAT Training Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Driver.H,0)=1"}},
    {17, "DateExpiryRule", {"Driver", "OtherDate", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'') + ' - ' + Driver.OtherDateDesc", "Driver", "Other Date Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Driver.OtherDateEnabled,0)=1"}},
    {18, "DateExpiryRule", {"Driver", "AnnualDashExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "Driver Dash Expire", " AND ISNULL(CDL,0)=1 AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0"}},
    {19, "DateExpiryRule", {"DrugAlcoholTest", "DueDate", "'Driver: ' + DrugAlcoholTest.DriverName", "Drug & Alcohol Test", "Drug/Alcohol Test Due", " AND DrugAlcoholTest.Completed=0"}},
    {20, "CloseExcludedIssues", {"Vehicle", "PAIDue", "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model", "Vehicle", "PAI Due", " Vehicle.NotInService=1"}},
    {21, "CloseExcludedIssues", {"Vehicle", "TagExpiration", "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model", "Vehicle", "Tag Expiration", " Vehicle.NotInService=1"}},
    {22, "CloseExcludedIssues", {"Vehicle", "PAIDue", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "PAI Due", " Vehicle.NotInService=1"}},
    {23, "CloseExcludedIssues", {"Vehicle", "TagExpiration", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Tag Expiration", " Vehicle.NotInService=1"}},
    {24, "CloseExcludedIssues", {"Vehicle", "TankerVExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "V - External Visual", " Vehicle.NotInService=1 AND TankerVExpire=0"}},
    {25, "CloseExcludedIssues", {"Vehicle", "TankerKExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "K - Leakage", " Vehicle.NotInService=1 AND TankerKExpire=0"}},
    {26, "CloseExcludedIssues", {"Vehicle", "TankerIExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "I - Internal Visual", " Vehicle.NotInService=1 AND TankerIExpire=0"}},
    {27, "CloseExcludedIssues", {"Vehicle", "TankerPExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "P - Pressure", " Vehicle.NotInService=1 AND TankerPExpire=0"}},
    {28, "CloseExcludedIssues", {"Vehicle", "TankerEExpireDate", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Emergency Exit Equipment", " Vehicle.NotInService=1 AND TankerEExpire=0"}},
    {29, "CloseExcludedIssues", {"Driver", "PassportExpiration", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "Passport Expire", " (Driver.Terminated=1 OR Driver.PassportExpire=0 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {30, "CloseExcludedIssues", {"Driver", "DLExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "DL Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {31, "CloseExcludedIssues", {"Driver", "MCExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "MC Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {32, "CloseExcludedIssues", {"Driver", "MCMVRExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "MC MVR Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {33, "CloseExcludedIssues", {"Driver", "MVRExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "MVR Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {34, "CloseExcludedIssues", {"Driver", "COVExpire", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "COV Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {35, "CloseExcludedIssues", {"Driver", "TWICExpiration", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "TWIC Expire", " (Driver.Terminated=1 OR Driver.TWIC=0 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {36, "CloseExcludedIssues", {"Driver", "HazmatTrainingExpiration", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "HAZMAT Training Expire", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.H=0)"}},
    {37, "CloseExcludedIssues", {"Driver", "OtherDateEnabled", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'') + ' - ' + Driver.OtherDateDesc", "Driver", "Other Date Expire", " (Driver.Terminated=1 OR ISNULL(Driver.OtherDateEnabled,0)=0 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {38, "CloseResolvedIssues", {"Driver", "PreEmp", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "Pre-Employment Drug Test", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.PreEmp=1)"}},
    {39, "CloseResolvedIssues", {"Driver", "CDLSuspended", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "CDL Suspended", " (Driver.Terminated=1 OR Driver.CDLSuspended=0 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)"}},
    {40, "CloseResolvedIssues", {"Driver", "DocApplication", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Application", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocApplication=1)"}},
    {41, "CloseResolvedIssues", {"Driver", "DocEntryLevelTraining", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Entry Level Training", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocEntryLevelTraining=1)"}},
    {42, "CloseResolvedIssues", {"Driver", "DocPrevEmployerRequest", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Prev Employer Requests", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocPrevEmployerRequest=1)"}},
    {43, "CloseResolvedIssues", {"Driver", "DocPreEmployDrugTestResults", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Pre Employ Drug Test Results", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocPreEmployDrugTestResults=1)"}},
    {44, "CloseResolvedIssues", {"Driver", "DocCCF", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:CCF", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocCCF=1)"}},
    {45, "CloseResolvedIssues", {"Driver", "DocComplianceWCDLRequirements", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Compliance w CDL Requirements", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocComplianceWCDLRequirements=1)"}},
    {46, "CloseResolvedIssues", {"Driver", "DocDAPolicyReceipt", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:D/A Policy Receipt", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocDAPolicyReceipt=1)"}},
    {47, "CloseResolvedIssues", {"Driver", "DocDAPrevDisclosure", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:D/A Prev Disclosure", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocDAPrevDisclosure=1)"}},
    {48, "CloseResolvedIssues", {"Driver", "DocStatementOnDutyHours", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Statement On Duty Hours", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocStatementOnDutyHours=1)"}},
    {49, "CloseResolvedIssues", {"Driver", "DocCOV", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:COV", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocCOV=1)"}},
    {50, "CloseResolvedIssues", {"Driver", "DocMVR", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:MVR", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocMVR=1)"}},
    {51, "CloseResolvedIssues", {"Driver", "DocCopyOfDL", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Copy of DL", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocCopyOfDL=1)"}},
    {52, "CloseResolvedIssues", {"Driver", "DocMedCard", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Med Card", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocMedCard=1)"}},
    {53, "CloseResolvedIssues", {"Driver", "DocAnnualMVR", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Annual MVR", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocAnnualMVR=1)"}},
    {54, "CloseResolvedIssues", {"Driver", "DocRoadTest", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Copy of Road Test", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocRoadTest=1)"}},
    {55, "CloseResolvedIssues", {"Driver", "DocNRCME", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:NRCME", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocNRCME=1)"}},
    {56, "CloseResolvedIssues", {"Driver", "DocCellPhonePolicy", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:Cell Phone Policy", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocCellPhonePolicy=1)"}},
    {57, "CloseResolvedIssues", {"Driver", "DocHOSPolicy", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "Document:HOS Policy", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocHOSPolicy=1)"}},
    {58, "CloseResolvedIssues", {"Driver", "docPreEmpDachQuery", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + ISNULL(Driver.Suffix,'')", "Driver", "Document:Pre Emp DACH Query", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR ISNULL(Driver.CDL,0)=0 OR Driver.docPreEmpDachQuery=1)"}},
    {59, "CloseResolvedIssues", {"Driver", "N", "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName", "Driver", "No N Endorsement", " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.N=1)"}},
    {60, "CloseResolvedIssues", {"Vehicle", "DocPreventativeMaintSchedule", "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model", "Vehicle", "Document:Preventitive Maint Schedule", " (Vehicle.NotInService=1 OR Vehicle.DocPreventativeMaintSchedule=1)"}},
    {61, "CloseResolvedIssues", {"Vehicle", "DocVehRegistration", "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model", "Vehicle", "Document:Veh Registration", " (Vehicle.NotInService=1 OR Vehicle.DocVehRegistration=1)"}},
    {62, "CloseResolvedIssues", {"Vehicle", "DocPAI", "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model", "Vehicle", "Document:PAI", " (Vehicle.NotInService=1 OR Vehicle.DocPAI=1)"}},
    {63, "CloseResolvedIssues", {"Vehicle", "DOCCabCard", "'Unit: ' + Vehicle.Unit + ' | VIN: ' + VIN + ' | Make: ' + Make + ' | Model: ' + Model", "Vehicle", "Document:Registration/Cab Card", " (Vehicle.NotInService=1 OR Vehicle.DOCCabCard=1)"}},
    {64, "CloseResolvedIssues", {"Vehicle", "DocPreventativeMaintSchedule", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Document:Preventitive Maint Schedule", " (Vehicle.NotInService=1 OR Vehicle.DocPreventativeMaintSchedule=1)"}},
    {65, "CloseResolvedIssues", {"Vehicle", "DocVehRegistration", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Document:Veh Registration", " (Vehicle.NotInService=1 OR Vehicle.DocVehRegistration=1)"}},
    {66, "CloseResolvedIssues", {"Vehicle", "DocPAI", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Document:PAI", " (Vehicle.NotInService=1 OR Vehicle.DocPAI=1)"}},
    {67, "CloseResolvedIssues", {"Vehicle", "DOCCabCard", "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make", "Vehicle", "Document:Registration/Cab Card", " (Vehicle.NotInService=1 OR Vehicle.DOCCabCard=1)"}},
    {68, "CloseResolvedIssues", {"DrugAlcoholTest", "CCF", "TestDate + ' - ' + DriverName", "Drug & Alcohol Test", "Drug & Alcohol Test: No CCF", " (DrugAlcoholTest.Completed=0 OR DrugAlcoholTest.CCF=1)"}},
    {69, "CloseResolvedIssues", {"DrugAlcoholTest", "Results", "TestDate + ' - ' + DriverName", "Drug & Alcohol Test", "Drug & Alcohol Test: No Test Results", " (DrugAlcoholTest.Completed=0 OR DrugAlcoholTest.Results=1)"}},
    {70, "CloseResolvedIssues", {"RoadsideInspection", "HaveCopy", "'Driver: ' + RoadsideInspection.DriverName + ' - ' + RoadsideInspection.InspectionDate", "Roadside Inspection", "No Copy of Roadside Inspection", " (RoadsideInspection.HaveCopy=1)"}},
    {71, "CloseResolvedIssues", {"RoadsideInspection", "HaveCopy", "'Driver: ' + RoadsideInspection.DriverName + ' - ' + RoadsideInspection.InspectionDate", "Roadside Inspection", "No Copy of Roadside Inspection", " (ISNULL(RoadsideInspection.CopyUnobtainable,0)=1)"}},
    {72, "CloseResolvedIssues", {"RoadsideInspection", "EvidenceOfRepair", "'Driver: ' + RoadsideInspection.DriverName + ' - ' + RoadsideInspection.InspectionDate", "Roadside Inspection", "No Evidence of Corrective Action", " (RoadsideInspection.EvidenceOfRepair=1)"}},
    {73, "CloseResolvedIssues", {"RoadsideInspection", "EvidenceOfRepair", "'Driver: ' + RoadsideInspection.DriverName + ' - ' + RoadsideInspection.InspectionDate", "Roadside Inspection", "No Evidence of Corrective Action", " (ISNULL(RoadsideInspection.CopyUnobtainable,0)=1)"}},
    {74, "CloseResolvedIssues", {"Accident", "AccidentReport", "No Accident Report on File", "Accident", "No Accident Report on File", " ((Accident.AccidentReport=1 AND Accident.Recordable=1) OR Accident.Recordable=0)"}},
    {75, "CloseAgedSafetyScoreIssues", {"", "", "", "", "", ""}},
    {76, "CloseExcludedIssues", {"DrugAlcoholTest", "DueDate", "'Driver: ' + DrugAlcoholTest.DriverName", "Drug And Alcohol Test", "Drug/Alcohol Test Due", " DrugAlcoholTest.Completed=1 OR DrugAlcoholTest.Status='Not Tested' OR DrugAlcoholTest.Status='Refusal'"}},
    {77, "DateExpiryRule", {"RegistrationDoc", "ExpDate", "(SELECT CASE WHEN Description<>'' THEN Name+' : '+Description ELSE Name END FROM RegistrationDocType WHERE ID=RegistrationDoc.TypeID)", "Registration Document", "Expiration Date", ""}},
    {78, "DateExpiryRule", {"Issues", "DueDate", "Issues.Description + ' - ' + Issues.ItemDesc", "Issue", "Due Date Approach", " AND Issues.Status='Open'"}},
    {79, "ContractDateRule", {"ServiceContract", "HazmatExpirationDate", "'HAZMAT Expire'", "Contract", "HAZMAT Expire", " AND ServiceContract.Status='Active' AND Customer.Hasmat=1"}},
    {80, "ContractDateRule", {"ServiceContract", "MCS150UpdateDue", "'MCS 150 Update Due'", "Contract", "MCS 150 Update Due", " AND ServiceContract.Status='Active'"}},
    {81, "TrainingExpiryRule", {"Training", "ExpireDate", "'Driver: ' + ISNULL(Driver.LastName,'') + ', ' + ISNULL(Driver.FirstName,'') + ' - ' + TrainingTopic.Name", "Training", "Training Expire", " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Training.Expires,0)=1 AND ISNULL(Driver.ID,0)<>0"}},
    {82, "CloseOrphanedIssues", {"", "", "", "", "", ""}},
    {83, "CloseDuplicateIssues", {"", "", "", "", "", ""}},
    {84, "DispatchOutbox", {"", "", "", "", "", ""}},
};
// clang-format on

const char* enumName(Processor p) {
    switch (p) {
        case Processor::DateExpiryRule: return "DateExpiryRule";
        case Processor::CloseExcludedIssues: return "CloseExcludedIssues";
        case Processor::CloseResolvedIssues: return "CloseResolvedIssues";
        case Processor::CloseAgedSafetyScoreIssues: return "CloseAgedSafetyScoreIssues";
        case Processor::ContractDateRule: return "ContractDateRule";
        case Processor::TrainingExpiryRule: return "TrainingExpiryRule";
        case Processor::CloseOrphanedIssues: return "CloseOrphanedIssues";
        case Processor::CloseDuplicateIssues: return "CloseDuplicateIssues";
        case Processor::DispatchOutbox: return "DispatchOutbox";
    }
    return "?";
}

TEST(RuleCatalog, MatchesTheListingStepByStepAndByteForByte) {
    const auto& table = CatalogTable();
    ASSERT_EQ(std::size(kListing), 84u);
    ASSERT_EQ(table.size(), std::size(kListing));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const CatalogEntry& entry = table[i];
        const Listed& listed = kListing[i];
        SCOPED_TRACE("step " + std::to_string(listed.step));
        EXPECT_EQ(entry.step, listed.step);
        EXPECT_STREQ(enumName(entry.processor), listed.processor);
        EXPECT_EQ(entry.params.Table, listed.args[0]);
        EXPECT_EQ(entry.params.Field, listed.args[1]);
        EXPECT_EQ(entry.params.DescriptionExpr, listed.args[2]);
        EXPECT_EQ(entry.params.Category, listed.args[3]);
        EXPECT_EQ(entry.params.Item, listed.args[4]);
        EXPECT_EQ(entry.params.Condition, listed.args[5]);
    }
}

TEST(RuleCatalog, GroupsComeInTheirOrder) {
    // 19 date rules, 18 exclusion passes, 37 flag passes, aging, one more exclusion pass,
    // 2 date rules, 2 contract rules, training, orphans, duplicates, dispatch.
    const auto& table = CatalogTable();
    auto count = [&](std::size_t from, std::size_t to, Processor p) {
        std::size_t n = 0;
        for (std::size_t i = from; i < to; ++i) {
            n += table[i].processor == p ? 1u : 0u;
        }
        return n;
    };
    EXPECT_EQ(count(0, 19, Processor::DateExpiryRule), 19u);
    EXPECT_EQ(count(19, 37, Processor::CloseExcludedIssues), 18u);
    EXPECT_EQ(count(37, 74, Processor::CloseResolvedIssues), 37u);
    EXPECT_EQ(table[74].processor, Processor::CloseAgedSafetyScoreIssues);
    EXPECT_EQ(table[75].processor, Processor::CloseExcludedIssues);
    EXPECT_EQ(count(76, 78, Processor::DateExpiryRule), 2u);
    EXPECT_EQ(count(78, 80, Processor::ContractDateRule), 2u);
    EXPECT_EQ(table[80].processor, Processor::TrainingExpiryRule);
    EXPECT_EQ(table[81].processor, Processor::CloseOrphanedIssues);
    EXPECT_EQ(table[82].processor, Processor::CloseDuplicateIssues);
    EXPECT_EQ(table[83].processor, Processor::DispatchOutbox);
}

}  // namespace
}  // namespace fas::tasks
