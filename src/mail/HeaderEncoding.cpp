#include "mail/HeaderEncoding.h"

namespace fas::mail {

namespace {

constexpr std::size_t kFoldAt = 78;
constexpr std::size_t kLongestWord = 900;  // a line may not pass 998 characters
// "=?UTF-8?B?" + base64 + "?=" stays within 75 characters with 45 bytes of text.
constexpr std::size_t kEncodedWordBytes = 45;

// A header value is one line: every control character (CR and LF included) becomes a blank.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = ' ';
        }
    }
    return out;
}

bool isPlainAscii(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            return false;
        }
    }
    // A reader would take "=?...?=" for an encoded word.
    return text.find("=?") == std::string_view::npos;
}

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const auto n = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16 |
                       static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                       static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 2]));
        out += kAlphabet[n >> 18 & 63];
        out += kAlphabet[n >> 12 & 63];
        out += kAlphabet[n >> 6 & 63];
        out += kAlphabet[n & 63];
    }
    if (i < bytes.size()) {
        auto n = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) {
            n |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        }
        out += kAlphabet[n >> 18 & 63];
        out += kAlphabet[n >> 12 & 63];
        out += i + 1 < bytes.size() ? kAlphabet[n >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Encoded words of at most kEncodedWordBytes each (the first one shorter, to fit on the line
// after "Name: "), never splitting a UTF-8 character.
std::vector<std::string> encodedWords(std::string_view text, std::string_view fieldName) {
    // "=?UTF-8?B?" and "?=" take 12 characters; 4 base64 characters carry 3 bytes.
    const std::size_t firstRoom = kFoldAt - fieldName.size() - 2 - 12;
    std::size_t limit = std::min(kEncodedWordBytes, firstRoom / 4 * 3);
    std::vector<std::string> words;
    while (!text.empty()) {
        std::size_t take = std::min(text.size(), limit);
        limit = kEncodedWordBytes;
        while (take < text.size() && take > 1 && isContinuationByte(text[take])) {
            --take;
        }
        words.push_back("=?UTF-8?B?" + base64(text.substr(0, take)) + "?=");
        text.remove_prefix(take);
    }
    return words;
}

// Joins words with blanks, starting a continuation line where the line would pass kFoldAt.
class FoldedLine {
  public:
    explicit FoldedLine(std::string_view name)
        : out_(std::string(name) + ":"), column_(out_.size()) {}

    void word(std::string_view text, std::string_view separator = " ") {
        if (column_ + separator.size() + text.size() > kFoldAt && !first_) {
            out_ += std::string(separator.substr(0, separator.size() - 1)) + "\r\n ";
            column_ = 1;
        } else {
            out_ += separator;
            column_ += separator.size();
        }
        out_ += text;
        column_ += text.size();
        first_ = false;
    }

    std::string take() { return std::move(out_); }

  private:
    std::string out_;
    std::size_t column_;
    bool first_ = true;
};

std::vector<std::string_view> blankSeparated(std::string_view text) {
    std::vector<std::string_view> words;
    while (true) {
        const auto blank = text.find(' ');
        words.push_back(text.substr(0, blank));
        if (blank == std::string_view::npos) {
            return words;
        }
        text.remove_prefix(blank + 1);
    }
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string unstructuredField(std::string_view name, std::string_view value) {
    const std::string text = oneLine(value);
    const auto words = blankSeparated(text);
    bool plain = isPlainAscii(text);
    for (const auto word : words) {
        plain = plain && word.size() <= kLongestWord;
    }
    FoldedLine line(name);
    if (!plain) {
        for (const auto& word : encodedWords(text, name)) {
            line.word(word);
        }
        return line.take();
    }
    // Folding before a blank keeps it: unfolding gives the text back unchanged. A run of blanks
    // stays together with the word that follows it.
    std::string blanks;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i].empty() && i + 1 < words.size()) {
            blanks += ' ';
            continue;
        }
        line.word(blanks + std::string(words[i]));
        blanks.clear();
    }
    return line.take();
}

std::string mailboxField(std::string_view name, std::string_view displayName,
                         std::string_view address) {
    const std::string text = oneLine(displayName);
    FoldedLine line(name);
    if (text.empty()) {
        line.word(address);
        return line.take();
    }
    if (isPlainAscii(text)) {
        line.word(quoted(text));
    } else {
        for (const auto& word : encodedWords(text, name)) {
            line.word(word);
        }
    }
    std::string angled = "<";
    angled += address;
    angled += '>';
    line.word(angled);
    return line.take();
}

std::string addressListField(std::string_view name, const std::vector<std::string>& addresses) {
    FoldedLine line(name);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        line.word(addresses[i], i == 0 ? " " : ", ");
    }
    return line.take();
}

}  // namespace fas::mail
