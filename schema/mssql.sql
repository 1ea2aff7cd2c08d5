-- Compliance database, SQL Server: reference DDL for a test database (the production schema
-- is maintained by other software; these are the columns the server reads and writes).

CREATE TABLE Company (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    Name NVARCHAR(4000),
    Address1 NVARCHAR(4000),
    Address2 NVARCHAR(4000),
    City NVARCHAR(4000),
    State NVARCHAR(4000),
    Zip NVARCHAR(4000),
    Phone NVARCHAR(4000),
    Fax NVARCHAR(4000),
    Email NVARCHAR(4000),
    Website NVARCHAR(4000),
    AutomationServerPoll INT,
    AutomationServerEmailFrom NVARCHAR(4000),
    AutomationServerEmailServer NVARCHAR(4000),
    AutomationServerEmailServerPort NVARCHAR(4000),
    AutomationServerEmailUser NVARCHAR(4000),
    AutomationServerEmailPassword NVARCHAR(4000),
    AutomationServerEmailUseSSLTLS INT,
    AutomationServerEmailFooter NVARCHAR(4000)
);

CREATE TABLE AutomationServer_Alert (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    Item NVARCHAR(200),
    Category NVARCHAR(200),
    EmailContractManager INT,
    EmailContractSpecialist INT,
    EmailClient INT,
    DaysInAdvance INT,
    CreateIssue INT,
    CreateIssueDaysInAdvance INT,
    IssuePriority NVARCHAR(4000),
    AutoCloseIssue INT
);
CREATE INDEX IX_AutomationServer_Alert_Item ON AutomationServer_Alert (Item);

CREATE TABLE Issues (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    Category NVARCHAR(200),
    ItemID INT,
    ItemDesc NVARCHAR(4000),
    IssueDate DATETIME,
    DueDate DATETIME,
    Description NVARCHAR(MAX),
    Status NVARCHAR(200),
    Priority NVARCHAR(4000),
    EnteredBy NVARCHAR(200),
    EnteredDate DATETIME,
    EditedBy NVARCHAR(4000),
    EditedDate DATETIME,
    AUTO_Item NVARCHAR(200),
    Auto_Date DATETIME
);
CREATE INDEX IX_Issues_Auto ON Issues (AUTO_Item, EnteredBy, Status, ItemID);
CREATE INDEX IX_Issues_ItemID ON Issues (ItemID, Category);
CREATE INDEX IX_Issues_Status ON Issues (Status);
CREATE INDEX IX_Issues_ContractID ON Issues (ContractID);

CREATE TABLE AutomationServer_EmailsSent (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    EmailFrom NVARCHAR(4000),
    EmailFromName NVARCHAR(4000),
    EmailTo NVARCHAR(200),
    EmailSubject NVARCHAR(4000),
    EmailBody NVARCHAR(MAX),
    EmailSent INT DEFAULT 0,
    DateSent DATETIME
);
CREATE INDEX IX_EmailsSent_Pending ON AutomationServer_EmailsSent (EmailSent, EmailTo, ID);

CREATE TABLE AutomationServer_Emails (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    EmailDate DATETIME,
    Category NVARCHAR(200),
    Item NVARCHAR(200),
    ItemID INT,
    ItemKey DATETIME,
    ContractManager INT,
    ContractSpecialist INT,
    Client INT
);
CREATE INDEX IX_Emails_Item ON AutomationServer_Emails (Item, Category, ItemID);

CREATE TABLE AutomationServer_Log (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    LogDate DATETIME,
    CountEmails INT,
    CountIssues INT,
    CountIssuesClose INT
);

CREATE TABLE Customer (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    Name NVARCHAR(4000),
    Hasmat INT DEFAULT 0
);

CREATE TABLE Employee (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    FirstName NVARCHAR(4000),
    LastName NVARCHAR(4000),
    Email NVARCHAR(4000)
);

CREATE TABLE ServiceContract (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    CustomerID INT,
    ContractManagerID INT,
    PrimaryContactEmail NVARCHAR(4000),
    Status NVARCHAR(200),
    DisableEmailNotifications INT DEFAULT 0,
    EnableNotificationsAtTime DATETIME,
    EnableDirectDriverNotificationEmails INT DEFAULT 0,
    EmailVehicle NVARCHAR(4000),
    EmailDriver NVARCHAR(4000),
    EmailAccident NVARCHAR(4000),
    EmailRoadsideInspection NVARCHAR(4000),
    EmailDrugAlcohol NVARCHAR(4000),
    EmailRegistrationDoc NVARCHAR(4000),
    EmailSafetyScore NVARCHAR(4000),
    EmailContract NVARCHAR(4000),
    emailTraining NVARCHAR(4000),
    HazmatExpirationDate DATETIME,
    MCS150UpdateDue DATETIME
);
CREATE INDEX IX_ServiceContract_CustomerID ON ServiceContract (CustomerID);
CREATE INDEX IX_ServiceContract_Mute ON ServiceContract (EnableNotificationsAtTime);

CREATE TABLE ServiceContractSpecialist (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ServiceContractID INT,
    EmployeeID INT
);
CREATE INDEX IX_ServiceContractSpecialist_ContractID ON ServiceContractSpecialist (ServiceContractID);

