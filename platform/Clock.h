#pragma once
// The calendar time the test run seeds its random order with. Tests fix it;
// nothing else changes it.

#include <ctime>

namespace Clock {

// The current time in whole seconds, or the fixed time while one is set.
std::time_t now();

// Fixes the time (tests); unfixTime() goes back to the system clock.
void fixTime(std::time_t when);
void unfixTime();

} // namespace Clock
