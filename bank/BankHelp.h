#pragma once
// The texts of molvane-bank itself: --help and the messages of the command
// line, in Japanese and English (UTF-8).

#include "bank/BankMessages.h"

#include <string>

namespace bankcli {

using bank::Language;

// Japanese when the system's language is Japanese, English otherwise.
Language systemLanguage();

// The whole --help, or that of one command ("check", "export", "import").
std::string helpText(Language lang, const std::string& command = {});

// Picks the text of the language.
inline const char* tr(Language lang, const char* ja, const char* en)
{
    return lang == Language::Japanese ? ja : en;
}

} // namespace bankcli
