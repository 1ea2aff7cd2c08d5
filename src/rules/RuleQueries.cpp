#include "rules/RuleQueries.h"

namespace fas::rules {
namespace {

std::string dateColumn(const RuleParameters& p) {
    return p.Table + "." + p.Field;
}

// Training rows name their driver and topic in the description and the condition.
std::string trainingJoins(const RuleParameters& p) {
    return " LEFT JOIN Driver ON " + p.Table + ".DriverID = Driver.ID LEFT JOIN TrainingTopic ON " +
           p.Table + ".TopicID=TrainingTopic.ID";
}

std::string openAutoIssues() {
    return "(SELECT ID AS IssueID,ItemID FROM Issues WHERE Status='Open' AND EnteredBy = 'AUTO "
           "SERVER' AND AUTO_Item = ?) I1";
}

// An earlier notification of the same row counts when its date lies within two minutes of the
// row's date, so the time of day a date was stored with does not matter.
std::string previousEmails(const RuleParameters& p) {
    return "LEFT JOIN (SELECT ID AS EmailID,ItemID,ItemKey FROM AutomationServer_Emails WHERE "
           "Category = ? AND Item = ?) PrevEmails ON " +
           p.Table + ".ID=PrevEmails.ItemID AND ABS(DATEDIFF(MINUTE, PrevEmails.ItemKey, " +
           dateColumn(p) + "))<2";
}

// An earlier automatic issue, open or closed, of the same row and calendar day counts.
std::string previousIssues(const RuleParameters& p) {
    return "LEFT JOIN (SELECT ID AS IssueID,AUTO_Date,ItemID FROM Issues WHERE EnteredBy = 'AUTO "
           "SERVER' AND AUTO_Item = ?) tmpIssue ON " +
           p.Table + ".ID=tmpIssue.ItemID AND CONVERT(VARCHAR," + dateColumn(p) +
           ",101)=CONVERT(VARCHAR,tmpIssue.AUTO_Date,101)";
}

std::string itemNotificationQuery(const RuleParameters& p, bool training) {
    std::string sql = "SELECT " + p.Table + ".*," + p.DescriptionExpr +
                      " AS tmpDescField,ServiceContract.PrimaryContactEmail AS "
                      "CustomerEmail,Customer.Name AS CustomerName,Employee.Email AS "
                      "ContractManagerEmail,ISNULL(PrevEmails.EmailID,0) AS "
                      "EmailID,ServiceContract.ID AS ContactID";
    sql += training ? ",ISNULL(ServiceContract.EnableDirectDriverNotificationEmails,0) AS "
                      "EnableDirectDriverNotificationEmails FROM "
                    : "  FROM ";
    sql += p.Table + " LEFT JOIN ServiceContract ON " + p.Table +
           ".ContractID = ServiceContract.ID LEFT JOIN Customer ON ServiceContract.CustomerID = "
           "Customer.ID  LEFT JOIN Employee ON ServiceContract.ContractManagerID = Employee.ID  " +
           previousEmails(p);
    if (training) {
        sql += trainingJoins(p);
    }
    sql +=
        " WHERE ServiceContract.DisableEmailNotifications<>1 AND "
        "ServiceContract.Status='Active' AND " +
        dateColumn(p) + " <= ?" + p.Condition;
    return sql;
}

std::string itemIssueQuery(const RuleParameters& p, bool training) {
    std::string sql = "SELECT " + p.Table + ".*," + p.DescriptionExpr +
                      " AS tmpDescField,ServiceContract.PrimaryContactEmail AS "
                      "CustomerEmail,Customer.Name AS CustomerName,Employee.Email AS "
                      "ContractManagerEmail,ISNULL(tmpIssue.IssueID,0) AS IssueID  FROM " +
                      p.Table + " LEFT JOIN ServiceContract ON " + p.Table +
                      ".ContractID = ServiceContract.ID LEFT JOIN Customer ON "
                      "ServiceContract.CustomerID = Customer.ID LEFT JOIN Employee ON "
                      "ServiceContract.ContractManagerID = Employee.ID  " +
                      previousIssues(p);
    if (training) {
        sql += trainingJoins(p);
    }
    sql += " WHERE ServiceContract.Status='Active' AND " + dateColumn(p) + " <= ?" + p.Condition;
    return sql;
}

// The contract rule has no muting test: contract dates are notified even while the contract's
// item notifications are muted.
std::string contractNotificationQuery(const RuleParameters& p) {
    return "SELECT " + p.DescriptionExpr + " AS tmpDescField," + dateColumn(p) +
           ",ServiceContract.PrimaryContactEmail AS CustomerEmail,ServiceContract.ID AS "
           "ContractID,Customer.Name AS CustomerName,Employee.Email AS "
           "ContractManagerEmail,ISNULL(PrevEmails.EmailID,0) AS EmailID  FROM ServiceContract "
           "LEFT JOIN Customer ON ServiceContract.CustomerID = Customer.ID  LEFT JOIN Employee ON "
           "ServiceContract.ContractManagerID = Employee.ID  " +
           previousEmails(p) + "  WHERE ServiceContract.Status='Active' AND " + dateColumn(p) +
           " <= ?" + p.Condition;
}

std::string contractIssueQuery(const RuleParameters& p) {
    return "SELECT " + dateColumn(p) + "," + p.DescriptionExpr +
           " AS tmpDescField,ServiceContract.ID,ServiceContract.PrimaryContactEmail AS "
           "CustomerEmail,Customer.Name AS CustomerName,Employee.Email AS "
           "ContractManagerEmail,ISNULL(tmpIssue.IssueID,0) AS IssueID  FROM ServiceContract "
           "LEFT JOIN Customer ON ServiceContract.CustomerID = Customer.ID LEFT JOIN Employee ON "
           "ServiceContract.ContractManagerID = Employee.ID  " +
           previousIssues(p) + "  WHERE ServiceContract.Status='Active' AND " + dateColumn(p) +
           " <= ?" + p.Condition;
}

}  // namespace

std::string AutoCloseQuery(RuleKind kind, const RuleParameters& p) {
    // The condition is not applied: an issue is closed once its date has moved beyond the issue
    // window, whatever else became of its row.
    const std::string selected =
        kind == RuleKind::ContractDate ? "I1.IssueID" : p.Table + ".*,I1.IssueID";
    return "SELECT " + selected + " FROM " + openAutoIssues() + " LEFT JOIN " + p.Table +
           " ON I1.ItemID = " + p.Table + ".ID  WHERE " + dateColumn(p) + " > ?";
}

std::string NotificationQuery(RuleKind kind, const RuleParameters& p) {
    switch (kind) {
        case RuleKind::DateExpiry:
            return itemNotificationQuery(p, false);
        case RuleKind::TrainingExpiry:
            return itemNotificationQuery(p, true);
        case RuleKind::ContractDate:
            return contractNotificationQuery(p);
    }
    return {};
}

std::string IssueQuery(RuleKind kind, const RuleParameters& p) {
    switch (kind) {
        case RuleKind::DateExpiry:
            return itemIssueQuery(p, false);
        case RuleKind::TrainingExpiry:
            return itemIssueQuery(p, true);
        case RuleKind::ContractDate:
            return contractIssueQuery(p);
    }
    return {};
}

}  // namespace fas::rules
