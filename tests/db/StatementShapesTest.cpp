// Runs every shape of statement the server issues on the embedded engine, with the catalog's
// own fragments, and checks the rows that come back or change. A statement that parses but
// returns the wrong rows is the fault these tests are here to catch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "db/DateTime.h"
#include "support/TestDatabase.h"

namespace fas::db {
namespace {

const char* const kV1 = "Vehicle.Unit + ' | ' + RIGHT(VIN,6) + ' | ' + UnitYear + ' ' + Make";
const char* const kD1 =
    "'Driver: ' + Driver.LastName + ', ' + Driver.FirstName + ' ' + Driver.MiddleName + ' ' + "
    "ISNULL(Driver.Suffix,'')";
const char* const kT1 = "'Driver: ' + DrugAlcoholTest.DriverName";
const char* const kRegDoc =
    "(SELECT CASE WHEN Description<>'' THEN Name+' : '+Description ELSE Name END FROM "
    "RegistrationDocType WHERE ID=RegistrationDoc.TypeID)";
const char* const kCV = " AND Vehicle.Suspended=0 AND Vehicle.NotInService=0";
const char* const kCD =
    " AND ISNULL(Driver.Terminated,0)=0 AND ISNULL(Driver.Suspended,0)=0 AND "
    "ISNULL(Driver.ApplicantOnly,0)=0 AND ISNULL(Driver.DAOnly,0)=0";
const char* const kXD = " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1)";
const char* const kPDDocMVR =
    " (Driver.Terminated=1 OR Driver.ApplicantOnly=1 OR Driver.DAOnly=1 OR Driver.DocMVR=1)";

std::string iso(const DateTime& d) {
    return d.toIso();
}

class StatementShapes : public ::testing::Test {
  protected:
    void SetUp() override {
        today = DateTime::todayLocal();
        s.exec("INSERT INTO Customer (ID,Name,Hasmat) VALUES (1,'Acme Haulage',1),(2,'Idle Co',0)");
        s.exec(
            "INSERT INTO Employee (ID,Email) VALUES (1,'manager@acme.test'),"
            "(2,'b.specialist@acme.test'),(3,''),(4,'a.specialist@acme.test'),(5,NULL)");
        s.exec(
            "INSERT INTO ServiceContract (ID,CustomerID,ContractManagerID,Status,"
            "DisableEmailNotifications,EmailVehicle,HazmatExpirationDate) "
            "VALUES (1,1,1,'Active',0,'fleet@acme.test',?),(2,2,1,'Inactive',0,NULL,NULL)",
            {today.addDays(5)});
        s.exec(
            "INSERT INTO ServiceContractSpecialist (ServiceContractID,EmployeeID) "
            "VALUES (1,2),(1,3),(1,4),(1,5)");
        // Vehicle 10 due in 10 days, 11 due in 40 days, 12 out of service, 13 on an inactive
        // contract.
        s.exec(
            "INSERT INTO Vehicle (ID,ContractID,Unit,VIN,UnitYear,Make,Suspended,NotInService,"
            "PAIDue) VALUES (10,1,'T-10','1FUJGLDR12LM81234','2019','Freightliner',0,0,?),"
            "(11,1,'T-11','1FUJGLDR12LM85555','2020','Volvo',0,0,?),"
            "(12,1,'T-12','1FUJGLDR12LM89999','2018','Mack',0,1,?),"
            "(13,2,'T-13','1FUJGLDR12LM80000','2017','Kenworth',0,0,?)",
            {today.addDays(10), today.addDays(40), today.addDays(3), today.addDays(1)});
        s.exec(
            "INSERT INTO Driver (ID,ContractID,LastName,FirstName,MiddleName,Suffix,Terminated,"
            "Suspended,ApplicantOnly,DAOnly,DLExpire,DocMVR) VALUES "
            "(20,1,'Smith','John','Q',NULL,0,0,0,NULL,?,0),"
            "(21,1,'Jones','Mary','',NULL,1,0,0,0,?,0),"
            "(22,1,'Brown','Al','B','Jr.',0,0,0,0,?,1)",
            {today.addDays(2), today.addDays(2), today.addDays(60)});
    }

