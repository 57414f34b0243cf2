#pragma once
// What the bank tools say about problems, findings, notes and cuts, in
// Japanese or English (UTF-8). Location prefixes ("file:12: ") are the
// caller's.

#include "BankCheck.h"
#include "BankQuestion.h"

#include <string>

namespace bank {

enum class Language { Japanese, English };

std::string problemText(const Problem& p, Language lang);
std::string findingText(const Finding& f, Language lang);
std::string noteText(const Note& n, Language lang);
std::string cutText(const Cut& c, Language lang);

// "question text", "answer 3"... for a field name of the formats.
std::string fieldText(const std::string& field, Language lang);

// Replaces %1, %2... in a template.
std::string fill(std::string_view text, std::initializer_list<std::string_view> args);

} // namespace bank
