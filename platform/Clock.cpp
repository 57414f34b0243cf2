#include "Clock.h"

namespace Clock {
namespace {
bool g_fixed = false;
std::time_t g_when = 0;
} // namespace

std::time_t now()
{
    return g_fixed ? g_when : std::time(nullptr);
}

void fixTime(std::time_t when)
{
    g_fixed = true;
    g_when = when;
}

void unfixTime()
{
    g_fixed = false;
}

} // namespace Clock
