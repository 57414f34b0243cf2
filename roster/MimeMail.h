#pragma once
// One received mail read with GMime: the headers the roster needs and the
// text of the body, both turned into code page 932.

#include <cstdint>
#include <string>
#include <string_view>

namespace roster {

struct ParsedMail {
    std::string messageId;     // without angle brackets; empty when the mail has none
    std::string from;          // the sender's address as written
    bool hasDate = false;
    std::int64_t utcSeconds = 0; // the Date header
    int offsetMinutes = 0;       // and the sender's offset from UTC
    std::string subject;       // code page 932
    std::string body;          // code page 932: the first text/plain part
};

// Parses a whole message (headers and body, CR LF or LF). False, with a
// short reason (UTF-8, in the user's language), when it has no readable
// text: not a message at all, no text part, a charset nobody knows.
bool parseMail(std::string_view raw, ParsedMail& out, std::string& problem);

} // namespace roster
