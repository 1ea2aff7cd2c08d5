-- Compliance database, embedded engine.
-- Conventions: dates are ISO 8601 text ('2027-03-15' or '2027-03-15 10:30:00'), flags are
-- integers 0/1, identities are INTEGER PRIMARY KEY, texts compare case-insensitively as
-- SQL Server's default collation does.

CREATE TABLE Company (
    ID INTEGER PRIMARY KEY,
    Name TEXT COLLATE NOCASE,
    Address1 TEXT COLLATE NOCASE,
    Address2 TEXT COLLATE NOCASE,
    City TEXT COLLATE NOCASE,
    State TEXT COLLATE NOCASE,
    Zip TEXT COLLATE NOCASE,
    Phone TEXT COLLATE NOCASE,
    Fax TEXT COLLATE NOCASE,
    Email TEXT COLLATE NOCASE,
    Website TEXT COLLATE NOCASE,
    AutomationServerPoll INTEGER,
    AutomationServerEmailFrom TEXT COLLATE NOCASE,
    AutomationServerEmailServer TEXT COLLATE NOCASE,
    AutomationServerEmailServerPort TEXT COLLATE NOCASE,
    AutomationServerEmailUser TEXT COLLATE NOCASE,
    AutomationServerEmailPassword TEXT,
    AutomationServerEmailUseSSLTLS INTEGER,
    AutomationServerEmailFooter TEXT COLLATE NOCASE
);

CREATE TABLE AutomationServer_Alert (
    ID INTEGER PRIMARY KEY,
    Item TEXT COLLATE NOCASE,
    Category TEXT COLLATE NOCASE,
    EmailContractManager INTEGER,
    EmailContractSpecialist INTEGER,
    EmailClient INTEGER,
    DaysInAdvance INTEGER,
    CreateIssue INTEGER,
    CreateIssueDaysInAdvance INTEGER,
    IssuePriority TEXT COLLATE NOCASE,
    AutoCloseIssue INTEGER
);
CREATE INDEX IX_AutomationServer_Alert_Item ON AutomationServer_Alert (Item);

CREATE TABLE Issues (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    Category TEXT COLLATE NOCASE,
    ItemID INTEGER,
    ItemDesc TEXT COLLATE NOCASE,
    IssueDate DATETIME,
    DueDate DATETIME,
    Description TEXT COLLATE NOCASE,
    Status TEXT COLLATE NOCASE,
    Priority TEXT COLLATE NOCASE,
    EnteredBy TEXT COLLATE NOCASE,
    EnteredDate DATETIME,
    EditedBy TEXT COLLATE NOCASE,
    EditedDate DATETIME,
    AUTO_Item TEXT COLLATE NOCASE,
    Auto_Date DATETIME
);
CREATE INDEX IX_Issues_Auto ON Issues (AUTO_Item, EnteredBy, Status, ItemID);
CREATE INDEX IX_Issues_ItemID ON Issues (ItemID, Category);
CREATE INDEX IX_Issues_Status ON Issues (Status);
CREATE INDEX IX_Issues_ContractID ON Issues (ContractID);

CREATE TABLE AutomationServer_EmailsSent (
    ID INTEGER PRIMARY KEY,
    EmailFrom TEXT COLLATE NOCASE,
    EmailFromName TEXT COLLATE NOCASE,
    EmailTo TEXT COLLATE NOCASE,
    EmailSubject TEXT COLLATE NOCASE,
    EmailBody TEXT COLLATE NOCASE,
    EmailSent INTEGER DEFAULT 0,
    DateSent DATETIME
);
CREATE INDEX IX_EmailsSent_Pending ON AutomationServer_EmailsSent (EmailSent, EmailTo, ID);

CREATE TABLE AutomationServer_Emails (
    ID INTEGER PRIMARY KEY,
    EmailDate DATETIME,
    Category TEXT COLLATE NOCASE,
    Item TEXT COLLATE NOCASE,
    ItemID INTEGER,
    ItemKey DATETIME,
    ContractManager INTEGER,
    ContractSpecialist INTEGER,
    Client INTEGER
);
CREATE INDEX IX_Emails_Item ON AutomationServer_Emails (Item, Category, ItemID);

CREATE TABLE AutomationServer_Log (
    ID INTEGER PRIMARY KEY,
    LogDate DATETIME,
    CountEmails INTEGER,
    CountIssues INTEGER,
    CountIssuesClose INTEGER
);

