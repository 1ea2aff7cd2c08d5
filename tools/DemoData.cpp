#include "tools/DemoData.h"

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "db/Database.h"
#include "db/DateTime.h"
#include "db/Schema.h"

namespace fas::tools {
namespace {

using db::DateTime;
using db::Params;
using db::Value;

DemoScale largeScale() {
    DemoScale s;
    s.contracts = 1000;
    s.vehicles = 20000;
    s.drivers = 40000;
    s.drugTests = 80000;
    s.trainings = 40000;
    s.registrationDocs = 20000;
    s.inspections = 10000;
    s.accidents = 5000;
    s.existingIssues = 100000;
    s.notificationRecords = 200000;
    return s;
}

// Sample data with a fixed seed, so two databases of one scale and day hold the same rows.
class Generator {
  public:
    Generator(db::Database& database, const DemoScale& scale)
        : db_(database), scale_(scale), random_(scale.seed), today_(DateTime::todayLocal()) {}

    void run(const DemoMail& mail) {
        company(mail);
        alertSettings();
        lookups();
        contracts();
        vehicles();
        drivers();
        drugTests();
        inspectionsAndAccidents();
        registrationDocs();
        trainings();
        history();
        if (scale_.awkwardRows) {
            awkwardRows();
        }
    }

  private:
    int uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(uniform(0, static_cast<int>(N) - 1))];
    }
    int contractOf() { return uniform(1, scale_.contracts); }
    // Mostly upcoming dates, some already past, a few far away: the first run finds things due
    // and overdue, later runs see the rest come into their windows.
    Value dueDate(double nullShare = 0.05) {
        if (chance(nullShare)) {
            return Value();
        }
        return Value(today_.addDays(uniform(-25, 160)));
    }
    void exec(const char* sql, const Params& params = {}) { db_.execute(sql, params); }

    void company(const DemoMail& mail) {
        exec(
            "INSERT INTO Company (Name,Address1,Address2,City,State,Zip,Phone,Fax,Email,Website,"
            "AutomationServerPoll,AutomationServerEmailFrom,AutomationServerEmailServer,"
            "AutomationServerEmailServerPort,AutomationServerEmailUser,"
            "AutomationServerEmailPassword,AutomationServerEmailUseSSLTLS,"
            "AutomationServerEmailFooter) VALUES (?,?,NULL,?,?,?,?,NULL,?,?,5,?,?,?,?,?,?,?)",
            {"Ferrow Fleet Compliance", "1200 Harbor Road", "Tacoma", "WA", "98421",
             "(253) 555-0100", "office@ferrow-demo.test", "https://ferrow-demo.test",
             "alerts@ferrow-demo.test", mail.server, mail.port, mail.user, mail.password,
             mail.useSslTls ? 1 : 0,
             "Ferrow Fleet Compliance - compliance@ferrow-demo.test - (253) 555-0100\r\n"
             "You receive this digest because you are listed on a service contract."});
    }

