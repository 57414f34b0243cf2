// The Aiken reader on any bytes: no crash, and every question it reads that
// fits a record comes back the same through the Aiken writer.

#include "BankFuzz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    bankfuzz::readAndRoundTrip(bank::Format::Aiken, bank::Encoding::Auto, input);
    return 0;
}