CREATE TABLE Customer (
    ID INTEGER PRIMARY KEY,
    Name TEXT COLLATE NOCASE,
    Hasmat INTEGER DEFAULT 0
);

CREATE TABLE Employee (
    ID INTEGER PRIMARY KEY,
    FirstName TEXT COLLATE NOCASE,
    LastName TEXT COLLATE NOCASE,
    Email TEXT COLLATE NOCASE
);

CREATE TABLE ServiceContract (
    ID INTEGER PRIMARY KEY,
    CustomerID INTEGER,
    ContractManagerID INTEGER,
    PrimaryContactEmail TEXT COLLATE NOCASE,
    Status TEXT COLLATE NOCASE,
    DisableEmailNotifications INTEGER DEFAULT 0,
    EnableNotificationsAtTime DATETIME,
    EnableDirectDriverNotificationEmails INTEGER DEFAULT 0,
    EmailVehicle TEXT COLLATE NOCASE,
    EmailDriver TEXT COLLATE NOCASE,
    EmailAccident TEXT COLLATE NOCASE,
    EmailRoadsideInspection TEXT COLLATE NOCASE,
    EmailDrugAlcohol TEXT COLLATE NOCASE,
    EmailRegistrationDoc TEXT COLLATE NOCASE,
    EmailSafetyScore TEXT COLLATE NOCASE,
    EmailContract TEXT COLLATE NOCASE,
    emailTraining TEXT COLLATE NOCASE,
    HazmatExpirationDate DATETIME,
    MCS150UpdateDue DATETIME
);
CREATE INDEX IX_ServiceContract_CustomerID ON ServiceContract (CustomerID);
CREATE INDEX IX_ServiceContract_Mute ON ServiceContract (EnableNotificationsAtTime);

CREATE TABLE ServiceContractSpecialist (
    ID INTEGER PRIMARY KEY,
    ServiceContractID INTEGER,
    EmployeeID INTEGER
);
CREATE INDEX IX_ServiceContractSpecialist_ContractID ON ServiceContractSpecialist (ServiceContractID);

CREATE TABLE Vehicle (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    Unit TEXT COLLATE NOCASE,
    VIN TEXT COLLATE NOCASE,
    UnitYear TEXT COLLATE NOCASE,
    Make TEXT COLLATE NOCASE,
    Model TEXT COLLATE NOCASE,
    Suspended INTEGER DEFAULT 0,
    NotInService INTEGER DEFAULT 0,
    PAIDue DATETIME,
    TagExpiration DATETIME,
    TankerVExpire INTEGER DEFAULT 0,
    TankerVExpireDate DATETIME,
    TankerKExpire INTEGER DEFAULT 0,
    TankerKExpireDate DATETIME,
    TankerIExpire INTEGER DEFAULT 0,
    TankerIExpireDate DATETIME,
    TankerPExpire INTEGER DEFAULT 0,
    TankerPExpireDate DATETIME,
    TankerEExpire INTEGER DEFAULT 0,
    TankerEExpireDate DATETIME,
    OtherDate DATETIME,
    OtherDateDesc TEXT COLLATE NOCASE,
    OtherDateEnabled INTEGER DEFAULT 0,
    DocPreventativeMaintSchedule INTEGER DEFAULT 0,
    DocVehRegistration INTEGER DEFAULT 0,
    DocPAI INTEGER DEFAULT 0,
    DOCCabCard INTEGER DEFAULT 0
);
CREATE INDEX IX_Vehicle_ContractID ON Vehicle (ContractID);