    void alertSettings() {
        struct Alert {
            const char* item;
            const char* category;
            int manager, specialist, client, days, createIssue, issueDays;
            const char* priority;
        };
        static constexpr Alert kAlerts[] = {
            {"PAI Due", "Vehicle", 1, 1, 1, 45, 1, 14, "High"},
            {"Tag Expiration", "Vehicle", 1, 0, 1, 30, 1, 10, "Medium"},
            {"V - External Visual", "Vehicle", 1, 1, 0, 30, 1, 14, "High"},
            {"K - Leakage", "Vehicle", 1, 1, 0, 30, 1, 14, "High"},
            {"I - Internal Visual", "Vehicle", 1, 1, 0, 30, 1, 14, "High"},
            {"P - Pressure", "Vehicle", 1, 1, 0, 30, 1, 14, "High"},
            {"Emergency Exit Equipment", "Vehicle", 1, 0, 0, 30, 1, 14, "Medium"},
            {"Other Date Expire - Vehicle", "Vehicle", 1, 0, 0, 21, 1, 7, "Low"},
            {"Passport Expire", "Driver", 1, 0, 0, 60, 1, 21, "Low"},
            {"DL Expire", "Driver", 1, 1, 1, 30, 1, 14, "High"},
            {"MC Expire", "Driver", 1, 1, 1, 45, 1, 14, "High"},
            {"MC MVR Expire", "Driver", 1, 1, 0, 30, 1, 14, "Medium"},
            {"MVR Expire", "Driver", 1, 1, 0, 30, 1, 14, "Medium"},
            {"COV Expire", "Driver", 1, 0, 0, 30, 1, 14, "Medium"},
            {"TWIC Expire", "Driver", 1, 0, 0, 45, 1, 14, "Medium"},
            {"HAZMAT Training Expire", "Driver", 1, 1, 0, 60, 1, 21, "High"},
            {"Other Date Expire", "Driver", 1, 0, 0, 21, 1, 7, "Low"},
            {"Driver Dash Expire", "Driver", 1, 1, 0, 30, 1, 14, "High"},
            {"Drug/Alcohol Test Due", "Drug & Alcohol Test", 1, 1, 1, 14, 1, 3, "High"},
            {"Expiration Date", "Registration Document", 1, 0, 1, 30, 1, 10, "Medium"},
            {"Due Date Approach", "Issue", 1, 0, 0, 7, 0, 0, "Medium"},
            {"HAZMAT Expire", "Contract", 1, 1, 1, 60, 1, 30, "High"},
            {"MCS 150 Update Due", "Contract", 1, 1, 0, 45, 1, 21, "Medium"},
            {"Training Expire", "Training", 1, 0, 1, 30, 1, 14, "Medium"},
        };
        for (const Alert& a : kAlerts) {
            exec(
                "INSERT INTO AutomationServer_Alert (Item,Category,EmailContractManager,"
                "EmailContractSpecialist,EmailClient,DaysInAdvance,CreateIssue,"
                "CreateIssueDaysInAdvance,IssuePriority,AutoCloseIssue) "
                "VALUES (?,?,?,?,?,?,?,?,?,1)",
                {a.item, a.category, a.manager, a.specialist, a.client, a.days, a.createIssue,
                 a.issueDays, a.priority});
        }
        // Items settled by a flag: their issues close whatever the settings say; the rows exist
        // so that the alert list in the other software shows every item.
        static constexpr const char* kFlagItems[] = {"Pre-Employment Drug Test",
                                                     "CDL Suspended",
                                                     "Document:Application",
                                                     "Document:Entry Level Training",
                                                     "Document:Prev Employer Requests",
                                                     "Document:Pre Employ Drug Test Results",
                                                     "Document:CCF",
                                                     "Document:Compliance w CDL Requirements",
                                                     "Document:D/A Policy Receipt",
                                                     "Document:D/A Prev Disclosure",
                                                     "Document:Statement On Duty Hours",
                                                     "Document:COV",
                                                     "Document:MVR",
                                                     "Document:Copy of DL",
                                                     "Document:Med Card",
                                                     "Document:Annual MVR",
                                                     "Document:Copy of Road Test",
                                                     "Document:NRCME",
                                                     "Document:Cell Phone Policy",
                                                     "Document:HOS Policy",
                                                     "Document:Pre Emp DACH Query",
                                                     "No N Endorsement",
                                                     "Document:Preventitive Maint Schedule",
                                                     "Document:Veh Registration",
                                                     "Document:PAI",
                                                     "Document:Registration/Cab Card",
                                                     "Drug & Alcohol Test: No CCF",
                                                     "Drug & Alcohol Test: No Test Results",
                                                     "No Copy of Roadside Inspection",
                                                     "No Evidence of Corrective Action",
                                                     "No Accident Report on File"};
        for (const char* item : kFlagItems) {
            exec(
                "INSERT INTO AutomationServer_Alert (Item,Category,EmailContractManager,"
                "EmailContractSpecialist,EmailClient,DaysInAdvance,CreateIssue,"
                "CreateIssueDaysInAdvance,IssuePriority,AutoCloseIssue) "
                "VALUES (?,'Document',0,0,0,0,0,0,'Medium',1)",
                {item});
        }
    }

