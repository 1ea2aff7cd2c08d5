#include "mail/QuotedPrintable.h"

namespace fas::mail {

namespace {

constexpr std::size_t kMaxLine = 76;
constexpr char kHex[] = "0123456789ABCDEF";

class QuotedPrintableWriter {
  public:
    explicit QuotedPrintableWriter(std::string& out) : out_(out) {}

    // One logical line (without its CR LF).
    void line(std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            const bool last = i + 1 == text.size();
            if (mustEncode(c, last, text.substr(i))) {
                token(encoded(c));
            } else {
                token(std::string(1, c));
            }
        }
    }

    void hardBreak() {
        out_ += "\r\n";
        column_ = 0;
    }

    void softBreak() {
        out_ += "=\r\n";
        column_ = 0;
    }

  private:
    bool mustEncode(char c, bool lastOfLine, std::string_view rest) const {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ' || c == '\t') {
            return lastOfLine;  // trailing blanks would be stripped in transit
        }
        if (byte < 0x21 || byte > 0x7E || c == '=') {
            return true;
        }
        // Only the first character of a physical line can be either.
        return column_ == 0 && (c == '.' || rest.starts_with("From "));
    }

    static std::string encoded(char c) {
        const auto byte = static_cast<unsigned char>(c);
        return {'=', kHex[byte >> 4], kHex[byte & 0x0F]};
    }

    void token(const std::string& text) {
        // Keep room for the "=" of a soft line break.
        if (column_ + text.size() > kMaxLine - 1) {
            softBreak();
            if (text == "." || text == "F") {
                // The character now starts a physical line: encode it as above.
                out_ += encoded(text[0]);
                column_ = 3;
                return;
            }
        }
        out_ += text;
        column_ += text.size();
    }

    std::string& out_;
    std::size_t column_ = 0;
};

}  // namespace

std::string encodeQuotedPrintable(std::string_view body) {
    std::string out;
    out.reserve(body.size() + body.size() / 8 + 16);
    QuotedPrintableWriter writer(out);
    while (!body.empty()) {
        const auto end = body.find("\r\n");
        if (end == std::string_view::npos) {
            writer.line(body);
            writer.softBreak();
            break;
        }
        writer.line(body.substr(0, end));
        writer.hardBreak();
        body.remove_prefix(end + 2);
    }
    return out;
}

}  // namespace fas::mail
