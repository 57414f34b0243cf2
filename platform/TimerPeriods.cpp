#include "TimerPeriods.h"

namespace TimerPeriods {
namespace {
int g_period = 1000;
}

int oneSecondMs()
{
    return g_period;
}

void setOneSecondMs(int ms)
{
    g_period = ms > 0 ? ms : 1;
}

} // namespace TimerPeriods
