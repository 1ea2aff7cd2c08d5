#pragma once

#include <cstdint>
#include <stdexcept>

namespace fas {

class CounterOverflow : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The three counters of a run: 16-bit signed, as the log table and the results line show them.
// Adding to 32767 is an overflow error that ends the step like any other error.
class RunCounters {
  public:
    std::int16_t emails() const { return emails_; }
    std::int16_t issuesCreated() const { return issuesCreated_; }
    std::int16_t issuesClosed() const { return issuesClosed_; }

    void addEmail() { add(emails_, "e-mails"); }
    void addIssueCreated() { add(issuesCreated_, "issues created"); }
    void addIssueClosed() { add(issuesClosed_, "issues closed"); }
    void reset() { emails_ = issuesCreated_ = issuesClosed_ = 0; }

  private:
    static void add(std::int16_t& counter, const char* name);

    std::int16_t emails_ = 0;
    std::int16_t issuesCreated_ = 0;
    std::int16_t issuesClosed_ = 0;
};

}  // namespace fas