CREATE TABLE Vehicle (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    Unit NVARCHAR(4000),
    VIN NVARCHAR(4000),
    UnitYear NVARCHAR(4000),
    Make NVARCHAR(4000),
    Model NVARCHAR(4000),
    Suspended INT DEFAULT 0,
    NotInService INT DEFAULT 0,
    PAIDue DATETIME,
    TagExpiration DATETIME,
    TankerVExpire INT DEFAULT 0,
    TankerVExpireDate DATETIME,
    TankerKExpire INT DEFAULT 0,
    TankerKExpireDate DATETIME,
    TankerIExpire INT DEFAULT 0,
    TankerIExpireDate DATETIME,
    TankerPExpire INT DEFAULT 0,
    TankerPExpireDate DATETIME,
    TankerEExpire INT DEFAULT 0,
    TankerEExpireDate DATETIME,
    OtherDate DATETIME,
    OtherDateDesc NVARCHAR(4000),
    OtherDateEnabled INT DEFAULT 0,
    DocPreventativeMaintSchedule INT DEFAULT 0,
    DocVehRegistration INT DEFAULT 0,
    DocPAI INT DEFAULT 0,
    DOCCabCard INT DEFAULT 0
);
CREATE INDEX IX_Vehicle_ContractID ON Vehicle (ContractID);

CREATE TABLE Driver (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    LastName NVARCHAR(4000),
    FirstName NVARCHAR(4000),
    MiddleName NVARCHAR(4000),
    Suffix NVARCHAR(4000),
    Terminated INT DEFAULT 0,
    Suspended INT DEFAULT 0,
    ApplicantOnly INT DEFAULT 0,
    DAOnly INT DEFAULT 0,
    CDL INT DEFAULT 0,
    CDLSuspended INT DEFAULT 0,
    PassportExpire INT DEFAULT 0,
    PassportExpiration DATETIME,
    DLExpire DATETIME,
    MCExpire DATETIME,
    MCMVRExpire DATETIME,
    MVRExpire DATETIME,
    COVExpire DATETIME,
    TWIC INT DEFAULT 0,
    TWICExpiration DATETIME,
    H INT DEFAULT 0,
    N INT DEFAULT 0,
    HazmatTrainingExpiration DATETIME,
    OtherDate DATETIME,
    OtherDateDesc NVARCHAR(4000),
    OtherDateEnabled INT DEFAULT 0,
    AnnualDashExpire DATETIME,
    PreEmp INT DEFAULT 0,
    DocApplication INT DEFAULT 0,
    DocEntryLevelTraining INT DEFAULT 0,
    DocPrevEmployerRequest INT DEFAULT 0,
    DocPreEmployDrugTestResults INT DEFAULT 0,
    DocCCF INT DEFAULT 0,
    DocComplianceWCDLRequirements INT DEFAULT 0,
    DocDAPolicyReceipt INT DEFAULT 0,
    DocDAPrevDisclosure INT DEFAULT 0,
    DocStatementOnDutyHours INT DEFAULT 0,
    DocCOV INT DEFAULT 0,
    DocMVR INT DEFAULT 0,
    DocCopyOfDL INT DEFAULT 0,
    DocMedCard INT DEFAULT 0,
    DocAnnualMVR INT DEFAULT 0,
    DocRoadTest INT DEFAULT 0,
    DocNRCME INT DEFAULT 0,
    DocCellPhonePolicy INT DEFAULT 0,
    DocHOSPolicy INT DEFAULT 0,
    docPreEmpDachQuery INT DEFAULT 0
);
CREATE INDEX IX_Driver_ContractID ON Driver (ContractID);

CREATE TABLE DrugAlcoholTestType (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    Name NVARCHAR(4000)
);

CREATE TABLE DrugAlcoholTest (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    DriverID INT,
    DriverName NVARCHAR(4000),
    TestTypeID INT,
    TestDate DATETIME,
    DueDate DATETIME,
    Completed INT DEFAULT 0,
    Status NVARCHAR(200),
    CCF INT DEFAULT 0,
    Results INT DEFAULT 0
);
CREATE INDEX IX_DrugAlcoholTest_ContractID ON DrugAlcoholTest (ContractID);

CREATE TABLE RoadsideInspection (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    DriverName NVARCHAR(4000),
    InspectionDate DATETIME,
    HaveCopy INT DEFAULT 0,
    CopyUnobtainable INT DEFAULT 0,
    EvidenceOfRepair INT DEFAULT 0
);
CREATE INDEX IX_RoadsideInspection_ContractID ON RoadsideInspection (ContractID);

CREATE TABLE Accident (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    AccidentDate DATETIME,
    Description NVARCHAR(4000),
    AccidentReport INT DEFAULT 0,
    Recordable INT DEFAULT 0
);
CREATE INDEX IX_Accident_ContractID ON Accident (ContractID);

CREATE TABLE RegistrationDocType (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    Name NVARCHAR(4000),
    Description NVARCHAR(4000)
);

CREATE TABLE RegistrationDoc (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    TypeID INT,
    DocNumber NVARCHAR(4000),
    ExpDate DATETIME
);
CREATE INDEX IX_RegistrationDoc_ContractID ON RegistrationDoc (ContractID);

CREATE TABLE TrainingTopic (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    Name NVARCHAR(4000)
);

CREATE TABLE Training (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    DriverID INT,
    TopicID INT,
    TrainingDate DATETIME,
    ExpireDate DATETIME,
    Expires INT DEFAULT 0
);
CREATE INDEX IX_Training_ContractID ON Training (ContractID);
CREATE INDEX IX_Training_DriverID ON Training (DriverID);

CREATE TABLE SafetyScore (
    ID INT IDENTITY(1,1) PRIMARY KEY,
    ContractID INT,
    ScoreDate DATETIME,
    Category NVARCHAR(200),
    Score FLOAT
);
CREATE INDEX IX_SafetyScore_ContractID ON SafetyScore (ContractID);