    void lookups() {
        for (const char* name : {"Random", "Pre-Employment", "Post-Accident",
                                 "Reasonable Suspicion", "Return-to-Duty", "Follow-Up"}) {
            exec("INSERT INTO DrugAlcoholTestType (Name) VALUES (?)", {name});
        }
        exec(
            "INSERT INTO RegistrationDocType (Name,Description) VALUES "
            "('IFTA License',''),('IRP Cab Card','Apportioned registration'),"
            "('UCR Filing',''),('Oversize Permit','Annual permit'),('Hazmat Registration','')");
        for (const char* name : {"Forklift Operation", "Hazmat Awareness", "Defensive Driving",
                                 "Hours of Service", "Cargo Securement", "Entry Level Driver"}) {
            exec("INSERT INTO TrainingTopic (Name) VALUES (?)", {name});
        }
    }

    void contracts() {
        static constexpr std::array<const char*, 12> kCustomers = {
            "Acme Haulage",         "O'Neill Freight Lines", "Blue Ridge Tankers",
            "Cascade Movers",       "Prairie Logistics",     "Harbor City Transit",
            "Summit Bulk Carriers", "Redline Couriers",      "Lakeside Dairy",
            "Northstar Hazmat",     "Coastal Aggregates",    "Pioneer Bus Co"};
        static constexpr std::array<const char*, 10> kFirst = {
            "Maria", "James", "Aisha", "Robert", "Chen", "Linda", "Diego", "Sarah", "Tom", "Priya"};
        static constexpr std::array<const char*, 10> kLast = {
            "Garcia", "Johnson", "Okafor",   "Miller", "Wang",
            "Davis",  "Lopez",   "O'Connor", "Nguyen", "Patel"};
        const int employees = std::max(6, scale_.contracts / 3 + 4);
        for (int e = 1; e <= employees; ++e) {
            const std::string first = pick(kFirst);
            const std::string last = pick(kLast);
            std::string local = first + "." + last + std::to_string(e);
            local.erase(std::remove(local.begin(), local.end(), '\''), local.end());
            std::transform(local.begin(), local.end(), local.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            exec("INSERT INTO Employee (ID,FirstName,LastName,Email) VALUES (?,?,?,?)",
                 {e, first, last, e % 11 == 0 ? Value("") : Value(local + "@ferrow-demo.test")});
        }
        for (int c = 1; c <= scale_.contracts; ++c) {
            std::string name = kCustomers[static_cast<std::size_t>(c - 1) % kCustomers.size()];
            if (c > static_cast<int>(kCustomers.size())) {
                name += " #" + std::to_string(c);
            }
            exec("INSERT INTO Customer (ID,Name,Hasmat) VALUES (?,?,?)",
                 {c, name, chance(0.4) ? 1 : 0});
            std::string domain = "client" + std::to_string(c) + ".test";
            const bool active = c % 7 != 0;
            // One contract muted until yesterday: the run lifts the mute and notifies again.
            const bool mutedUntilYesterday = c == 3;
            exec(
                "INSERT INTO ServiceContract (ID,CustomerID,ContractManagerID,PrimaryContactEmail,"
                "Status,DisableEmailNotifications,EnableNotificationsAtTime,EmailVehicle,"
                "EmailDriver,EmailAccident,EmailRoadsideInspection,EmailDrugAlcohol,"
                "EmailRegistrationDoc,EmailSafetyScore,EmailContract,emailTraining,"
                "HazmatExpirationDate,MCS150UpdateDue) "
                "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                {c, c, uniform(1, employees), "office@" + domain, active ? "Active" : "Inactive",
                 mutedUntilYesterday ? 1 : 0,
                 mutedUntilYesterday ? Value(today_.addDays(-1)) : Value(), "fleet@" + domain,
                 "drivers@" + domain, "safety@" + domain, "safety@" + domain,
                 chance(0.8) ? Value("testing@" + domain) : Value(""), "permits@" + domain,
                 "safety@" + domain, "office@" + domain,
                 chance(0.7) ? Value("training@" + domain) : Value(), dueDate(0.2), dueDate(0.2)});
            const int specialists = uniform(0, 3);
            for (int s = 0; s < specialists; ++s) {
                exec(
                    "INSERT INTO ServiceContractSpecialist (ServiceContractID,EmployeeID) "
                    "VALUES (?,?)",
                    {c, uniform(1, employees)});
            }
        }
    }

