#include "monitoring/Heartbeat.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>

namespace fas::monitoring {

namespace {

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Url = std::unique_ptr<CURLU, UrlFree>;

struct EasyFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Reads one part of a parsed address; std::nullopt when it has none.
std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, 0) != CURLUE_OK || text == nullptr) {
        return std::nullopt;
    }
    std::string value(text);
    curl_free(text);
    return value;
}

// The address parsed; only http and https with a host are usable.
Url parsed(const std::string& url) {
    Url handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        throw HeartbeatUrlError("not an address libcurl can read (expected https://host/...)");
    }
    const auto scheme = part(handle.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https") {
        throw HeartbeatUrlError("not an http:// or https:// address");
    }
    if (!part(handle.get(), CURLUPART_HOST)) {
        throw HeartbeatUrlError("an address without a host");
    }
    return handle;
}

// The monitor's answer is read and dropped: only its status counts.
std::size_t dropAnswer(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// Asked by libcurl now and then during a request: non-zero ends it.
int progress(void* cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& ask = *static_cast<const std::function<bool()>*>(cancelled);
    return ask && ask() ? 1 : 0;
}

std::string secondsText(std::chrono::milliseconds limit) {
    std::array<char, 32> text{};
    const double seconds = static_cast<double>(limit.count()) / 1000.0;
    return std::string(text.data(),
                       std::to_chars(text.data(), text.data() + text.size(), seconds).ptr) +
           " s";
}

}  // namespace

std::string UrlOrigin(const std::string& url) {
    const Url handle = parsed(url);
    std::string origin =
        *part(handle.get(), CURLUPART_SCHEME) + "://" + *part(handle.get(), CURLUPART_HOST);
    if (const auto port = part(handle.get(), CURLUPART_PORT)) {
        origin += ":" + *port;
    }
    return origin;
}

std::string FailUrlOf(const std::string& url) {
    const Url handle = parsed(url);
    std::string path = part(handle.get(), CURLUPART_PATH).value_or("/");
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    path += "/fail";
    char* text = nullptr;
    if (curl_url_set(handle.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
        curl_url_get(handle.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) {
        throw HeartbeatUrlError("the failure address cannot be made from it");
    }
    std::string result(text);
    curl_free(text);
    return result;
}

HeartbeatSender::HeartbeatSender(std::optional<std::string> successUrl,
                                 std::optional<std::string> failUrl,
                                 std::chrono::milliseconds timeLimit)
    : successUrl_(std::move(successUrl)), failUrl_(std::move(failUrl)), timeLimit_(timeLimit) {
    for (const auto* url : {&successUrl_, &failUrl_}) {
        if (*url) {
            UrlOrigin(**url);  // refuses an unusable address now, not after the first run
        }
    }
}

std::optional<std::string> HeartbeatSender::send(bool runFailed, const std::string& body,
                                                 const std::function<bool()>& cancelled) const {
    const auto& url = runFailed ? failUrl_ : successUrl_;
    if (!url) {
        return std::nullopt;
    }
    const std::string what = "The heartbeat to " + UrlOrigin(*url) + " failed: ";
    const std::unique_ptr<CURL, EasyFree> curl(curl_easy_init());
    if (!curl) {
        return what + "libcurl could not be set up";
    }
    const std::unique_ptr<curl_slist, ListFree> headers(
        curl_slist_append(nullptr, "Content-Type: text/plain; charset=utf-8"));
    std::array<char, CURL_ERROR_SIZE> error{};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url->c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error.data());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "automation-server");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &dropAnswer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::function<bool()>*>(&cancelled));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    const auto deadline = std::chrono::steady_clock::now() + timeLimit_;
    long status = 0;
    for (bool post = true;; post = false) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        curl_easy_setopt(
            h, CURLOPT_TIMEOUT_MS,
            static_cast<long>(std::max<std::chrono::milliseconds::rep>(left.count(), 1)));
        const CURLcode code = curl_easy_perform(h);
        if (code == CURLE_OPERATION_TIMEDOUT) {
            return what + "no answer within " + secondsText(timeLimit_);
        }
        if (code == CURLE_ABORTED_BY_CALLBACK) {
            return what + "cut short by the stop request";
        }
        if (code != CURLE_OK) {
            // libcurl's texts name the host, not the path; the path is cut out should one do.
            std::string detail = error[0] != '\0' ? error.data() : curl_easy_strerror(code);
            const Url handle = parsed(*url);
            if (const auto path = part(handle.get(), CURLUPART_PATH); path && path->size() > 1) {
                for (auto at = detail.find(*path); at != std::string::npos;
                     at = detail.find(*path)) {
                    detail.replace(at, path->size(), "/...");
                }
            }
            return what + detail;
        }
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        // A push address that takes GET only (Uptime Kuma before 2.0 answers POST with 404)
        // still hears that the run happened, without the results line.
        if (!post || (status != 404 && status != 405)) {
            break;
        }
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    if (status < 200 || status > 299) {
        return what + "the monitor answered with HTTP status " + std::to_string(status);
    }
    return std::nullopt;
}

}  // namespace fas::monitoring