    std::vector<std::int64_t> ids(Recordset rs, const char* column) {
        std::vector<std::int64_t> out;
        for (; !rs.eof(); rs.moveNext()) {
            out.push_back(rs.int64(column));
        }
        return out;
    }

    test::OpenState s;
    DateTime today;
};

TEST_F(StatementShapes, CompanyAndAlertLookups) {
    s.exec("INSERT INTO Company (Name,AutomationServerPoll) VALUES ('First',5),('Second',7)");
    Recordset company = s.db().query("SELECT TOP 1 * FROM Company");
    EXPECT_EQ(company.rowCount(), 1u);
    s.exec(
        "INSERT INTO AutomationServer_Alert (Item,Category,DaysInAdvance) VALUES "
        "('PAI Due','Vehicle',30),('pai due','Vehicle',99),('DL Expire','Driver',14)");
    Recordset alert =
        s.db().query("SELECT * FROM AutomationServer_Alert WHERE Item = ?", {"PAI Due"});
    // Texts compare as SQL Server's default collation does: without regard to case.
    EXPECT_EQ(alert.rowCount(), 2u);
    EXPECT_EQ(alert.int32("DaysInAdvance"), 30);
}

TEST_F(StatementShapes, NotifyQueryWithDescriptionConditionAndPreviousNotifications) {
    const std::string sql =
        std::string("SELECT Vehicle.*,") + kV1 +
        " AS tmpDescField,ServiceContract.PrimaryContactEmail AS CustomerEmail,Customer.Name AS "
        "CustomerName,Employee.Email AS ContractManagerEmail,ISNULL(PrevEmails.EmailID,0) AS "
        "EmailID,ServiceContract.ID AS ContactID  FROM Vehicle LEFT JOIN ServiceContract ON "
        "Vehicle.ContractID = ServiceContract.ID LEFT JOIN Customer ON ServiceContract.CustomerID "
        "= Customer.ID  LEFT JOIN Employee ON ServiceContract.ContractManagerID = Employee.ID  "
        "LEFT JOIN (SELECT ID AS EmailID,ItemID,ItemKey FROM AutomationServer_Emails WHERE "
        "Category = ? AND Item = ?) PrevEmails ON Vehicle.ID=PrevEmails.ItemID AND "
        "ABS(DATEDIFF(MINUTE, PrevEmails.ItemKey, Vehicle.PAIDue))<2 WHERE "
        "ServiceContract.DisableEmailNotifications<>1 AND ServiceContract.Status='Active' AND "
        "Vehicle.PAIDue <= ?" +
        kCV;
    const Params params{"Vehicle", "PAI Due", today.addDays(30)};

    Recordset rs = s.db().query(sql, params);
    ASSERT_EQ(rs.rowCount(), 1u) << "only vehicle 10 is due, in service, on an active contract";
    EXPECT_EQ(rs.int64("ID"), 10);
    EXPECT_EQ(rs.text("tmpDescField"), "T-10 | M81234 | 2019 Freightliner");
    EXPECT_EQ(rs.text("CustomerName"), "Acme Haulage");
    EXPECT_EQ(rs.text("ContractManagerEmail"), "manager@acme.test");
    EXPECT_EQ(rs.int64("EmailID"), 0);
    EXPECT_EQ(rs.dateTime("PAIDue"), today.addDays(10));

    // A notification one minute away from the date counts as already sent; three minutes
    // away does not.
    s.exec(
        "INSERT INTO AutomationServer_Emails (ID,Category,Item,ItemID,ItemKey) VALUES "
        "(7,'Vehicle','PAI Due',10,?)",
        {today.addDays(10).addSeconds(180)});
    EXPECT_EQ(s.db().query(sql, params).int64("EmailID"), 0);
    s.exec("UPDATE AutomationServer_Emails SET ItemKey=? WHERE ID=7",
           {today.addDays(10).addSeconds(-60)});
    EXPECT_EQ(s.db().query(sql, params).int64("EmailID"), 7);

    // The limit is midnight of the limit day: a time of day on that day is beyond it.
    s.exec("UPDATE Vehicle SET PAIDue=? WHERE ID=11", {today.addDays(30)});
    EXPECT_EQ(s.db().query(sql, params).rowCount(), 2u);
    s.exec("UPDATE Vehicle SET PAIDue=? WHERE ID=11", {today.addDays(30).addSeconds(36000)});
    EXPECT_EQ(s.db().query(sql, params).rowCount(), 1u);
    s.exec("UPDATE Vehicle SET PAIDue=? WHERE ID=11", {iso(today.addDays(30)).substr(0, 10)});
    EXPECT_EQ(s.db().query(sql, params).rowCount(), 2u) << "date-only text at the limit";
}

TEST_F(StatementShapes, IssueQueryMatchesAnEarlierIssueOfTheSameCalendarDay) {
    const std::string sql =
        std::string("SELECT Driver.*,") + kD1 +
        " AS tmpDescField,ServiceContract.PrimaryContactEmail AS CustomerEmail,Customer.Name AS "
        "CustomerName,Employee.Email AS ContractManagerEmail,ISNULL(tmpIssue.IssueID,0) AS "
        "IssueID  FROM Driver LEFT JOIN ServiceContract ON Driver.ContractID = "
        "ServiceContract.ID LEFT JOIN Customer ON ServiceContract.CustomerID = Customer.ID LEFT "
        "JOIN Employee ON ServiceContract.ContractManagerID = Employee.ID  LEFT JOIN (SELECT ID "
        "AS IssueID,AUTO_Date,ItemID FROM Issues WHERE EnteredBy = 'AUTO SERVER' AND AUTO_Item "
        "= ?) tmpIssue ON Driver.ID=tmpIssue.ItemID AND "
        "CONVERT(VARCHAR,Driver.DLExpire,101)=CONVERT(VARCHAR,tmpIssue.AUTO_Date,101) WHERE "
        "ServiceContract.Status='Active' AND Driver.DLExpire <= ?" +
        kCD;
    const Params params{"DL Expire", today.addDays(14)};
    Recordset rs = s.db().query(sql, params);
    ASSERT_EQ(rs.rowCount(), 1u) << "Jones is terminated, Brown is not due";
    EXPECT_EQ(rs.text("tmpDescField"), "Driver: Smith, John Q ");
    EXPECT_EQ(rs.int64("IssueID"), 0);

    // A closed automatic issue raised for the same day at another time still matches.
    s.exec(
        "INSERT INTO Issues (ID,ItemID,EnteredBy,AUTO_Item,Status,Auto_Date) VALUES "
        "(90,20,'AUTO SERVER','DL Expire','Closed',?)",
        {today.addDays(2).addSeconds(8 * 3600)});
    EXPECT_EQ(s.db().query(sql, params).int64("IssueID"), 90);
    s.exec("UPDATE Issues SET Auto_Date=? WHERE ID=90", {today.addDays(3)});
    EXPECT_EQ(s.db().query(sql, params).int64("IssueID"), 0);
}

TEST_F(StatementShapes, AutoCloseAndClosingPassQueries) {
    s.exec(
        "INSERT INTO Issues (ID,ItemID,EnteredBy,AUTO_Item,Status) VALUES "
        "(1,10,'AUTO SERVER','PAI Due','Open'),(2,11,'AUTO SERVER','PAI Due','Open'),"
        "(3,11,'someone','PAI Due','Open'),(4,999,'AUTO SERVER','PAI Due','Open'),"
        "(5,21,'AUTO SERVER','DL Expire','Open'),(6,22,'AUTO SERVER','Document:MVR','Open'),"
        "(7,20,'AUTO SERVER','Document:MVR','Open')");
    const std::string head =
        "SELECT Vehicle.*,I1.IssueID FROM (SELECT ID AS IssueID,ItemID FROM Issues WHERE "
        "Status='Open' AND EnteredBy = 'AUTO SERVER' AND AUTO_Item = ?) I1 LEFT JOIN Vehicle ON "
        "I1.ItemID = Vehicle.ID  WHERE ";
    EXPECT_EQ(
        ids(s.db().query(head + "Vehicle.PAIDue > ?", {"PAI Due", today.addDays(14)}), "IssueID"),
        std::vector<std::int64_t>{2});

    const std::string driverHead =
        "SELECT Driver.*,I1.IssueID FROM (SELECT ID AS IssueID,ItemID FROM Issues WHERE "
        "Status='Open' AND EnteredBy = 'AUTO SERVER' AND AUTO_Item = ?) I1 LEFT JOIN Driver ON "
        "I1.ItemID = Driver.ID  WHERE ";
    EXPECT_EQ(ids(s.db().query(driverHead + kXD, {"DL Expire"}), "IssueID"),
              std::vector<std::int64_t>{5});
    EXPECT_EQ(ids(s.db().query(driverHead + kPDDocMVR, {"Document:MVR"}), "IssueID"),
              std::vector<std::int64_t>{6});
    // The issue of a vanished vehicle: every column is Null, so " Vehicle.NotInService=1" fails.
    EXPECT_TRUE(
        ids(s.db().query(head + " Vehicle.NotInService=1", {"PAI Due"}), "IssueID").empty());
}

TEST_F(StatementShapes, CloseNoteAppendsToTheDescription) {
    s.exec(
        "INSERT INTO Issues (ID,Description,Status) VALUES (1,'Tag due','Open'),(2,NULL,'Open')");
    const char* sql =
        "UPDATE Issues SET Description = Description + ?,Status = ?,EditedBy='AUTO "
        "SERVER',EditedDate=? WHERE ID = ?";
    const DateTime now{2026, 12, 4, 18, 48, 34};
    s.exec(sql, {"\r\n\r\n(AUTO CLOSED 12/4/2026 6:48:34 PM)", "Closed", now, 1});
    EXPECT_EQ(s.scalar("SELECT Description FROM Issues WHERE ID=1").asText(),
              "Tag due\r\n\r\n(AUTO CLOSED 12/4/2026 6:48:34 PM)");
    EXPECT_EQ(s.scalar("SELECT Status FROM Issues WHERE ID=1").asText(), "Closed");
    EXPECT_EQ(s.scalar("SELECT EditedDate FROM Issues WHERE ID=1").asDateTime(), now);
}

TEST_F(StatementShapes, RegistrationDocumentDescriptionSubquery) {
    s.exec(
        "INSERT INTO RegistrationDocType (ID,Name,Description) VALUES (1,'IFTA',''),"
        "(2,'IRP','Apportioned plate')");
    s.exec("INSERT INTO RegistrationDoc (ID,ContractID,TypeID,ExpDate) VALUES (1,1,1,?),(2,1,2,?)",
           {today, today});
    Recordset rs = s.db().query(std::string("SELECT RegistrationDoc.*,") + kRegDoc +
                                " AS tmpDescField FROM RegistrationDoc ORDER BY ID");
    ASSERT_EQ(rs.rowCount(), 2u);
    EXPECT_EQ(rs.text("tmpDescField"), "IFTA");
    rs.moveNext();
    EXPECT_EQ(rs.text("tmpDescField"), "IRP : Apportioned plate");
}

TEST_F(StatementShapes, TrainingQueryJoinsDriverAndTopic) {
    s.exec("INSERT INTO TrainingTopic (ID,Name) VALUES (1,'Forklift')");
    s.exec(
        "INSERT INTO Training (ID,ContractID,DriverID,TopicID,ExpireDate,Expires) VALUES "
        "(1,1,20,1,?,1),(2,1,999,1,?,1),(3,1,20,1,?,0)",
        {today, today, today});
    const std::string sql =
        "SELECT Training.*,'Driver: ' + ISNULL(Driver.LastName,'') + ', ' + "
        "ISNULL(Driver.FirstName,'') + ' - ' + TrainingTopic.Name AS "
        "tmpDescField,ServiceContract.PrimaryContactEmail AS CustomerEmail,Customer.Name AS "
        "CustomerName,Employee.Email AS ContractManagerEmail,ISNULL(PrevEmails.EmailID,0) AS "
        "EmailID,ServiceContract.ID AS "
        "ContactID,ISNULL(ServiceContract.EnableDirectDriverNotificationEmails,0) AS "
        "EnableDirectDriverNotificationEmails FROM Training LEFT JOIN ServiceContract ON "
        "Training.ContractID = ServiceContract.ID LEFT JOIN Customer ON ServiceContract.CustomerID "
        "= Customer.ID  LEFT JOIN Employee ON ServiceContract.ContractManagerID = Employee.ID  "
        "LEFT JOIN (SELECT ID AS EmailID,ItemID,ItemKey FROM AutomationServer_Emails WHERE "
        "Category = ? AND Item = ?) PrevEmails ON Training.ID=PrevEmails.ItemID AND "
        "ABS(DATEDIFF(MINUTE, PrevEmails.ItemKey, Training.ExpireDate))<2 LEFT JOIN Driver ON "
        "Training.DriverID = Driver.ID LEFT JOIN TrainingTopic ON "
        "Training.TopicID=TrainingTopic.ID "
        "WHERE ServiceContract.DisableEmailNotifications<>1 AND ServiceContract.Status='Active' "
        "AND Training.ExpireDate <= ? AND ISNULL(Driver.Terminated,0)=0 AND "
        "ISNULL(Driver.Suspended,0)=0 AND ISNULL(Driver.ApplicantOnly,0)=0 AND "
        "ISNULL(Driver.DAOnly,0)=0 AND ISNULL(Training.Expires,0)=1 AND ISNULL(Driver.ID,0)<>0";
    Recordset rs = s.db().query(sql, {"Training", "Training Expire", today.addDays(30)});
    ASSERT_EQ(rs.rowCount(), 1u);
    EXPECT_EQ(rs.int64("ID"), 1);
    EXPECT_EQ(rs.text("tmpDescField"), "Driver: Smith, John - Forklift");
}

TEST_F(StatementShapes, ContractQueryStartsFromTheContract) {
    const std::string sql =
        "SELECT 'HAZMAT Expire' AS tmpDescField,ServiceContract.HazmatExpirationDate,"
        "ServiceContract.PrimaryContactEmail AS CustomerEmail,ServiceContract.ID AS "
        "ContractID,Customer.Name AS CustomerName,Employee.Email AS "
        "ContractManagerEmail,ISNULL(PrevEmails.EmailID,0) AS EmailID  FROM ServiceContract LEFT "
        "JOIN Customer ON ServiceContract.CustomerID = Customer.ID  LEFT JOIN Employee ON "
        "ServiceContract.ContractManagerID = Employee.ID  LEFT JOIN (SELECT ID AS "
        "EmailID,ItemID,ItemKey FROM AutomationServer_Emails WHERE Category = ? AND Item = ?) "
        "PrevEmails ON ServiceContract.ID=PrevEmails.ItemID AND ABS(DATEDIFF(MINUTE, "
        "PrevEmails.ItemKey, ServiceContract.HazmatExpirationDate))<2  WHERE "
        "ServiceContract.Status='Active' AND ServiceContract.HazmatExpirationDate <= ? AND "
        "ServiceContract.Status='Active' AND Customer.Hasmat=1";
    Recordset rs = s.db().query(sql, {"Contract", "HAZMAT Expire", today.addDays(30)});
    ASSERT_EQ(rs.rowCount(), 1u);
    EXPECT_EQ(rs.int64("ContractID"), 1);
    EXPECT_EQ(rs.text("tmpDescField"), "HAZMAT Expire");
}

TEST_F(StatementShapes, RecipientLookups) {
    Recordset specialists = s.db().query(
        "SELECT Email FROM ServiceContractSpecialist LEFT JOIN Employee ON "
        "ServiceContractSpecialist.EmployeeID = Employee.ID WHERE "
        "ServiceContractSpecialist.ServiceContractID = ? ORDER BY Email",
        {1});
    std::vector<std::string> emails;
    for (; !specialists.eof(); specialists.moveNext()) {
        emails.push_back(specialists.joined("Email"));
    }
    EXPECT_EQ(emails, (std::vector<std::string>{"", "", "a.specialist@acme.test",
                                                "b.specialist@acme.test"}));

    s.exec("INSERT INTO DrugAlcoholTestType (ID,Name) VALUES (1,'Random'),(2,NULL)");
    const char* typeSql = "SELECT ISNULL(Name,'') AS Name FROM DrugAlcoholTestType WHERE ID = ?";
    EXPECT_EQ(s.db().query(typeSql, {1}).text("Name"), "Random");
    EXPECT_EQ(s.db().query(typeSql, {2}).text("Name"), "");
    EXPECT_TRUE(s.db().query(typeSql, {3}).eof());
}

TEST_F(StatementShapes, DrugTestDescription) {
    s.exec(
        "INSERT INTO DrugAlcoholTest (ID,ContractID,DriverName,DueDate,Completed) VALUES "
        "(1,1,'Smith, John',?,0)",
        {today});
    Recordset rs =
        s.db().query(std::string("SELECT DrugAlcoholTest.*,") + kT1 +
                         " AS tmpDescField FROM DrugAlcoholTest WHERE DrugAlcoholTest.DueDate <= ?"
                         " AND DrugAlcoholTest.Completed=0",
                     {today});
    ASSERT_EQ(rs.rowCount(), 1u);
    EXPECT_EQ(rs.text("tmpDescField"), "Driver: Smith, John");
}

TEST_F(StatementShapes, AgingPassUsesTheDatabaseClock) {
    const DateTime now = DateTime::nowLocal();
    s.exec(
        "INSERT INTO Issues (ID,Status,EnteredBy,AUTO_Item,EnteredDate) VALUES "
        "(1,'Open','AUTO SERVER','Safety Score: Unsafe Driving',?),"
        "(2,'Open','AUTO SERVER','Safety Score: Unsafe Driving',?),"
        "(3,'Open','clerk','Safety Score: Unsafe Driving',?),"
        "(4,'Open','AUTO SERVER','Safety Scores',?)",
        {now.addDays(-31), now.addDays(-29), now.addDays(-31), now.addDays(-31)});
    EXPECT_EQ(ids(s.db().query("SELECT ID FROM Issues WHERE Status='Open' AND EnteredBy = 'AUTO "
                               "SERVER' AND AUTO_Item LIKE 'Safety Score: %' AND "
                               "(DATEADD(day,30,Issues.EnteredDate)<GETDATE())"),
                  "ID"),
              std::vector<std::int64_t>{1});
}

TEST_F(StatementShapes, OrphanPassUpdatesThroughALeftJoin) {
    s.exec(
        "INSERT INTO Issues (ID,Category,ItemID,Status) VALUES (1,'Driver',20,'Open'),"
        "(2,'Driver',999,'Open'),(3,'Driver',NULL,'Non-Resolvable'),(4,'Vehicle',999,'Open')");
    s.exec(
        "UPDATE Issues SET Status='Closed' FROM Issues LEFT JOIN Driver ON "
        "Issues.ItemID=Driver.ID WHERE Issues.Category='Driver' AND Driver.ID IS NULL");
    EXPECT_EQ(ids(s.db().query("SELECT ID FROM Issues WHERE Status='Closed' ORDER BY ID"), "ID"),
              (std::vector<std::int64_t>{2, 3}));
}

TEST_F(StatementShapes, DuplicateQueryListsAllButTheNewestOpenIssue) {
    s.exec(
        "INSERT INTO Issues (ID,ItemID,ItemDesc,ContractID,Category,AUTO_Item,Status) VALUES "
        "(5,1,'d',1,'Driver','DL Expire','Closed'),(10,1,'d',1,'Driver','DL Expire','Open'),"
        "(12,1,'d',1,'Driver','DL Expire','Open'),(13,1,'d',1,'Vehicle','DL Expire','Open'),"
        "(14,1,'d',1,'Vehicle','DL Expire','Open'),(20,NULL,'d',1,'Driver','X','Open'),"
        "(21,NULL,'d',1,'Driver','X','Open')");
    Recordset rs = s.db().query(
        "SELECT Issues.ID FROM Issues LEFT JOIN (SELECT "
        "ItemID,ItemDesc,ContractID,Category,AUTO_Item,count(id) AS RecordCount,max(auto_date) AS "
        "MaxDate,MAX(ID) AS MaxID FROM Issues WHERE Status='Open' GROUP BY "
        "ItemID,ItemDesc,ContractID,Category,AUTO_Item HAVING count(ID)>1) I2 ON "
        "Issues.ItemID=I2.ItemID AND Issues.ItemDesc=I2.ItemDesc AND "
        "Issues.ContractID=I2.ContractID AND Issues.AUTO_Item=I2.AUTO_Item AND "
        "Issues.Category=I2.Category WHERE Issues.Status='Open' AND I2.MaxID IS NOT NULL AND "
        "I2.MaxID<>Issues.ID ORDER BY I2.MaxID,Issues.ID");
    EXPECT_EQ(ids(rs, "ID"), (std::vector<std::int64_t>{10, 13}));
}

TEST_F(StatementShapes, OutboxQueryUpdateLogAndMuteLift) {
    s.exec(
        "INSERT INTO AutomationServer_EmailsSent (ID,EmailTo,EmailBody,EmailSent) VALUES "
        "(5,'r1@x.test','a',0),(7,'r2@x.test','b',0),(9,'r1@x.test','c',0),(11,'',"
        "'d',0),(12,NULL,'e',0),(13,'r1@x.test','f',1)");
    EXPECT_EQ(ids(s.db().query("SELECT * FROM AutomationServer_EmailsSent WHERE EmailSent=0 AND "
                               "EmailTo<>'' ORDER BY EmailTo,ID"),
                  "ID"),
              (std::vector<std::int64_t>{5, 9, 7}));
    const DateTime sent{2026, 12, 4, 18, 48, 35};
    s.exec("UPDATE AutomationServer_EmailsSent SET EmailSent=1,DateSent=? WHERE ID IN (5,9)",
           {sent});
    EXPECT_EQ(s.count("SELECT COUNT(*) FROM AutomationServer_EmailsSent WHERE EmailSent=1 AND "
                      "DateSent=?",
                      {sent}),
              2);

    s.exec(
        "INSERT INTO AutomationServer_Log (LogDate,CountEmails,CountIssues,CountIssuesClose) "
        "VALUES (GETDATE(),?,?,?)",
        {2, 0, 1});
    const DateTime logged = s.scalar("SELECT LogDate FROM AutomationServer_Log").asDateTime();
    EXPECT_LE(std::abs(logged.secondsSinceEpoch() - DateTime::nowLocal().secondsSinceEpoch()), 5);

    const DateTime now = DateTime::nowLocal();
    s.exec(
        "UPDATE ServiceContract SET DisableEmailNotifications=1,EnableNotificationsAtTime=? "
        "WHERE ID=1",
        {now.addSeconds(-60)});
    s.exec(
        "UPDATE ServiceContract SET DisableEmailNotifications=1,EnableNotificationsAtTime=? "
        "WHERE ID=2",
        {now.addSeconds(3600)});
    s.exec(
        "UPDATE ServiceContract SET DisableEmailNotifications=0,EnableNotificationsAtTime=NULL "
        "WHERE NOT EnableNotificationsAtTime IS NULL AND GETDATE()>=EnableNotificationsAtTime");
    EXPECT_EQ(s.count("SELECT DisableEmailNotifications FROM ServiceContract WHERE ID=1"), 0);
    EXPECT_TRUE(
        s.scalar("SELECT EnableNotificationsAtTime FROM ServiceContract WHERE ID=1").isNull());
    EXPECT_EQ(s.count("SELECT DisableEmailNotifications FROM ServiceContract WHERE ID=2"), 1);
}

}  // namespace
}  // namespace fas::db
