#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ProcessRunner.h"
#include "support/TestDatabase.h"

namespace fas::test {

struct HttpRequest {
    std::string method;
    std::string target;  // path and query
    std::string body;
};

// Written with designated initializers: {.status = 500}.
struct HttpServerOptions {
    int status = 200;
    bool refusePost = false;  // POST answered 404, as by a push address that takes GET only
};

// A local HTTP server (tests/support/http_test_server.py under /usr/bin/python3) on a loopback
// port while the object lives: it records every request and answers as the options say.
class HttpTestServer {
  public:
    explicit HttpTestServer(HttpServerOptions options = {});
    // "http://127.0.0.1:<port><target>"
    std::string url(const std::string& target) const;
    // Every request received so far, in order.
    std::vector<HttpRequest> requests() const;

  private:
    TempDir store_;
    std::unique_ptr<BackgroundProcess> process_;
    int port_ = 0;
};

}  // namespace fas::test