    void vehicles() {
        static constexpr std::array<const char*, 6> kMakes = {
            "Freightliner", "Kenworth", "Peterbilt", "Volvo", "Mack", "International"};
        static constexpr std::array<const char*, 5> kModels = {"Cascadia", "T680", "579", "VNL",
                                                               "Anthem"};
        for (int v = 1; v <= scale_.vehicles; ++v) {
            const bool tanker = chance(0.25);
            const bool otherEnabled = chance(0.1);
            char vin[18];
            std::snprintf(vin, sizeof vin, "1FUJ%03dR%09d", uniform(100, 999),
                          uniform(0, 999999999));
            exec(
                "INSERT INTO Vehicle (ID,ContractID,Unit,VIN,UnitYear,Make,Model,Suspended,"
                "NotInService,PAIDue,TagExpiration,TankerVExpire,TankerVExpireDate,TankerKExpire,"
                "TankerKExpireDate,TankerIExpire,TankerIExpireDate,TankerPExpire,"
                "TankerPExpireDate,TankerEExpire,TankerEExpireDate,OtherDate,OtherDateDesc,"
                "OtherDateEnabled,DocPreventativeMaintSchedule,DocVehRegistration,DocPAI,"
                "DOCCabCard) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                {v,
                 contractOf(),
                 "Unit " + std::to_string(100 + v),
                 std::string(vin),
                 std::to_string(uniform(2012, 2026)),
                 pick(kMakes),
                 pick(kModels),
                 chance(0.03) ? 1 : 0,
                 chance(0.05) ? 1 : 0,
                 dueDate(),
                 dueDate(),
                 tanker ? 1 : 0,
                 tanker ? dueDate() : Value(),
                 tanker ? 1 : 0,
                 tanker ? dueDate() : Value(),
                 tanker ? 1 : 0,
                 tanker ? dueDate() : Value(),
                 tanker ? 1 : 0,
                 tanker ? dueDate() : Value(),
                 tanker ? 1 : 0,
                 tanker ? dueDate() : Value(),
                 otherEnabled ? dueDate() : Value(),
                 otherEnabled ? Value("Annual brake certification") : Value(),
                 otherEnabled ? 1 : 0,
                 chance(0.8) ? 1 : 0,
                 chance(0.8) ? 1 : 0,
                 chance(0.8) ? 1 : 0,
                 chance(0.8) ? 1 : 0});
        }
    }

    void drivers() {
        static constexpr std::array<const char*, 12> kFirst = {
            "John",  "Maria", "Luis",  "Kevin", "Anna",   "Samuel",
            "Grace", "Omar",  "Betty", "Raj",   "Hannah", "Victor"};
        static constexpr std::array<const char*, 12> kLast = {
            "Smith",  "Rodriguez", "O'Brien", "Kowalski", "Nguyen",  "Fischer",
            "Haddad", "Brown",     "Jackson", "Müller",   "Ivanova", "Thompson"};
        for (int d = 1; d <= scale_.drivers; ++d) {
            const bool cdl = chance(0.8);
            exec(
                "INSERT INTO Driver (ID,ContractID,LastName,FirstName,MiddleName,Suffix,"
                "Terminated,Suspended,ApplicantOnly,DAOnly,CDL,CDLSuspended,PassportExpire,"
                "PassportExpiration,DLExpire,MCExpire,MCMVRExpire,MVRExpire,COVExpire,TWIC,"
                "TWICExpiration,H,N,HazmatTrainingExpiration,AnnualDashExpire,PreEmp,DocMVR,"
                "DocMedCard,DocCopyOfDL,docPreEmpDachQuery) "
                "VALUES (?,?,?,?,?,?,?,0,?,?,?,0,?,?,?,?,?,?,?,?,?,?,?,?,?,1,?,?,?,?)",
                {d,
                 contractOf(),
                 pick(kLast),
                 pick(kFirst),
                 chance(0.5) ? Value("A") : Value(""),
                 chance(0.1) ? Value("Jr.") : Value(),
                 chance(0.05) ? 1 : 0,
                 chance(0.03) ? 1 : 0,
                 chance(0.03) ? 1 : 0,
                 cdl ? 1 : 0,
                 chance(0.2) ? 1 : 0,
                 dueDate(0.5),
                 dueDate(),
                 dueDate(),
                 cdl ? dueDate() : Value(),
                 dueDate(),
                 dueDate(),
                 chance(0.3) ? 1 : 0,
                 dueDate(0.6),
                 chance(0.3) ? 1 : 0,
                 chance(0.3) ? 1 : 0,
                 dueDate(0.6),
                 cdl ? dueDate() : Value(),
                 chance(0.9) ? 1 : 0,
                 chance(0.9) ? 1 : 0,
                 chance(0.9) ? 1 : 0,
                 chance(0.9) ? 1 : 0});
        }
    }

    void drugTests() {
        static constexpr std::array<const char*, 10> kStatus = {
            "Scheduled", "Scheduled", "Scheduled", "Scheduled",  "Scheduled",
            "Scheduled", "Scheduled", "Scheduled", "Not Tested", "Refusal"};
        for (int t = 1; t <= scale_.drugTests; ++t) {
            const int driver = uniform(1, std::max(1, scale_.drivers));
            const bool completed = chance(0.4);
            exec(
                "INSERT INTO DrugAlcoholTest (ContractID,DriverID,DriverName,TestTypeID,TestDate,"
                "DueDate,Completed,Status,CCF,Results) VALUES (?,?,?,?,?,?,?,?,?,?)",
                {contractOf(), driver, "Driver #" + std::to_string(driver),
                 chance(0.02) ? Value() : Value(uniform(1, 6)),
                 Value(today_.addDays(uniform(-90, 0))), dueDate(0.0), completed ? 1 : 0,
                 completed ? "Negative" : pick(kStatus), chance(0.8) ? 1 : 0, chance(0.8) ? 1 : 0});
        }
    }

    void inspectionsAndAccidents() {
        for (int i = 1; i <= scale_.inspections; ++i) {
            exec(
                "INSERT INTO RoadsideInspection (ContractID,DriverName,InspectionDate,HaveCopy,"
                "CopyUnobtainable,EvidenceOfRepair) VALUES (?,?,?,?,?,?)",
                {contractOf(), "Driver #" + std::to_string(uniform(1, std::max(1, scale_.drivers))),
                 Value(today_.addDays(uniform(-200, -1))), chance(0.6) ? 1 : 0, chance(0.1) ? 1 : 0,
                 chance(0.5) ? 1 : 0});
        }
        for (int a = 1; a <= scale_.accidents; ++a) {
            exec(
                "INSERT INTO Accident (ContractID,AccidentDate,Description,AccidentReport,"
                "Recordable) VALUES (?,?,?,?,?)",
                {contractOf(), Value(today_.addDays(uniform(-300, -1))), "Minor collision in yard",
                 chance(0.5) ? 1 : 0, chance(0.6) ? 1 : 0});
        }
        for (int c = 1; c <= scale_.contracts; ++c) {
            exec("INSERT INTO SafetyScore (ContractID,ScoreDate,Category,Score) VALUES (?,?,?,?)",
                 {c, Value(today_.addDays(-uniform(1, 60))), "Unsafe Driving",
                  uniform(10, 90) * 1.0});
        }
    }

    void registrationDocs() {
        for (int r = 1; r <= scale_.registrationDocs; ++r) {
            exec(
                "INSERT INTO RegistrationDoc (ContractID,TypeID,DocNumber,ExpDate) "
                "VALUES (?,?,?,?)",
                {contractOf(), uniform(1, 5), "RD-" + std::to_string(10000 + r), dueDate()});
        }
    }

    void trainings() {
        for (int t = 1; t <= scale_.trainings; ++t) {
            exec(
                "INSERT INTO Training (ContractID,DriverID,TopicID,TrainingDate,ExpireDate,"
                "Expires) VALUES (?,?,?,?,?,?)",
                {contractOf(), uniform(1, std::max(1, scale_.drivers)), uniform(1, 6),
                 Value(today_.addDays(-uniform(200, 700))), dueDate(0.0), chance(0.85) ? 1 : 0});
        }
    }

    // What earlier runs and people left behind: issues to close, duplicates, orphans, aged
    // safety-score issues and notification records.
    void history() {
        const DateTime now = DateTime::nowLocal();
        if (scale_.vehicles >= 2 && scale_.drivers >= 2) {
            // A renewed inspection date: its open issue closes on the first run.
            exec("UPDATE Vehicle SET PAIDue=?,NotInService=0,Suspended=0 WHERE ID=1",
                 {today_.addDays(200)});
            issue(1, "Vehicle", 1, "PAI Due", today_.addDays(-10), "Open", "AUTO SERVER",
                  now.addDays(-12));
            // A vehicle taken out of service: its issue closes through its exclusion.
            exec("UPDATE Vehicle SET NotInService=1 WHERE ID=2");
            issue(1, "Vehicle", 2, "Tag Expiration", today_.addDays(3), "Open", "AUTO SERVER",
                  now.addDays(-4));
            // A document now on file.
            exec("UPDATE Driver SET DocMVR=1,Terminated=0 WHERE ID=1");
            issue(1, "Driver", 1, "Document:MVR", today_, "Open", "AUTO SERVER", now.addDays(-20));
            // Two copies of one open issue: the older one closes.
            issue(1, "Driver", 2, "Document:Med Card", today_, "Open", "clerk", now.addDays(-9));
            issue(1, "Driver", 2, "Document:Med Card", today_, "Open", "clerk", now.addDays(-8));
        }
        // Something due in every kind of record, whatever the random draw gave.
        if (scale_.vehicles >= 3 && scale_.drivers >= 5 && scale_.drugTests >= 1 &&
            scale_.registrationDocs >= 1 && scale_.trainings >= 1) {
            exec("UPDATE ServiceContract SET Status='Active',HazmatExpirationDate=? WHERE ID=1",
                 {today_.addDays(10)});
            exec("UPDATE Customer SET Hasmat=1 WHERE ID=1");
            exec("UPDATE Vehicle SET ContractID=1,PAIDue=?,Suspended=0,NotInService=0 WHERE ID=3",
                 {today_.addDays(5)});
            exec(
                "UPDATE Driver SET ContractID=1,DLExpire=?,Terminated=0,Suspended=0,"
                "ApplicantOnly=0,DAOnly=0 WHERE ID IN (4,5)",
                {today_.addDays(3)});
            exec(
                "UPDATE DrugAlcoholTest SET ContractID=1,DueDate=?,Completed=0,"
                "Status='Scheduled',TestTypeID=1 WHERE ID=1",
                {today_.addDays(2)});
            exec("UPDATE RegistrationDoc SET ContractID=1,ExpDate=? WHERE ID=1",
                 {today_.addDays(4)});
            exec("UPDATE Training SET ContractID=1,DriverID=5,ExpireDate=?,Expires=1 WHERE ID=1",
                 {today_.addDays(6)});
        }
        // The issue of a driver since deleted, and an aged safety-score issue.
        issue(1, "Driver", scale_.drivers + 1000, "DL Expire", today_.addDays(-40), "Open",
              "AUTO SERVER", now.addDays(-45));
        issue(1, "Safety Score", 1, "Safety Score: Unsafe Driving", today_.addDays(-40), "Open",
              "AUTO SERVER", now.addDays(-35));

        static constexpr std::array<const char*, 6> kItems = {
            "PAI Due",        "DL Expire", "MC Expire", "Tag Expiration", "Drug/Alcohol Test Due",
            "Training Expire"};
        static constexpr std::array<const char*, 6> kCategories = {
            "Vehicle", "Driver", "Driver", "Vehicle", "Drug & Alcohol Test", "Training"};
        for (int i = 0; i < scale_.existingIssues; ++i) {
            const auto k = static_cast<std::size_t>(uniform(0, 5));
            issue(contractOf(), kCategories[k], uniform(1, std::max(1, scale_.vehicles)), kItems[k],
                  today_.addDays(-uniform(30, 700)), chance(0.9) ? "Closed" : "Open",
                  chance(0.8) ? "AUTO SERVER" : "clerk", now.addDays(-uniform(30, 700)));
        }
        for (int i = 0; i < scale_.notificationRecords; ++i) {
            const auto k = static_cast<std::size_t>(uniform(0, 5));
            exec(
                "INSERT INTO AutomationServer_Emails (EmailDate,Category,Item,ItemID,ItemKey,"
                "ContractManager,ContractSpecialist,Client) VALUES (?,?,?,?,?,1,0,0)",
                {now.addDays(-uniform(30, 700)), kCategories[k], kItems[k],
                 uniform(1, std::max(1, scale_.vehicles)), today_.addDays(-uniform(30, 700))});
        }
    }

    void awkwardRows() {
        // A contract of Nulls, a manager without an e-mail, a row of Nulls in each table but the
        // contract it belongs to.
        exec("INSERT INTO Customer (Name) VALUES (NULL)");
        exec("INSERT INTO Employee (FirstName) VALUES (NULL)");
        exec(
            "INSERT INTO ServiceContract (CustomerID,ContractManagerID,Status) VALUES "
            "((SELECT MAX(ID) FROM Customer),(SELECT MAX(ID) FROM Employee),'Active')");
        for (const char* table :
             {"Vehicle", "Driver", "DrugAlcoholTest", "Training", "RegistrationDoc",
              "RoadsideInspection", "Accident", "SafetyScore", "Issues"}) {
            for (const char* contract : {"1", "(SELECT MAX(ID) FROM ServiceContract)"}) {
                db_.execute(std::string("INSERT INTO ") + table + " (ContractID) VALUES (" +
                            contract + ")");
            }
        }
        exec("INSERT INTO AutomationServer_Alert (Item) VALUES (NULL)");
        // Each awkward date in every dated column, on the due contract, with awkward texts.
        std::string longText = "Brake cert. \xE2\x80\x93 Zo\xC3\xAB's \xE2\x9C\x93 ";
        while (longText.size() < 5000) {
            longText += "O'Brien \xF0\x9D\x84\x9E M\xC3\xBCller; ";
        }
        DateTime lastSecond = today_.addDays(4);
        lastSecond.hour = 23;
        lastSecond.minute = 59;
        lastSecond.second = 59;
        const DateTime dates[] = {DateTime::fromDate(2028, 2, 29),
                                  DateTime::fromDate(2000, 2, 29),
                                  today_.addDays(2),
                                  lastSecond,
                                  today_.addDays(-3),
                                  DateTime::fromDate(1753, 1, 1),
                                  DateTime{9999, 12, 31, 23, 59, 59}};
        for (const DateTime& d : dates) {
            exec(
                "INSERT INTO Vehicle (ContractID,Unit,VIN,Make,PAIDue,TagExpiration,TankerVExpire,"
                "TankerVExpireDate,OtherDate,OtherDateDesc,OtherDateEnabled) "
                "VALUES (1,?,NULL,?,?,?,1,?,?,?,1)",
                {"Unit \xE2\x80\x9C" + d.toIso() + "\xE2\x80\x9D", "O'Kane", d, d, d, d, longText});
            exec(
                "INSERT INTO Driver (ContractID,LastName,FirstName,CDL,DLExpire,MCExpire,"
                "MVRExpire,PassportExpire,PassportExpiration,HazmatTrainingExpiration,H) "
                "VALUES (1,?,?,1,?,?,?,1,?,?,1)",
                {"D'Arcy-M\xC3\xBCller", longText, d, d, d, d, d});
            exec(
                "INSERT INTO DrugAlcoholTest (ContractID,DriverID,DriverName,TestTypeID,DueDate,"
                "Completed,Status) VALUES (1,NULL,?,1,?,0,'Scheduled')",
                {longText, d});
            exec(
                "INSERT INTO RegistrationDoc (ContractID,TypeID,DocNumber,ExpDate) "
                "VALUES (1,NULL,?,?)",
                {"RD-'\xC3\xB1'", d});
            exec(
                "INSERT INTO Training (ContractID,DriverID,TopicID,ExpireDate,Expires) "
                "VALUES (1,NULL,NULL,?,1)",
                {d});
        }
    }

    void issue(int contract, const char* category, int itemId, const char* item,
               const DateTime& due, const char* status, const char* enteredBy,
               const DateTime& entered) {
        exec(
            "INSERT INTO Issues (ContractID,Category,ItemID,ItemDesc,IssueDate,DueDate,"
            "Description,Status,Priority,EnteredBy,EnteredDate,EditedBy,EditedDate,AUTO_Item,"
            "Auto_Date) VALUES (?,?,?,?,?,?,?,?,'Medium',?,?,?,?,?,?)",
            {contract, category, itemId, std::string(item) + " #" + std::to_string(itemId),
             entered.date(), due, std::string("(AUTO ISSUE) ") + item, status, enteredBy, entered,
             enteredBy, entered, item, due});
    }

    db::Database& db_;
    DemoScale scale_;
    std::mt19937 random_;
    DateTime today_;
};

}  // namespace

