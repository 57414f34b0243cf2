#pragma once
// Splitting one fuzz input into the several texts a target needs: the parts
// are separated by zero bytes (so no part holds one; zero bytes after the
// last part are dropped); missing parts are empty.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

inline std::vector<std::string> parts(const std::uint8_t* data, std::size_t size, std::size_t count)
{
    std::vector<std::string> out(count);
    std::size_t part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0)
            out[part] += static_cast<char>(data[i]);
        else if (part + 1 < count)
            ++part;
    }
    return out;
}

// The first byte of a part as a small number, 0 for an empty part.
inline unsigned byteOf(const std::string& part)
{
    return part.empty() ? 0u : static_cast<unsigned char>(part.front());
}

// A property does not hold: says which and stops; libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                                        \
    do {                                                                                                             \
        if (!(condition))                                                                                            \
            ::fuzz::fail(#condition);                                                                                \
    } while (false)

} // namespace fuzz
