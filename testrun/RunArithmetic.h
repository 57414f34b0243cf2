#pragma once
// Counters of a run come from hand-editable settings and may hold any 32-bit
// value: stepping them wraps around instead of overflowing.

#include <cstdint>

inline int wrappingAdd(int value, int step)
{
    return static_cast<int>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(step));
}
