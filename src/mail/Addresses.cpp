#include "mail/Addresses.h"

namespace fas::mail {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::vector<std::string> splitRecipientText(std::string_view recipientText) {
    std::vector<std::string> addresses;
    while (true) {
        const auto separator = recipientText.find(';');
        const auto piece = trimmed(recipientText.substr(0, separator));
        if (!piece.empty()) {
            addresses.emplace_back(piece);
        }
        if (separator == std::string_view::npos) {
            break;
        }
        recipientText.remove_prefix(separator + 1);
    }
    return addresses;
}

namespace {

// RFC 5322 atext: what a local part may hold besides dots.
bool isAtext(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Dot-separated non-empty parts, each made only of characters `allowed` accepts.
template <typename Allowed>
bool isDotSeparated(std::string_view text, Allowed allowed) {
    if (text.empty() || text.front() == '.' || text.back() == '.') {
        return false;
    }
    char previous = '\0';
    for (const char c : text) {
        if (c == '.' ? previous == '.' : !allowed(c)) {
            return false;
        }
        previous = c;
    }
    return true;
}

}  // namespace

bool isUsableAddress(std::string_view address) {
    // local@domain: a dot-atom local part, one "@", a domain of letters, digits and hyphens
    // between dots. Anything else could only be refused by the server or break the To header.
    if (address.empty() || address.size() > 254) {
        return false;
    }
    const auto at = address.find('@');
    if (at == std::string_view::npos || address.find('@', at + 1) != std::string_view::npos) {
        return false;
    }
    const std::string_view local = address.substr(0, at);
    const std::string_view domain = address.substr(at + 1);
    if (local.size() > 64) {
        return false;
    }
    return isDotSeparated(local, isAtext) && isUsableDomain(domain);
}

bool isUsableDomain(std::string_view domain) {
    const auto label = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-';
    };
    return domain.size() <= 253 && isDotSeparated(domain, label);
}

std::string_view addressDomain(std::string_view address) {
    const auto at = address.rfind('@');
    return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

}  // namespace fas::mail
