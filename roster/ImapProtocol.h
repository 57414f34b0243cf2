#pragma once
// The roster's side of an IMAP session once the server has let it in: the
// mailbox is opened read-only, the mails' sizes are asked for, and the mails
// are fetched in batches. It runs on any byte stream (the TLS connection of
// roster/ImapMailbox.h, or a stand-in in tests), and trusts nothing the
// server says:
//
// - each answer (everything the server sends in reply to one command, up to
//   its tagged completion) must be complete within the answer time, and the
//   whole session within the session deadline;
// - a line outside literals may hold at most kMaxImapLineBytes; a literal at
//   most kMaxMailBytes (roster/Roster.h), the largest mail the roster reads;
//   each byte received is looked at once;
// - an answer that cannot be parsed ends the reading with a message naming
//   what was wrong, never with a mailbox read as empty.

#include "MailSource.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace roster {

using ImapClock = std::chrono::steady_clock;

// The longest line the server may send outside literals: 1 MiB. The
// roster's commands are answered with short lines (one per mail); only a
// list of flags or a text of the server's could grow, and none needs more.
constexpr std::size_t kMaxImapLineBytes = std::size_t(1) << 20;

// The most mails the roster reads from one mailbox, 4 Mi: years of a test
// centre's mails, and a bound on what the list of them may take (16 bytes a
// mail).
constexpr std::size_t kMaxImapMails = std::size_t(1) << 22;

// A byte stream to the server.
class ImapConnection {
public:
    enum class Io {
        Ok,
        Closed,   // the server closed the connection
        TimedOut, // the deadline passed first
        Failed,   // the connection broke
    };
    virtual ~ImapConnection() = default;
    // Sends every byte before the deadline.
    virtual Io send(std::string_view bytes, ImapClock::time_point deadline) = 0;
    // Receives at least one byte (at most `size`) before the deadline.
    virtual Io receive(char* buffer, std::size_t size, std::size_t& received, ImapClock::time_point deadline) = 0;
};

struct ImapReading {
    std::string mailbox;          // UTF-8
    std::string where;            // host:port, for messages
    long answerMs = 30000;        // the time for each answer
    ImapClock::time_point sessionDeadline = ImapClock::time_point::max();
    std::optional<std::int64_t> since; // only mails that arrived at most a day before this (UTC seconds)
    std::size_t batchMails = 500; // mails per FETCH...
    std::size_t batchBytes = std::size_t(8) << 20; // ...and bytes (a larger mail goes alone)
};

// Reads the mailbox over a connection on which the login has been done.
bool readMailbox(ImapConnection& connection, const ImapReading& reading, const MailSink& sink, SourceError& error);

// Text a server sent, fit for a message: at most 300 bytes, every control
// character made visible.
std::string serverText(std::string_view text);

// A time in seconds for messages: "30", "0.5".
std::string secondsText(long ms);

// The mailbox name as IMAP writes it (modified UTF-7, RFC 3501 5.1.3).
std::string imapMailboxName(const std::string& utf8);

// An IMAP date-time ("08-Dec-2026 10:15:00 +0900", the day perhaps with a
// space before it) as UTC seconds.
bool parseImapDateTime(std::string_view text, std::int64_t& utcSeconds);

} // namespace roster