DemoScale DemoScale::small() {
    return DemoScale{};
}
DemoScale DemoScale::large() {
    return largeScale();
}

DemoScale DemoScale::scaled(double factor) {
    const DemoScale big = largeScale();
    auto times = [factor](int n) { return std::max(1, static_cast<int>(n * factor)); };
    DemoScale s;
    s.contracts = times(big.contracts);
    s.vehicles = times(big.vehicles);
    s.drivers = times(big.drivers);
    s.drugTests = times(big.drugTests);
    s.trainings = times(big.trainings);
    s.registrationDocs = times(big.registrationDocs);
    s.inspections = times(big.inspections);
    s.accidents = times(big.accidents);
    s.existingIssues = times(big.existingIssues);
    s.notificationRecords = times(big.notificationRecords);
    return s;
}

void GenerateDemoDatabase(const std::filesystem::path& file, const DemoScale& scale,
                          const DemoMail& mail) {
    db::createSchemaDatabase(file);
    db::Database database("sqlite:" + std::filesystem::absolute(file).string(), {});
    if (!database.OpenDatabase()) {
        throw std::runtime_error("Cannot open the new database: " + database.lastOpenError());
    }
    database.beginTransaction();
    Generator(database, scale).run(mail);
    database.commitTransaction();
    database.CloseDatabase();
}

}  // namespace fas::tools
