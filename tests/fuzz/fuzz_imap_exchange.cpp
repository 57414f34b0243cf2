// The roster's IMAP exchange after the login, against a server that answers
// with the fuzz input whatever it is asked: it always ends (the input runs
// out, a limit or a parse error stops it), never hands over a mail larger
// than the roster reads or one it did not ask for twice, and says why it
// stopped in a message without control characters.
//
// Input: the first byte sets how many bytes the server sends at a time and
// whether --since is given; the rest is everything the server says.

#include "FuzzInput.h"
#include "roster/ImapProtocol.h"
#include "roster/Roster.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

namespace {

class Replay : public roster::ImapConnection {
public:
    Replay(const std::uint8_t* data, std::size_t size, std::size_t chunk)
        : m_data(reinterpret_cast<const char*>(data)), m_size(size), m_chunk(chunk)
    {
    }
    Io send(std::string_view bytes, roster::ImapClock::time_point) override
    {
        FUZZ_CHECK(bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n");
        FUZZ_CHECK(bytes.find_first_of("\r\n") == bytes.size() - 2); // one command line, nothing after it
        ++m_commands;
        return Io::Ok;
    }
    Io receive(char* buffer, std::size_t size, std::size_t& received, roster::ImapClock::time_point) override
    {
        if (m_pos >= m_size)
            return Io::Closed;
        received = std::min({size, m_chunk, m_size - m_pos});
        std::memcpy(buffer, m_data + m_pos, received);
        m_pos += received;
        return Io::Ok;
    }
    int commands() const { return m_commands; }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_chunk;
    std::size_t m_pos = 0;
    int m_commands = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned control = data[0];
    Replay server(data + 1, size - 1, (control & 0x7F) + 1);
    roster::ImapReading reading;
    reading.mailbox = "INBOX";
    reading.where = "fuzz:993";
    reading.batchMails = 3;
    reading.batchBytes = 4096;
    if (control & 0x80)
        reading.since = 1796605200;

    std::set<std::string> delivered;
    const roster::MailSink sink(
        [&delivered](std::string_view origin, std::string_view bytes) {
            FUZZ_CHECK(bytes.size() <= roster::kMaxMailBytes);
            FUZZ_CHECK(delivered.insert(std::string(origin)).second);
        },
        [](std::string_view, std::uint64_t bytes) { FUZZ_CHECK(bytes > roster::kMaxMailBytes); });
    roster::SourceError error;
    const bool read = roster::readMailbox(server, reading, sink, error);
    if (!read) {
        FUZZ_CHECK(error.kind == roster::SourceError::Access && !error.message.empty());
        for (char c : error.message)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    // A command is only sent once the answer to the one before is complete,
    // so the input bounds how many there are.
    FUZZ_CHECK(static_cast<std::size_t>(server.commands()) <= size / 4 + 3);
    return 0;
}
