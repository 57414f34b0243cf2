#pragma once
// The built-in code that unlocks the administrator commands (認証). It is
// compared byte for byte with what was typed; it is empty, so only an empty
// entry unlocks.

#include <string>

namespace settings {

inline constexpr const char* kEditAccessCode = "";

inline bool isEditAccessCode(const std::string& typed)
{
    return typed == kEditAccessCode;
}

} // namespace settings
