#pragma once

#include <memory>

namespace fas::platform {

// Where results lines (std::cout), warnings (std::clog) and errors (std::cerr) go. On Linux,
// when a stream is the journal, every line gets its syslog priority so that `journalctl -p err`
// shows the errors alone; elsewhere the streams are left as they are. Put back when it goes.
class LogStreams {
  public:
    LogStreams();
    ~LogStreams();
    LogStreams(const LogStreams&) = delete;
    LogStreams& operator=(const LogStreams&) = delete;

    struct Redirects;

  private:
    std::unique_ptr<Redirects> redirects_;
};

}  // namespace fas::platform
