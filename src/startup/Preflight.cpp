#include "startup/Preflight.h"
#include "db/Text.h"

#include <exception>
#include <map>
#include <string>
#include <utility>

#include "db/Connection.h"
#include "mail/MailCheck.h"
#include "mail/MessageSizeSetting.h"
#include "startup/CompanySettingsLoader.h"
#include "startup/ConfigFile.h"
#include "tasks/CatalogTable.h"

namespace fas::startup {
namespace {

using Level = Finding::Level;

// The tables and columns the catalog's statements, the recipient lookups, the outbox and the
// log use.
struct RequiredTable {
    const char* table;
    std::vector<const char*> columns;
};

const std::vector<RequiredTable>& requiredTables() {
    static const std::vector<RequiredTable> kTables = {
        {"Company",
         {"Name", "AutomationServerPoll", "AutomationServerEmailFrom",
          "AutomationServerEmailServer", "AutomationServerEmailServerPort",
          "AutomationServerEmailUser", "AutomationServerEmailPassword",
          "AutomationServerEmailUseSSLTLS", "AutomationServerEmailFooter"}},
        {"AutomationServer_Alert",
         {"Item", "Category", "EmailContractManager", "EmailContractSpecialist", "EmailClient",
          "DaysInAdvance", "CreateIssue", "CreateIssueDaysInAdvance", "IssuePriority",
          "AutoCloseIssue"}},
        {"Issues",
         {"ID", "ContractID", "Category", "ItemID", "ItemDesc", "IssueDate", "DueDate",
          "Description", "Status", "Priority", "EnteredBy", "EnteredDate", "EditedBy", "EditedDate",
          "AUTO_Item", "Auto_Date"}},
        {"AutomationServer_EmailsSent",
         {"ID", "EmailFrom", "EmailFromName", "EmailTo", "EmailSubject", "EmailBody", "EmailSent",
          "DateSent"}},
        {"AutomationServer_Emails",
         {"ID", "EmailDate", "Category", "Item", "ItemID", "ItemKey", "ContractManager",
          "ContractSpecialist", "Client"}},
        {"AutomationServer_Log", {"LogDate", "CountEmails", "CountIssues", "CountIssuesClose"}},
        {"ServiceContract",
         {"ID", "CustomerID", "ContractManagerID", "PrimaryContactEmail", "Status",
          "DisableEmailNotifications", "EnableNotificationsAtTime",
          "EnableDirectDriverNotificationEmails", "EmailVehicle", "EmailDriver", "EmailAccident",
          "EmailRoadsideInspection", "EmailDrugAlcohol", "EmailRegistrationDoc", "EmailSafetyScore",
          "EmailContract", "emailTraining", "HazmatExpirationDate", "MCS150UpdateDue"}},
        {"Customer", {"ID", "Name", "Hasmat"}},
        {"Employee", {"ID", "Email"}},
        {"ServiceContractSpecialist", {"ServiceContractID", "EmployeeID"}},
        {"Vehicle",
         {"ID",
          "ContractID",
          "Unit",
          "VIN",
          "UnitYear",
          "Make",
          "Model",
          "Suspended",
          "NotInService",
          "PAIDue",
          "TagExpiration",
          "TankerVExpire",
          "TankerVExpireDate",
          "TankerKExpire",
          "TankerKExpireDate",
          "TankerIExpire",
          "TankerIExpireDate",
          "TankerPExpire",
          "TankerPExpireDate",
          "TankerEExpire",
          "TankerEExpireDate",
          "OtherDate",
          "OtherDateDesc",
          "OtherDateEnabled",
          "DocPreventativeMaintSchedule",
          "DocVehRegistration",
          "DocPAI",
          "DOCCabCard"}},
        {"Driver",
         {"ID",
          "ContractID",
          "LastName",
          "FirstName",
          "MiddleName",
          "Suffix",
          "Terminated",
          "Suspended",
          "ApplicantOnly",
          "DAOnly",
          "CDL",
          "CDLSuspended",
          "PassportExpire",
          "PassportExpiration",
          "DLExpire",
          "MCExpire",
          "MCMVRExpire",
          "MVRExpire",
          "COVExpire",
          "TWIC",
          "TWICExpiration",
          "H",
          "N",
          "HazmatTrainingExpiration",
          "OtherDate",
          "OtherDateDesc",
          "OtherDateEnabled",
          "AnnualDashExpire",
          "PreEmp",
          "DocApplication",
          "DocEntryLevelTraining",
          "DocPrevEmployerRequest",
          "DocPreEmployDrugTestResults",
          "DocCCF",
          "DocComplianceWCDLRequirements",
          "DocDAPolicyReceipt",
          "DocDAPrevDisclosure",
          "DocStatementOnDutyHours",
          "DocCOV",
          "DocMVR",
          "DocCopyOfDL",
          "DocMedCard",
          "DocAnnualMVR",
          "DocRoadTest",
          "DocNRCME",
          "DocCellPhonePolicy",
          "DocHOSPolicy",
          "docPreEmpDachQuery"}},
        {"DrugAlcoholTest",
         {"ID", "ContractID", "DriverName", "TestTypeID", "TestDate", "DueDate", "Completed",
          "Status", "CCF", "Results"}},
        {"DrugAlcoholTestType", {"ID", "Name"}},
        {"RoadsideInspection",
         {"ID", "ContractID", "DriverName", "InspectionDate", "HaveCopy", "CopyUnobtainable",
          "EvidenceOfRepair"}},
        {"Accident", {"ID", "ContractID", "AccidentReport", "Recordable"}},
        {"RegistrationDoc", {"ID", "ContractID", "TypeID", "ExpDate"}},
        {"RegistrationDocType", {"ID", "Name", "Description"}},
        {"Training", {"ID", "ContractID", "DriverID", "TopicID", "ExpireDate", "Expires"}},
        {"TrainingTopic", {"ID", "Name"}},
        {"SafetyScore", {"ID"}},
    };
    return kTables;
}

void checkTables(ServerState& state, std::vector<Finding>& findings) {
    int missing = 0;
    for (const RequiredTable& required : requiredTables()) {
        db::Recordset rs;
        try {
            // The names are the program's own; no row is read.
            rs = state.db.query(std::string("SELECT * FROM ") + required.table + " WHERE 1=0");
        } catch (const std::exception& e) {
            findings.push_back({Level::Blocking,
                                std::string("missing table ") + required.table + ": " + e.what()});
            ++missing;
            continue;
        }
        for (const char* column : required.columns) {
            bool found = false;
            for (const std::string& name : rs.columns()) {
                found = found || db::equalsIgnoringCase(name, column);
            }
            if (!found) {
                findings.push_back({Level::Blocking, std::string("missing column ") +
                                                         required.table + "." + column});
                ++missing;
            }
        }
    }
    if (missing == 0) {
        findings.push_back({Level::Ok, "every table and column the catalog uses exists"});
    }
}

void checkCompany(ServerState& state, std::vector<Finding>& findings) {
    try {
        if (state.db.query("SELECT TOP 1 * FROM Company").eof()) {
            findings.push_back({Level::Blocking,
                                "the Company table has no row: there is no sender address, no "
                                "mail server and the poll interval is 0"});
            return;
        }
        LoadCompanySettings(state);
        findings.push_back({Level::Ok, "Company row \"" + state.company.Name + "\", poll every " +
                                           std::to_string(state.company.AutomationServerPoll) +
                                           " minute(s)"});
    } catch (const std::exception& e) {
        findings.push_back({Level::Blocking, std::string("Company row: ") + e.what()});
    }
}

// Each catalog item that looks up alert settings and has no row works with the settings of the
// lookup before it.
void checkAlertSettings(ServerState& state, std::vector<Finding>& findings) {
    std::string previous;
    int missing = 0;
    for (const tasks::CatalogEntry& entry : tasks::CatalogTable()) {
        using P = tasks::Processor;
        const bool looksUp =
            entry.processor == P::DateExpiryRule || entry.processor == P::CloseExcludedIssues ||
            entry.processor == P::ContractDateRule || entry.processor == P::TrainingExpiryRule;
        if (!looksUp) {
            continue;
        }
        const std::string& item = entry.params.Item;
        bool present = false;
        try {
            present = !state.db.query("SELECT * FROM AutomationServer_Alert WHERE Item = ?", {item})
                           .eof();
        } catch (const std::exception& e) {
            findings.push_back({Level::Blocking, std::string("alert settings: ") + e.what()});
            return;
        }
        if (!present) {
            ++missing;
            findings.push_back(
                {Level::Warning,
                 "step " + std::to_string(entry.step) + ": item \"" + item +
                     "\" has no AutomationServer_Alert row; it inherits the settings of the last "
                     "item before it that has one" +
                     (previous.empty() ? std::string(" (right after start: everything off)")
                                       : " (item \"" + previous + "\")")});
        }
        if (present) {
            previous = item;
        }
    }
    if (missing == 0) {
        findings.push_back({Level::Ok, "every catalog item has its alert settings"});
    }
}

// Recipient texts (compared exactly, as the dispatch groups them) whose rows have waited in the
// outbox for more than a day: a dead address, a relay that refuses them. The outbox keeps no time
// of queueing, but a row queued after a pending one and sent more than a day ago proves the
// pending one older than that; the earliest sending of a later row is the date by which the
// oldest one was queued at the latest.
void checkOutbox(ServerState& state, std::vector<Finding>& findings) {
    db::Database& db = state.db;
    try {
        const auto newest =
            db.query(
                  "SELECT MAX(ID) AS ID FROM AutomationServer_EmailsSent WHERE EmailSent=1 AND "
                  "DateSent<?",
                  {db::DateTime::nowLocal().addDays(-1)})
                .value("ID");
        if (newest.isNull()) {
            return;
        }
        struct Waiting {
            std::string recipientText;
            std::int64_t oldest;
            std::size_t rows;
        };
        std::vector<Waiting> waiting;  // by oldest row
        std::map<std::string, std::size_t> byText;
        for (auto rs = db.forward(
                 "SELECT ID,EmailTo FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND "
                 "EmailTo<>'' AND ID<? ORDER BY ID",
                 {newest});
             !rs.eof(); rs.moveNext()) {
            const std::string text = rs.text("EmailTo");
            const auto [found, first] = byText.try_emplace(text, waiting.size());
            if (first) {
                waiting.push_back({text, rs.int64("ID"), 0});
            }
            ++waiting[found->second].rows;
        }
        for (const Waiting& w : waiting) {
            const auto since = db.query(
                                     "SELECT MIN(DateSent) AS Since FROM "
                                     "AutomationServer_EmailsSent WHERE EmailSent=1 AND ID>?",
                                     {w.oldest})
                                   .dateTime("Since");
            findings.push_back(
                {Level::Warning,
                 "outbox: " + std::to_string(w.rows) + " row(s) to '" + w.recipientText +
                     "' pending for more than a day, the oldest (ID " + std::to_string(w.oldest) +
                     ") since " + db::dateText(since) + " or earlier"});
        }
    } catch (const std::exception& e) {
        findings.push_back({Level::Warning, std::string("outbox: ") + e.what()});
    }
}

}  // namespace

std::vector<Finding> CheckPreflight(ServerState& state, const std::filesystem::path& configFile) {
    std::vector<Finding> findings;
    try {
        ReadConfigFile(state, configFile);
        findings.push_back({Level::Ok, "configuration " + configFile.string() + " read"});
    } catch (const std::exception& e) {
        findings.push_back({Level::Blocking, e.what()});
        return findings;
    }
    state.db.setLocation(state.DatabaseLocation, state.configDirectory);
    if (!state.db.OpenDatabase()) {
        findings.push_back(
            {Level::Blocking, "cannot open the database " +
                                  db::redactConnectionString(state.DatabaseLocation) + ": " +
                                  state.db.lastOpenError()});
        return findings;
    }
    findings.push_back(
        {Level::Ok,
         "database " + db::redactConnectionString(state.DatabaseLocation) + " reachable"});
    checkTables(state, findings);
    checkCompany(state, findings);
    checkAlertSettings(state, findings);
    checkOutbox(state, findings);
    state.db.CloseDatabase();

    try {
        mail::MaxMessageBytesSetting();
    } catch (const std::exception& e) {
        findings.push_back({Level::Blocking, e.what()});
    }

    try {
        findings.push_back({Level::Ok, mail::CheckMailDelivery(state)});
    } catch (const std::exception& e) {
        findings.push_back({Level::Blocking, std::string("mail: ") + e.what()});
    }
    return findings;
}

int RunPreflight(ServerState& state, const std::filesystem::path& configFile, std::ostream& out) {
    bool blocked = false;
    for (const Finding& f : CheckPreflight(state, configFile)) {
        const char* tag = f.level == Level::Ok        ? "ok     "
                          : f.level == Level::Warning ? "warning"
                                                      : "BLOCKS ";
        out << tag << "  " << f.text << "\n";
        blocked = blocked || f.level == Level::Blocking;
    }
    out << (blocked ? "Something above blocks a task run.\n" : "Nothing blocks a task run.\n");
    out.flush();
    return blocked ? 1 : 0;
}

}  // namespace fas::startup
