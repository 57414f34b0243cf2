// The CSV reader on any bytes: cells written back and read again are the same
// cells, and a bank's CSV gives back every record that fits.

#include "BankFuzz.h"
#include "core/Csv.h"

#include <cstdint>

namespace {

std::vector<std::vector<std::string>> rowsOf(const std::string& text, bool& complete)
{
    std::istringstream in(text);
    csv::Reader reader(in, 1 << 16);
    std::vector<std::vector<std::string>> rows;
    std::vector<csv::Field> fields;
    while (reader.next(fields)) {
        rows.emplace_back();
        for (const auto& f : fields)
            rows.back().push_back(f.text);
    }
    complete = reader.error() == csv::Reader::Error::None;
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);

    bool complete = false;
    const auto rows = rowsOf(input, complete);
    std::string written;
    for (const auto& row : rows)
        csv::appendRecord(written, row);
    bool again = false;
    if (rowsOf(written, again) != rows || !again)
        std::abort();

    bankfuzz::readAndRoundTrip(bank::Format::Csv, bank::Encoding::Auto, input);
    bankfuzz::readAndRoundTrip(bank::Format::Csv, bank::Encoding::Cp932, input);
    return 0;
}
