#pragma once
// The period of the program's one-second timers (the run timer and the
// judge popup's timer). Tests shorten it; nothing else changes it.

namespace TimerPeriods {

int oneSecondMs();
void setOneSecondMs(int ms);

} // namespace TimerPeriods
