#include "mail/SmtpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "mail/MailErrors.h"
#include "mail/SmtpConversation.h"

namespace fas::mail {

namespace {

// libcurl 8.2 fixed the spelling of this option; older releases know only the first one.
#if LIBCURL_VERSION_NUM >= 0x080200
constexpr CURLoption kAllowRecipientFailures = CURLOPT_MAIL_RCPT_ALLOWFAILS;
#else
constexpr CURLoption kAllowRecipientFailures = CURLOPT_MAIL_RCPT_ALLLOWFAILS;
#endif

struct Upload {
    std::string_view data;
    std::size_t position = 0;
};

std::size_t readUpload(char* buffer, std::size_t size, std::size_t count, void* userData) {
    auto* upload = static_cast<Upload*>(userData);
    const std::size_t n = std::min(size * count, upload->data.size() - upload->position);
    std::memcpy(buffer, upload->data.data() + upload->position, n);
    upload->position += n;
    return n;
}

int followConversation(CURL*, curl_infotype type, char* data, std::size_t size, void* userData) {
    auto* conversation = static_cast<SmtpConversation*>(userData);
    const std::string_view text(data, size);
    switch (type) {
        case CURLINFO_HEADER_OUT:
            conversation->commandSent(text);
            break;
        case CURLINFO_HEADER_IN:
            conversation->replyReceived(text);
            break;
        case CURLINFO_DATA_OUT:
            conversation->messageDataSent();
            break;
        default:
            break;
    }
    return 0;
}

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

std::string securityName(SmtpSecurity security) {
    switch (security) {
        case SmtpSecurity::None:
            return "plain SMTP";
        case SmtpSecurity::StartTls:
            return "STARTTLS";
        case SmtpSecurity::ImplicitTls:
            return "implicit TLS";
    }
    return "?";
}

// What a person can do about a failure libcurl reported for the session.
std::string hintFor(CURLcode code, const SmtpSettings& settings) {
    switch (code) {
        case CURLE_LOGIN_DENIED:
            return "; check AutomationServerEmailUser and AutomationServerEmailPassword";
        case CURLE_USE_SSL_FAILED:
            return "; the server does not offer STARTTLS, which AutomationServerEmailUseSSLTLS "
                   "requires";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return std::string(
                       "; for a private certificate authority name its certificate "
                       "file in ") +
                   kSmtpCaFileVariable;
        case CURLE_COULDNT_RESOLVE_HOST:
            return "; check AutomationServerEmailServer";
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            return settings.security == SmtpSecurity::None
                       ? "; check AutomationServerEmailServer and AutomationServerEmailServerPort"
                       : "; check AutomationServerEmailServer, AutomationServerEmailServerPort "
                         "and AutomationServerEmailUseSSLTLS";
        default:
            return {};
    }
}

}  // namespace

struct SmtpTransport::Handle {
    CURL* curl = nullptr;

