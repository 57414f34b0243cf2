#pragma once
// The pieces of one outgoing mail: reading the server, address and login
// arguments handed to BSendMail, and writing the message itself (headers and
// a UTF-8 body) the way every mail client reads it.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

struct ServerAddress {
    std::string host;  // a name, an IPv4 address or an IPv6 address without brackets
    int port = 25;
    bool implicitTls = false; // port 465: TLS from the first byte
};

// Reads "host:port" (an empty port means 25; "[v6]:port" is understood).
// On failure returns false and a short reason in error.
bool parseServer(std::string_view text, ServerAddress& out, std::string& error);

// The URL libcurl is given for the server: smtps://host:port or smtp://host:port.
std::string serverUrl(const ServerAddress& server);

// "<FROM>" TAB "ID:PW". The login is split at the first colon, so a password
// may hold colons. Without a tab the whole text is the sender.
struct SenderAndLogin {
    std::string from;
    std::string id;
    std::string password;
};
SenderAndLogin parseSenderAndLogin(std::string_view text);

// One address as the settings hold it: surrounding spaces and one pair of
// angle brackets are dropped. False (with a reason) when the address is
// empty, not a plain local@domain of printable ASCII, or longer than mail
// allows (a local part of 64 octets, 254 in all). `what` is "sender" or
// "recipient".
bool parseAddress(std::string_view text, std::string& address, std::string& error, const char* what);

// "<TO>", where TO may list several addresses separated by "," or ";".
bool parseRecipients(std::string_view text, std::vector<std::string>& out, std::string& error);

// Control characters of a header text made harmless: CR, LF and TAB become
// spaces, every other control character is dropped.
std::string withoutControls(std::string_view utf8);

// A header value: printable ASCII stays as it is; anything else is written
// as RFC 2047 encoded words (UTF-8, base64), folded so that no line exceeds
// 78 characters. `used` is the length of the header name and ": " before it.
std::string encodeHeaderValue(std::string_view utf8, std::size_t used);

// Base64 of the bytes in lines of at most 76 characters, each ended by CR LF.
std::string base64Lines(std::string_view bytes);

// Lone CR or LF become CR LF.
std::string normalizeLineEnds(std::string_view text);

// "Mon, 07 Dec 2026 21:53:15 +0900" in the local time zone.
std::string formatDate(std::time_t when);

// A fresh "<random.time@domain>" for the domain of the sender.
std::string makeMessageId(const std::string& fromAddress, std::time_t when);

struct MessageParts {
    std::string from;             // address
    std::vector<std::string> to;  // addresses
    std::string subjectUtf8;
    std::string bodyUtf8;
    std::string date;             // formatDate()
    std::string messageId;        // makeMessageId()
};

// The whole message, CR LF line ends, ready for the DATA phase.
std::string buildMessage(const MessageParts& parts);

} // namespace mail
