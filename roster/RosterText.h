#pragma once
// The language of what the roster program says: Japanese or English,
// chosen once from the system language. Messages are UTF-8.

#include <string>

namespace roster {

void setJapanese(bool japanese);
bool japanese();

// The English or the Japanese text, whichever the user reads.
inline std::string say(const char* english, const char* japanese_)
{
    return japanese() ? japanese_ : english;
}

} // namespace roster