    Handle() : curl(curl_easy_init()) {}
    ~Handle() {
        if (curl != nullptr) {
            curl_easy_cleanup(curl);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    template <typename T>
    void set(CURLoption option, T value, const char* name) {
        if (curl_easy_setopt(curl, option, value) != CURLE_OK) {
            throw MailUnavailable(std::string("The SMTP library refused the option ") + name +
                                  " (" + curl_version() + ")");
        }
    }
};

SmtpTransport::SmtpTransport(SmtpSettings settings)
    : settings_(std::move(settings)), handle_(std::make_unique<Handle>()) {
    if (handle_->curl == nullptr) {
        throw MailUnavailable("The SMTP library could not be set up (curl_easy_init failed)");
    }
}

SmtpTransport::~SmtpTransport() = default;

std::string SmtpTransport::serverDescription() const {
    std::string text = "mail server " + settings_.host + ":" + std::to_string(settings_.port) +
                       " (" + securityName(settings_.security);
    if (!settings_.user.empty()) {
        text += ", user '" + settings_.user + "'";
    }
    return text + ")";
}

std::string SmtpTransport::url() const {
    const bool implicitTls = settings_.security == SmtpSecurity::ImplicitTls;
    const bool ipv6 =
        settings_.host.find(':') != std::string::npos && settings_.host.front() != '[';
    return std::string(implicitTls ? "smtps://" : "smtp://") +
           (ipv6 ? "[" + settings_.host + "]" : settings_.host) + ":" +
           std::to_string(settings_.port);
}

void SmtpTransport::configureSession(Attempt& attempt, const std::string& url) {
    // Every option afresh each time; the connection cache survives the reset.
    auto& h = *handle_;
    curl_easy_reset(h.curl);
    h.set(CURLOPT_ERRORBUFFER, attempt.errorText.data(), "CURLOPT_ERRORBUFFER");
    h.set(CURLOPT_URL, url.c_str(), "CURLOPT_URL");
    h.set(CURLOPT_NOSIGNAL, 1L, "CURLOPT_NOSIGNAL");
    h.set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings_.connectTimeout.count()),
          "CURLOPT_CONNECTTIMEOUT");
    h.set(CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(settings_.responseTimeout.count()),
          "CURLOPT_SERVER_RESPONSE_TIMEOUT");
    h.set(CURLOPT_LOW_SPEED_LIMIT, 1L, "CURLOPT_LOW_SPEED_LIMIT");
    h.set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings_.responseTimeout.count()),
          "CURLOPT_LOW_SPEED_TIME");
    if (settings_.security == SmtpSecurity::StartTls) {
        h.set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL), "CURLOPT_USE_SSL");
    }
    if (settings_.caFile) {
        h.set(CURLOPT_CAINFO, settings_.caFile->c_str(), "CURLOPT_CAINFO");
    }
    if (!settings_.user.empty()) {
        h.set(CURLOPT_USERNAME, settings_.user.c_str(), "CURLOPT_USERNAME");
        h.set(CURLOPT_PASSWORD, settings_.password.c_str(), "CURLOPT_PASSWORD");
    }
    if (!settings_.reuseConnection) {
        h.set(CURLOPT_FORBID_REUSE, 1L, "CURLOPT_FORBID_REUSE");
    }
    // The conversation is followed through the debug callback; nothing is printed.
    h.set(CURLOPT_DEBUGFUNCTION, &followConversation, "CURLOPT_DEBUGFUNCTION");
    h.set(CURLOPT_DEBUGDATA, static_cast<void*>(&attempt.conversation), "CURLOPT_DEBUGDATA");
    h.set(CURLOPT_VERBOSE, 1L, "CURLOPT_VERBOSE");
}

void SmtpTransport::perform(Attempt& attempt) {
    auto& h = *handle_;
    attempt.code = curl_easy_perform(h.curl);
    long newConnections = 0;
    attempt.reusedConnection =
        curl_easy_getinfo(h.curl, CURLINFO_NUM_CONNECTS, &newConnections) == CURLE_OK &&
        newConnections == 0;
    // Nothing set for this message may outlive it (the buffers it points to go now).
    curl_easy_reset(h.curl);
}

SmtpTransport::Attempt SmtpTransport::attempt(const OutgoingMessage& message,
                                              const std::string& data, bool freshConnection) {
    Attempt result;
    Upload upload{data};
    Slist recipients;
    for (const auto& address : message.recipients) {
        curl_slist* grown = curl_slist_append(recipients.get(), ("<" + address + ">").c_str());
        if (grown == nullptr) {
            throw std::bad_alloc();
        }
        recipients.release();
        recipients.reset(grown);
    }
    const std::string mailFrom = "<" + message.senderAddress + ">";

    configureSession(result, url());
    auto& h = *handle_;
    if (freshConnection) {
        h.set(CURLOPT_FRESH_CONNECT, 1L, "CURLOPT_FRESH_CONNECT");
    }
    h.set(CURLOPT_MAIL_FROM, mailFrom.c_str(), "CURLOPT_MAIL_FROM");
    h.set(CURLOPT_MAIL_RCPT, recipients.get(), "CURLOPT_MAIL_RCPT");
    h.set(kAllowRecipientFailures, 1L, "CURLOPT_MAIL_RCPT_ALLOWFAILS");
    h.set(CURLOPT_UPLOAD, 1L, "CURLOPT_UPLOAD");
    h.set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()),
          "CURLOPT_INFILESIZE_LARGE");
    h.set(CURLOPT_READFUNCTION, &readUpload, "CURLOPT_READFUNCTION");
    h.set(CURLOPT_READDATA, static_cast<void*>(&upload), "CURLOPT_READDATA");
    perform(result);
    return result;
}

