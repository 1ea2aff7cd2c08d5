#include "rules/RuleFixtures.h"

#include <algorithm>
#include <stdexcept>

#include "db/Recordset.h"

namespace fas::test {

db::DateTime day(int offset) {
    return db::DateTime::todayLocal().addDays(offset);
}

db::DateTime dayAt(int offset, int hour, int minute) {
    db::DateTime d = day(offset);
    d.hour = hour;
    d.minute = minute;
    return d;
}

db::Value dateOnly(const db::DateTime& date) {
    return db::Value(date.toIso().substr(0, 10));
}

db::Value dateAndTime(const db::DateTime& date) {
    return db::Value(date.toIso());
}

std::int64_t addRow(OpenState& s, const std::string& table, const Columns& columns) {
    // A column named again replaces its earlier value, so builders can take overrides.
    std::vector<std::string> names;
    db::Params values;
    for (const auto& [name, value] : columns) {
        const auto it = std::find(names.begin(), names.end(), name);
        if (it == names.end()) {
            names.push_back(name);
            values.push_back(value);
        } else {
            values[static_cast<std::size_t>(it - names.begin())] = value;
        }
    }
    std::string nameList;
    std::string marks;
    for (const std::string& name : names) {
        nameList += (nameList.empty() ? "" : ",") + name;
        marks += marks.empty() ? "?" : ",?";
    }
    s.exec("INSERT INTO " + table + " (" + nameList + ") VALUES (" + marks + ")", values);
    return s.count("SELECT MAX(ID) FROM " + table);
}

std::int64_t addEmployee(OpenState& s, const db::Value& email) {
    return addRow(s, "Employee", {{"FirstName", "Pat"}, {"LastName", "Lee"}, {"Email", email}});
}

std::int64_t addContract(OpenState& s, const ContractSpec& given) {
    const std::int64_t customer =
        addRow(s, "Customer", {{"Name", given.customerName}, {"Hasmat", given.hasmat}});
    const std::int64_t manager = addEmployee(s, given.managerEmail);
    Columns columns{{"CustomerID", customer},
                    {"ContractManagerID", manager},
                    {"PrimaryContactEmail", "primary@acme.test"},
                    {"Status", given.status},
                    {"DisableEmailNotifications", given.muted}};
    columns.insert(columns.end(), given.extra.begin(), given.extra.end());
    const std::int64_t contract = addRow(s, "ServiceContract", columns);
    for (const db::Value& email : given.specialistEmails) {
        addRow(s, "ServiceContractSpecialist",
               {{"ServiceContractID", contract}, {"EmployeeID", addEmployee(s, email)}});
    }
    return contract;
}

void addAlert(OpenState& s, const AlertSpec& given) {
    addRow(s, "AutomationServer_Alert",
           {{"Item", given.item},
            {"Category", "Alerts"},
            {"EmailContractManager", given.emailManager},
            {"EmailContractSpecialist", given.emailSpecialist},
            {"EmailClient", given.emailClient},
            {"DaysInAdvance", given.daysInAdvance},
            {"CreateIssue", given.createIssue},
            {"CreateIssueDaysInAdvance", given.issueDays},
            {"IssuePriority", given.priority},
            {"AutoCloseIssue", given.autoClose}});
}

std::int64_t addVehicle(OpenState& s, std::int64_t contractId, const std::string& dateColumn,
                        const db::Value& date, Columns extra) {
    Columns columns{
        {"ContractID", contractId}, {"Unit", "T-100"},        {"VIN", "1FUJGLDR5CLBP8834"},
        {"UnitYear", "2019"},       {"Make", "Freightliner"}, {"Model", "Cascadia"},
        {dateColumn, date}};
    columns.insert(columns.end(), extra.begin(), extra.end());
    return addRow(s, "Vehicle", columns);
}

std::int64_t addDriver(OpenState& s, std::int64_t contractId, const std::string& dateColumn,
                       const db::Value& date, Columns extra) {
    Columns columns{{"ContractID", contractId},
                    {"LastName", "Smith"},
                    {"FirstName", "John"},
                    {"MiddleName", "Q"},
                    {"CDL", 1},
                    {dateColumn, date}};
    columns.insert(columns.end(), extra.begin(), extra.end());
    return addRow(s, "Driver", columns);
}

std::int64_t addAutoIssue(OpenState& s, const std::string& item, std::int64_t itemId,
                          const db::Value& autoDate, const std::string& status) {
    return addRow(s, "Issues",
                  {{"ContractID", 1},
                   {"Category", "Vehicle"},
                   {"ItemID", itemId},
                   {"ItemDesc", "earlier"},
                   {"DueDate", autoDate},
                   {"Description", "(AUTO ISSUE) earlier"},
                   {"Status", status},
                   {"EnteredBy", "AUTO SERVER"},
                   {"AUTO_Item", item},
                   {"Auto_Date", autoDate}});
}

std::vector<OutboxRow> outbox(OpenState& s) {
    db::Recordset rs = s.db().query(
        "SELECT EmailTo,EmailSubject,EmailBody FROM AutomationServer_EmailsSent ORDER BY ID");
    std::vector<OutboxRow> rows;
    for (; !rs.eof(); rs.moveNext()) {
        rows.push_back({rs.joined("EmailTo"), rs.joined("EmailSubject"), rs.joined("EmailBody")});
    }
    return rows;
}

std::vector<std::string> outboxRecipients(OpenState& s) {
    std::vector<std::string> to;
    for (const OutboxRow& row : outbox(s)) {
        to.push_back(row.to);
    }
    return to;
}

namespace {

std::vector<std::int64_t> ids(OpenState& s, const std::string& sql, const std::string& item) {
    db::Recordset rs = s.db().query(sql, {db::Value(item)});
    std::vector<std::int64_t> result;
    for (; !rs.eof(); rs.moveNext()) {
        result.push_back(rs.int64("ItemID"));
    }
    return result;
}

// Description expressions and conditions the catalog uses in several steps.
const std::string V1 = "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make";
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
const std::string T1 = "'Driver: ' + DrugAlcoholTest.DriverName";
const std::string CV = " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0";
const std::string CD =
    " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND "
    "ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0";
const std::string CC = " AND ISNULL(CDL,0)=1" + CD;

std::string tanker(const std::string& flag) {
    return CV + " AND " + flag + "=1";
}

}  // namespace

std::vector<std::int64_t> notifiedItems(OpenState& s, const std::string& item) {
    return ids(s, "SELECT ItemID FROM AutomationServer_Emails WHERE Item = ? ORDER BY ItemID",
               item);
}

std::vector<std::int64_t> issuedItems(OpenState& s, const std::string& item) {
    return ids(s,
               "SELECT ItemID FROM Issues WHERE EnteredBy = 'AUTO SERVER' AND AUTO_Item = ? "
               "ORDER BY ItemID",
               item);
}

RuleParameters catalogStep(int step) {
    switch (step) {
        case 1:
            return {"Vehicle", "PAIDue", V1, "Vehicle", "PAI Due", CV};
        case 2:
            return {"Vehicle", "TagExpiration", V1, "Vehicle", "Tag Expiration", CV};
        case 3:
            return {"Vehicle", "TankerVExpireDate",   V1,
                    "Vehicle", "V - External Visual", tanker("TankerVExpire")};
        case 4:
            return {"Vehicle", "TankerKExpireDate", V1,
                    "Vehicle", "K - Leakage",       tanker("TankerKExpire")};
        case 5:
            return {"Vehicle", "TankerIExpireDate",   V1,
                    "Vehicle", "I - Internal Visual", tanker("TankerIExpire")};
        case 6:
            return {"Vehicle", "TankerPExpireDate", V1,
                    "Vehicle", "P - Pressure",      tanker("TankerPExpire")};
        case 7:
            return {"Vehicle", "TankerEExpireDate",        V1,
                    "Vehicle", "Emergency Exit Equipment", tanker("TankerEExpire")};
        case 8:
            return {"Vehicle",
                    "OtherDate",
                    V3,
                    "Vehicle",
                    "Other Date Expire - Vehicle",
                    CV + " AND ISNULL(Vehicle.OtherDateEnabled,0)=1"};
        case 9:
            return {"Driver", "PassportExpiration", D1,
                    "Driver", "Passport Expire",    CD + " AND ISNULL(Driver.PassportExpire,0)=1"};
        case 10:
            return {"Driver", "DLExpire", D1, "Driver", "DL Expire", CD};
        case 11:
            return {"Driver", "MCExpire", D1, "Driver", "MC Expire", CD};
        case 12:
            return {"Driver", "MCMVRExpire", D1, "Driver", "MC MVR Expire", CC};
        case 13:
            return {"Driver", "MVRExpire", D1, "Driver", "MVR Expire", CD};
        case 14:
            return {"Driver", "COVExpire", D1, "Driver", "COV Expire", CD};
        case 15:
            return {"Driver", "TWICExpiration", D1,
                    "Driver", "TWIC Expire",    CD + " AND ISNULL(Driver.TWIC,0)=1"};
        case 16:
            return {"Driver", "HazmatTrainingExpiration", D1,
                    "Driver", "HAZMAT Training Expire",   CD + " AND ISNULL(Driver.H,0)=1"};
        case 17:
            return {"Driver", "OtherDate",         D2,
                    "Driver", "Other Date Expire", CD + " AND ISNULL(Driver.OtherDateEnabled,0)=1"};
        case 18:
            return {"Driver", "AnnualDashExpire", D3, "Driver", "Driver Dash Expire", CC};
        case 19:
            return {"DrugAlcoholTest",
                    "DueDate",
                    T1,
                    "Drug & Alcohol Test",
                    "Drug/Alcohol Test Due",
                    " AND DrugAlcoholTest.Completed=0"};
        case 77:
            return {"RegistrationDoc",
                    "ExpDate",
                    "(SELECT CASE WHEN Description<>'' THEN Name+' : '+Description ELSE Name END "
                    "FROM RegistrationDocType WHERE ID=RegistrationDoc.TypeID)",
                    "Registration Document",
                    "Expiration Date",
                    ""};
        case 78:
            return {"Issues", "DueDate",           "Issues.Description + ' - ' + Issues.ItemDesc",
                    "Issue",  "Due Date Approach", " AND Issues.Status='Open'"};
        case 79:
            return {
                "ServiceContract", "HazmatExpirationDate",
                "'HAZMAT Expire'", "Contract",
                "HAZMAT Expire",   " AND ServiceContract.Status='Active' AND Customer.Hasmat=1"};
        case 80:
            return {"ServiceContract",      "MCS150UpdateDue",
                    "'MCS 150 Update Due'", "Contract",
                    "MCS 150 Update Due",   " AND ServiceContract.Status='Active'"};
        case 81:
            return {"Training",
                    "ExpireDate",
                    "'Driver: ' + ISNULL(Driver.LastName,'') + ', ' + ISNULL(Driver.FirstName,'') "
                    "+ ' - ' + TrainingTopic.Name",
                    "Training",
                    "Training Expire",
                    " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND "
                    "ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0 AND "
                    "ISNULL(Training.Expires,0)=1 AND ISNULL(Driver.ID,0)<>0"};
        default:
            throw std::invalid_argument("no rule processor at catalog step " +
                                        std::to_string(step));
    }
}

RuleDatabaseTest::RuleDatabaseTest() {
    state().company.Name = "Fleet Safety Services";
    state().company.AutomationServerEmailFrom = "alerts@fleetsafety.test";
    state().company.AutomationServerEmailFooter = "Fleet Safety Services, compliance desk";
}

}  // namespace fas::test
