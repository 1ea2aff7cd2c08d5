#include "mail/SmtpConversation.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace fas::mail {

namespace {

std::string_view withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return line;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// The address inside "MAIL FROM:<a@x> SIZE=1" or "RCPT TO:<a@x>".
std::string commandAddress(std::string_view line) {
    const auto open = line.find('<');
    const auto close = line.find('>', open == std::string_view::npos ? 0 : open);
    if (open == std::string_view::npos || close == std::string_view::npos) {
        return {};
    }
    return std::string(line.substr(open + 1, close - open - 1));
}

// "SIZE 10240000" among the lines of an EHLO reply (after the code); SIZE alone or 0 sets no limit.
std::optional<std::size_t> sizeKeyword(std::string_view keyword) {
    if (upper(keyword.substr(0, 4)) != "SIZE" || (keyword.size() > 4 && keyword[4] != ' ')) {
        return std::nullopt;
    }
    std::size_t size = 0;
    for (const char c : keyword.substr(std::min<std::size_t>(keyword.size(), 5))) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        size = size * 10 + static_cast<std::size_t>(c - '0');
    }
    return size == 0 ? std::nullopt : std::optional(size);
}

bool isMessageCommand(const std::string& command) {
    return command == "MAIL" || command == "RCPT" || command == "DATA" || command == "message data";
}

}  // namespace

void SmtpConversation::commandSent(std::string_view line) {
    static constexpr std::array<std::string_view, 11> kVerbs = {
        "EHLO", "HELO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA", "RSET", "NOOP", "QUIT", "VRFY"};
    line = withoutLineEnd(line);
    const std::string verb = upper(line.substr(0, line.find(' ')));
    bool known = false;
    for (const auto candidate : kVerbs) {
        known = known || verb == candidate;
    }
    if (verb == "QUIT" || closing_) {
        // libcurl closes a failed connection within the transfer: what failed came before.
        closing_ = true;
        return;
    }
    reply_.reset();
    argument_.clear();
    if (!known) {
        // A line of an AUTH exchange (encoded credentials): keep nothing of it.
        command_ = command_ == "AUTH" ? "AUTH" : "unknown command";
        return;
    }
    command_ = verb;
    if (verb == "MAIL" || verb == "RCPT") {
        argument_ = commandAddress(line);
    }
    if (verb == "MAIL") {
        recipients_.clear();
    }
    if (verb == "EHLO") {
        greeted_ = true;
        announcedSize_.reset();
    }
    if (verb == "RCPT") {
        recipients_.push_back({argument_, std::nullopt});
    }
}

void SmtpConversation::replyReceived(std::string_view lines) {
    if (closing_) {
        return;
    }
    while (!lines.empty()) {
        const auto end = lines.find('\n');
        const auto line = withoutLineEnd(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
        const bool hasCode = line.size() >= 3 &&
                             std::isdigit(static_cast<unsigned char>(line[0])) &&
                             std::isdigit(static_cast<unsigned char>(line[1])) &&
                             std::isdigit(static_cast<unsigned char>(line[2]));
        if (hasCode && command_ == "EHLO" && line.size() > 4) {
            if (const auto size = sizeKeyword(line.substr(4))) {
                announcedSize_ = size;
            }
        }
        if (!hasCode || (line.size() > 3 && line[3] == '-')) {
            continue;  // a continuation line of a longer reply
        }
        reply_ = SmtpReply{(line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'),
                           std::string(line)};
        if (command_ == "RCPT" && !recipients_.empty()) {
            recipients_.back().reply = reply_;
        }
    }
}

void SmtpConversation::messageDataSent() {
    if (command_ != "message data") {
        command_ = "message data";
        argument_.clear();
        reply_.reset();
    }
}

bool SmtpConversation::messageRefused() const {
    if (!reply_ || !isMessageCommand(command_)) {
        return false;
    }
    const int code = reply_->code;
    return code >= 400 && code <= 599 && code != 421 && code / 10 != 53;
}

bool SmtpConversation::refusedForGood() const {
    if (!messageRefused()) {
        return false;
    }
    if (command_ != "RCPT") {
        return reply_->code / 100 == 5;
    }
    // libcurl gives up after the last recipient when none was accepted.
    for (const auto& recipient : recipients_) {
        if (!recipient.reply || recipient.reply->code / 100 != 5) {
            return false;
        }
    }
    return !recipients_.empty();
}

std::vector<RecipientRefusal> SmtpConversation::refusedRecipients() const {
    std::vector<RecipientRefusal> refused;
    for (const auto& recipient : recipients_) {
        if (recipient.reply && recipient.reply->code / 100 != 2) {
            refused.push_back({recipient.address, recipient.reply->text});
        }
    }
    return refused;
}

std::string SmtpConversation::lastExchange() const {
    if (!reply_) {
        return {};
    }
    std::string what = command_.empty() ? "the connection" : command_;
    if (command_ == "MAIL") {
        what = "MAIL FROM:<" + argument_ + ">";
    } else if (command_ == "RCPT") {
        what = "RCPT TO:<" + argument_ + ">";
    }
    if (command_ == "message data") {
        what = "the message data";
    }
    return "the server answered " + what + " with \"" + reply_->text + "\"";
}

}  // namespace fas::mail
