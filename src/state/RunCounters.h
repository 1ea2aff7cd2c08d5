#pragma once

namespace fas {

// The three counters of a run. They count the true totals, which the results line shows; the log
// table keeps its 16-bit columns (other programs read them), so a total written there is clamped
// to the largest value a column holds. Counting never fails a step.
class RunCounters {
  public:
    static constexpr int kLogColumnLimit = 32767;

    int emails() const { return emails_; }
    int issuesCreated() const { return issuesCreated_; }
    int issuesClosed() const { return issuesClosed_; }

    // What the log row's columns receive.
    int loggedEmails() const { return logged(emails_); }
    int loggedIssuesCreated() const { return logged(issuesCreated_); }
    int loggedIssuesClosed() const { return logged(issuesClosed_); }

    void addEmail() { ++emails_; }
    void addIssueCreated() { ++issuesCreated_; }
    void addIssueClosed() { ++issuesClosed_; }
    void reset() { emails_ = issuesCreated_ = issuesClosed_ = 0; }

    // Test seam: a lower log limit lets a small case pass it.
    void setLogLimitForTest(int limit) { logLimit_ = limit; }

  private:
    int logged(int total) const { return total < logLimit_ ? total : logLimit_; }

    int emails_ = 0;
    int issuesCreated_ = 0;
    int issuesClosed_ = 0;
    int logLimit_ = kLogColumnLimit;
};

}  // namespace fas
