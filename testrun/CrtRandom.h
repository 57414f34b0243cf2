#pragma once
// The pseudo-random generator of the test run: the C library's classic
// linear congruential generator, seeded with the time in whole seconds
// before every question. The same seed gives the same numbers on every
// platform.

#include <cstdint>

class CrtRandom {
public:
    void seed(std::uint32_t s) { m_state = s; }
    // 0 to 32767.
    int next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFFu);
    }

private:
    std::uint32_t m_state = 1;
};
