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

bool isUsableAddress(std::string_view address) {
    if (address.empty() || address.size() > 254) {
        return false;
    }
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            return false;
        }
        switch (c) {
            case '<':
            case '>':
            case '(':
            case ')':
            case ',':
            case ';':
            case ':':
            case '"':
            case '\\':
            case '[':
            case ']':
                return false;
            default:
                break;
        }
    }
    return true;
}

std::string_view addressDomain(std::string_view address) {
    const auto at = address.rfind('@');
    return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

}  // namespace fas::mail
