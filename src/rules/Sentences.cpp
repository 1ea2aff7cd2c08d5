#include "rules/Sentences.h"

#include <array>

namespace fas::rules {
namespace {

// One row of the sentence table. The texts are templates: {date}, {desc}, {test type} and
// {item} stand for the values, {subject} for the finished subject and {body} for the finished
// body line. Values are inserted once and never scanned again, so a description that happens to
// contain "{date}" stays as it is.
struct SentenceRow {
    std::string_view item;
    std::string_view subject;
    std::string_view bodyLine;
    std::string_view issue;
};

constexpr std::string_view kTestTypeItem = "Drug/Alcohol Test Due";

constexpr std::array<SentenceRow, 18> kSentenceTable{{
    {"PAI Due", "Periodic Annual Inspection (Federal) Due: {date}", "{subject} ", "{subject}"},
    {"V - External Visual", "V - External Visual Inspection Due: {date}", "{subject} ",
     "{subject}"},
    {"K - Leakage", "K - Leakage Test Due: {date}", "{subject} ", "{subject}"},
    {"I - Internal Visual", "I - Internal Visual Inspection Due: {date}", "{subject} ",
     "{subject}"},
    {"P - Pressure", "P - Pressure Test Due: {date}", "{subject} ", "{subject}"},
    {"Emergency Exit Equipment", "Emergency Exit Equipment Inspection Due: {date}", "{subject} ",
     "{subject}"},
    {"DL Expire", "Driver's License Expire: {date}",
     "Driver's License Expires: {date} Need new copy of driver's license.", "{body}"},
    {"MC Expire", "Medical Card Expires: {date}",
     "Medical Card Expires: {date} Need copy of new medical card after submission to state "
     "driver's license agency (if required).",
     "{body}"},
    {"MVR Expire", "Annual Motor Vehicle Report Expires: {date}",
     "Annual Motor Vehicle Report (MVR) Expires: {date} New motor vehicle report (MVR) must be "
     "obtained.",
     "{body}"},
    {"COV Expire", "Annual Certificate of Violations Expires: {date}",
     "Annual Certificate of Violations Expires: {date} Driver required to complete new "
     "Certificate of Violations Form.",
     "{body}"},
    {"TWIC Expire", "Transportation Worker's Identification Card (TWIC) Expires: {date}",
     "{subject} ", "Transportation Worker's Identification Card Expires: {date}"},
    {"Other Date Expire", "Other Date Expire: {desc} {date}", "{subject} ", "{subject}"},
    {"Other Date Expire - Vehicle", "Other Date Expire: {desc} {date}", "{subject} ", "{subject}"},
    {kTestTypeItem, "{test type}", "{test type}: {date} ", "{test type}: {date}"},
    {"Passport Expire", "Passport Expires: {date}", "{subject} ", "{subject}"},
    {"HAZMAT Training Expire", "HAZMAT Training Expires: {date}", "{subject} ", "{subject}"},
    {"MC MVR Expire",
     "Medical Card State Driver's License Agency (SDLA) Status Verification or Motor Vehicle "
     "Report (MVR) Due:{date}",
     "{subject} ", "{subject}"},
    {"Driver Dash Expire",
     "Annual Drug and Alcohol Clearinghouse (DACH) Query Expires: {date} - An annual query of "
     "the DACH is required for this driver.",
     "{subject}", "{subject}"},
}};

// Any item without a row of its own.
constexpr SentenceRow kOtherItem{"", "{item}", "{item}: {date}", "{item}: {date}"};

struct Fill {
    std::string_view item;
    const SentenceValues& values;
    const std::string* subject = nullptr;
    const std::string* body = nullptr;

    std::string operator()(std::string_view text) const {
        std::string out;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t open = text.find('{', pos);
            const std::size_t close =
                open == std::string_view::npos ? std::string_view::npos : text.find('}', open);
            if (close == std::string_view::npos) {
                out.append(text.substr(pos));
                break;
            }
            out.append(text.substr(pos, open - pos));
            out.append(valueOf(text.substr(open + 1, close - open - 1)));
            pos = close + 1;
        }
        return out;
    }

    std::string_view valueOf(std::string_view name) const {
        if (name == "date") {
            return values.date;
        }
        if (name == "desc") {
            return values.desc;
        }
        if (name == "test type") {
            return values.testType;
        }
        if (name == "item") {
            return item;
        }
        if (name == "subject" && subject != nullptr) {
            return *subject;
        }
        if (name == "body" && body != nullptr) {
            return *body;
        }
        return {};
    }
};

const SentenceRow& rowOf(std::string_view item) {
    for (const SentenceRow& row : kSentenceTable) {
        if (row.item == item) {
            return row;
        }
    }
    return kOtherItem;
}

}  // namespace

Sentences DateExpirySentences(std::string_view item, const SentenceValues& values) {
    const SentenceRow& row = rowOf(item);
    Sentences s;
    Fill fill{item, values};
    s.subject = fill(row.subject);
    fill.subject = &s.subject;
    s.bodyLine = fill(row.bodyLine);
    fill.body = &s.bodyLine;
    s.issue = fill(row.issue);
    return s;
}

bool SentencesNameTestType(std::string_view item) {
    return item == kTestTypeItem;
}

std::string TrainingExpirySentence(std::string_view desc, std::string_view date) {
    std::string sentence(desc);
    sentence += " expires ";
    sentence += date;
    return sentence;
}

}  // namespace fas::rules
