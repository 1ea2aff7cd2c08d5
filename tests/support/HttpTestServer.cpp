#include "support/HttpTestServer.h"

#include <stdexcept>

namespace fas::test {

HttpTestServer::HttpTestServer(HttpServerOptions options) {
    std::vector<std::string> args = {FAS_SOURCE_DIR "/tests/support/http_test_server.py", "--dir",
                                     store_.path().string(), "--status",
                                     std::to_string(options.status)};
    if (options.refusePost) {
        args.push_back("--refuse-post");
    }
    process_ = std::make_unique<BackgroundProcess>(ProcessSpec{"/usr/bin/python3", args, {}, {}});
    if (!process_->waitForOutput("\n", std::chrono::seconds(20))) {
        throw std::runtime_error("The HTTP test server did not start: " + process_->stop().err);
    }
    port_ = std::stoi(process_->out());
}

std::string HttpTestServer::url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<HttpRequest> HttpTestServer::requests() const {
    std::vector<HttpRequest> out;
    for (const auto& file : FilesIn(store_.path())) {
        const std::string text = ReadWholeFile(file);
        const auto blank = text.find(' ');
        const auto end = text.find('\n');
        out.push_back(
            {text.substr(0, blank), text.substr(blank + 1, end - blank - 1), text.substr(end + 1)});
    }
    return out;
}

}  // namespace fas::test