CREATE TABLE Driver (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    LastName TEXT COLLATE NOCASE,
    FirstName TEXT COLLATE NOCASE,
    MiddleName TEXT COLLATE NOCASE,
    Suffix TEXT COLLATE NOCASE,
    Terminated INTEGER DEFAULT 0,
    Suspended INTEGER DEFAULT 0,
    ApplicantOnly INTEGER DEFAULT 0,
    DAOnly INTEGER DEFAULT 0,
    CDL INTEGER DEFAULT 0,
    CDLSuspended INTEGER DEFAULT 0,
    PassportExpire INTEGER DEFAULT 0,
    PassportExpiration DATETIME,
    DLExpire DATETIME,
    MCExpire DATETIME,
    MCMVRExpire DATETIME,
    MVRExpire DATETIME,
    COVExpire DATETIME,
    TWIC INTEGER DEFAULT 0,
    TWICExpiration DATETIME,
    H INTEGER DEFAULT 0,
    N INTEGER DEFAULT 0,
    HazmatTrainingExpiration DATETIME,
    OtherDate DATETIME,
    OtherDateDesc TEXT COLLATE NOCASE,
    OtherDateEnabled INTEGER DEFAULT 0,
    AnnualDashExpire DATETIME,
    PreEmp INTEGER DEFAULT 0,
    DocApplication INTEGER DEFAULT 0,
    DocEntryLevelTraining INTEGER DEFAULT 0,
    DocPrevEmployerRequest INTEGER DEFAULT 0,
    DocPreEmployDrugTestResults INTEGER DEFAULT 0,
    DocCCF INTEGER DEFAULT 0,
    DocComplianceWCDLRequirements INTEGER DEFAULT 0,
    DocDAPolicyReceipt INTEGER DEFAULT 0,
    DocDAPrevDisclosure INTEGER DEFAULT 0,
    DocStatementOnDutyHours INTEGER DEFAULT 0,
    DocCOV INTEGER DEFAULT 0,
    DocMVR INTEGER DEFAULT 0,
    DocCopyOfDL INTEGER DEFAULT 0,
    DocMedCard INTEGER DEFAULT 0,
    DocAnnualMVR INTEGER DEFAULT 0,
    DocRoadTest INTEGER DEFAULT 0,
    DocNRCME INTEGER DEFAULT 0,
    DocCellPhonePolicy INTEGER DEFAULT 0,
    DocHOSPolicy INTEGER DEFAULT 0,
    docPreEmpDachQuery INTEGER DEFAULT 0
);
CREATE INDEX IX_Driver_ContractID ON Driver (ContractID);

CREATE TABLE DrugAlcoholTestType (
    ID INTEGER PRIMARY KEY,
    Name TEXT COLLATE NOCASE
);

CREATE TABLE DrugAlcoholTest (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    DriverID INTEGER,
    DriverName TEXT COLLATE NOCASE,
    TestTypeID INTEGER,
    TestDate DATETIME,
    DueDate DATETIME,
    Completed INTEGER DEFAULT 0,
    Status TEXT COLLATE NOCASE,
    CCF INTEGER DEFAULT 0,
    Results INTEGER DEFAULT 0
);
CREATE INDEX IX_DrugAlcoholTest_ContractID ON DrugAlcoholTest (ContractID);

CREATE TABLE RoadsideInspection (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    DriverName TEXT COLLATE NOCASE,
    InspectionDate DATETIME,
    HaveCopy INTEGER DEFAULT 0,
    CopyUnobtainable INTEGER DEFAULT 0,
    EvidenceOfRepair INTEGER DEFAULT 0
);
CREATE INDEX IX_RoadsideInspection_ContractID ON RoadsideInspection (ContractID);

CREATE TABLE Accident (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    AccidentDate DATETIME,
    Description TEXT COLLATE NOCASE,
    AccidentReport INTEGER DEFAULT 0,
    Recordable INTEGER DEFAULT 0
);
CREATE INDEX IX_Accident_ContractID ON Accident (ContractID);

CREATE TABLE RegistrationDocType (
    ID INTEGER PRIMARY KEY,
    Name TEXT COLLATE NOCASE,
    Description TEXT COLLATE NOCASE
);

CREATE TABLE RegistrationDoc (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    TypeID INTEGER,
    DocNumber TEXT COLLATE NOCASE,
    ExpDate DATETIME
);
CREATE INDEX IX_RegistrationDoc_ContractID ON RegistrationDoc (ContractID);

CREATE TABLE TrainingTopic (
    ID INTEGER PRIMARY KEY,
    Name TEXT COLLATE NOCASE
);

CREATE TABLE Training (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    DriverID INTEGER,
    TopicID INTEGER,
    TrainingDate DATETIME,
    ExpireDate DATETIME,
    Expires INTEGER DEFAULT 0
);
CREATE INDEX IX_Training_ContractID ON Training (ContractID);
CREATE INDEX IX_Training_DriverID ON Training (DriverID);

CREATE TABLE SafetyScore (
    ID INTEGER PRIMARY KEY,
    ContractID INTEGER,
    ScoreDate DATETIME,
    Category TEXT COLLATE NOCASE,
    Score REAL
);
CREATE INDEX IX_SafetyScore_ContractID ON SafetyScore (ContractID);
