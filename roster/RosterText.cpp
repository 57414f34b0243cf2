#include "RosterText.h"

#include <atomic>

namespace roster {

namespace {
std::atomic<bool> g_japanese{false};
}

void setJapanese(bool japanese)
{
    g_japanese = japanese;
}

bool japanese()
{
    return g_japanese;
}

} // namespace roster
