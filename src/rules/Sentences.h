#pragma once

#include <string>
#include <string_view>

namespace fas::rules {

// The three texts a due date is told in: the e-mail subject, the line of the e-mail body and the
// description of the automatic issue (after "(AUTO ISSUE) ").
struct Sentences {
    std::string subject;
    std::string bodyLine;
    std::string issue;
};

// What a sentence may name besides the rule's item: the row's date text, the row's description
// and, for drug and alcohol tests, the test type's name.
struct SentenceValues {
    std::string date;
    std::string desc;
    std::string testType;
};

// The sentences of the date-expiry rule for an item (compared exactly, case included); an item
// without sentences of its own is told by its name.
Sentences DateExpirySentences(std::string_view item, const SentenceValues& values);

// Whether the item's sentences name the test type, so the row's test type must be looked up.
bool SentencesNameTestType(std::string_view item);

// The one sentence of a training record: subject, body line and issue description alike.
std::string TrainingExpirySentence(std::string_view desc, std::string_view date);

}  // namespace fas::rules
