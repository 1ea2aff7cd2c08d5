#include "startup/ConfigFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "platform/Process.h"
#include "startup/TextEncoding.h"

namespace fas::startup {

namespace {

constexpr int kFieldsRead = 5;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Sequential reading of quoted, comma-separated fields, taken one after another regardless of
// line breaks: the way the files made for this program have always been read.
class FieldReader {
  public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    // The next field, or nothing when the text has ended.
    std::optional<std::string> next() {
        skipBlanks();
        if (!afterComma_) {
            // A field starts on a new line: blank lines before it carry no field.
            while (pos_ < text_.size() && (isLineEnd(text_[pos_]) || isBlank(text_[pos_]))) {
                ++pos_;
            }
        }
        if (pos_ >= text_.size()) {
            if (!afterComma_) {
                return std::nullopt;
            }
            afterComma_ = false;
            return std::string();  // "x," at the very end: the comma announces an empty field
        }
        std::string field;
        if (text_[pos_] == '"') {
            const auto close = text_.find('"', pos_ + 1);
            if (close == std::string_view::npos) {
                throw std::runtime_error("a quoted field is not closed (no second double quote)");
            }
            field = std::string(text_.substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
            // Anything between the closing quote and the delimiter is not part of the field.
            while (pos_ < text_.size() && text_[pos_] != ',' && !isLineEnd(text_[pos_])) {
                ++pos_;
            }
        } else {
            const auto start = pos_;
            while (pos_ < text_.size() && text_[pos_] != ',' && !isLineEnd(text_[pos_])) {
                ++pos_;
            }
            field = std::string(text_.substr(start, pos_ - start));
            while (!field.empty() && isBlank(field.back())) {
                field.pop_back();
            }
        }
        consumeDelimiter();
        return field;
    }

  private:
    void skipBlanks() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) {
            ++pos_;
        }
    }

    void consumeDelimiter() {
        afterComma_ = false;
        if (pos_ >= text_.size()) {
            return;
        }
        if (text_[pos_] == ',') {
            ++pos_;
            afterComma_ = true;
        } else if (text_[pos_] == '\r') {
            ++pos_;
            if (pos_ < text_.size() && text_[pos_] == '\n') {
                ++pos_;
            }
        } else if (text_[pos_] == '\n') {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool afterComma_ = false;
};

std::string describeFile(const std::filesystem::path& file) {
    return "The configuration file " + file.string();
}

const char* missingPartOf(int fieldsRead) {
    switch (fieldsRead) {
        case 0:
            return "it is empty";
        case 1:
        case 2:
            return "the database location record (record 2) is missing or incomplete";
        default:
            return "the caption record (record 3) is missing or incomplete";
    }
}

}  // namespace

std::filesystem::path DefaultConfigFile() {
    const auto executable = platform::ExecutableFile();
    if (executable.empty()) {
        return std::filesystem::current_path() / "config.txt";
    }
    return executable.parent_path() / "config.txt";
}

ConfigValues ParseConfigText(std::string_view text, const std::filesystem::path& file) {
    const std::string utf8 = ToUtf8(text);
    FieldReader reader(utf8);
    std::array<std::string, kFieldsRead> fields;
    for (int i = 0; i < kFieldsRead; ++i) {
        std::optional<std::string> field;
        try {
            field = reader.next();
        } catch (const std::exception& e) {
            throw ConfigError(describeFile(file) + " cannot be read: field " +
                              std::to_string(i + 1) + ": " + e.what() + ".");
        }
        if (!field) {
            // Fields are counted across records, so a stray quote earlier on is blamed on a
            // later record: say so, without quoting any field (the location may hold a password).
            throw ConfigError(describeFile(file) + " holds " + std::to_string(i) + " of the " +
                              std::to_string(kFieldsRead) +
                              " fields start-up needs: " + missingPartOf(i) +
                              (i == 0 ? "."
                                      : ". Every field is enclosed in its own pair of double "
                                        "quotes, fields separated by commas; a quote out of "
                                        "place in an earlier record takes the fields after "
                                        "it along."));
        }
        fields[static_cast<std::size_t>(i)] = std::move(*field);
    }
    return ConfigValues{fields[2], fields[4]};
}

ConfigValues ReadConfigFile(const std::filesystem::path& file) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status)) {
        throw ConfigError(describeFile(file) + " does not exist.");
    }
    if (std::filesystem::is_directory(status)) {
        throw ConfigError(describeFile(file) + " cannot be read: it is a directory.");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw ConfigError(describeFile(file) + " cannot be read: " + std::strerror(errno) + ".");
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw ConfigError(describeFile(file) + " cannot be read: " + std::strerror(errno) + ".");
    }
    return ParseConfigText(text, file);
}

void ReadConfigFile(ServerState& state, const std::filesystem::path& file) {
    auto values = ReadConfigFile(file);
    state.DatabaseLocation = std::move(values.DatabaseLocation);
    state.CaptionSuffix = std::move(values.CaptionSuffix);
    state.configDirectory = std::filesystem::absolute(file).parent_path();
}

}  // namespace fas::startup