MailUnavailable SmtpTransport::unavailable(const Attempt& attempt) const {
    const auto& conversation = attempt.conversation;
    const std::string detail = attempt.errorText[0] != '\0' ? std::string(attempt.errorText.data())
                                                            : curl_easy_strerror(attempt.code);
    std::string text = "Cannot deliver through the " + serverDescription() + ": " + detail;
    const std::string exchange = conversation.lastExchange();
    if (!exchange.empty()) {
        text += " (" + exchange + ")";
    }
    if (conversation.lastReplyCode() == 530) {
        text +=
            "; the server wants a secure connection or a log-in first "
            "(AutomationServerEmailUseSSLTLS, AutomationServerEmailUser)";
    }
    return MailUnavailable(text + hintFor(attempt.code, settings_));
}

void SmtpTransport::learnSizeLimit(const Attempt& attempt) {
    // A reused connection greets nobody: what the server said on it still holds.
    if (attempt.conversation.greeted()) {
        sizeLimit_ = attempt.conversation.announcedSize();
    }
}

DeliveryResult SmtpTransport::deliver(const OutgoingMessage& message) {
    const std::string data = composeMessage(message, stamper_.stamp(message.senderAddress));
    std::string recipients;
    for (std::size_t i = 0; i < message.recipients.size(); ++i) {
        recipients += (i == 0 ? "" : "; ") + message.recipients[i];
    }
    const auto tooLarge = [&] {
        return MessageTooLarge("The " + serverDescription() + " takes messages of at most " +
                                   std::to_string(*sizeLimit_) + " bytes (SIZE); the one to '" +
                                   recipients + "' has " + std::to_string(data.size()),
                               *sizeLimit_);
    };
    if (sizeLimit_ && data.size() > *sizeLimit_) {
        throw tooLarge();  // refused before a byte of it is sent
    }
    auto result = attempt(message, data, false);
    learnSizeLimit(result);
    // A server may end a connection it kept open (idle time, messages per connection) with 421
    // or by closing it. When that happens on the reused connection before the message data went
    // out, the server has not got the message: try once more on a new connection.
    if (result.code != CURLE_OK && result.reusedConnection &&
        !result.conversation.messageRefused() &&
        result.conversation.lastCommand() != "message data") {
        result = attempt(message, data, true);
        learnSizeLimit(result);
    }
    if (result.code == CURLE_OK) {
        return {result.conversation.refusedRecipients()};
    }
    const auto& conversation = result.conversation;
    if (!conversation.messageRefused()) {
        throw unavailable(result);
    }
    if (sizeLimit_ && data.size() > *sizeLimit_) {
        throw tooLarge();
    }
    std::string text =
        "The " + serverDescription() + " refused the message to '" + recipients + "': ";
    const auto refused = conversation.refusedRecipients();
    if (conversation.lastCommand() == "RCPT" && !refused.empty()) {
        for (std::size_t i = 0; i < refused.size(); ++i) {
            text += (i == 0 ? "" : "; ") + refused[i].address + " refused with \"" +
                    refused[i].reason + "\"";
        }
    } else {
        text += conversation.lastExchange();
    }
    throw MessageRefused(text, conversation.refusedForGood());
}

std::string SmtpTransport::checkDelivery() {
    Attempt result;
    configureSession(result, url());
    // Connect, greet, STARTTLS and log in, then stop: nothing is sent. The connection is never
    // used for a message and ends (QUIT) with the transport.
    handle_->set(CURLOPT_CONNECT_ONLY, 1L, "CURLOPT_CONNECT_ONLY");
    perform(result);
    if (result.code != CURLE_OK) {
        throw unavailable(result);
    }
    return "the " + serverDescription() + " accepts the connection" +
           (settings_.user.empty() ? "" : " and the log-in");
}

}  // namespace fas::mail
