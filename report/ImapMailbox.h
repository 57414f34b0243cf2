#pragma once
// Reading an IMAP mailbox through libcurl, without changing it: the mailbox
// is opened with EXAMINE (read-only), mails are fetched with BODY.PEEK[] (no
// \Seen flag) in batches, one round trip per batch, and nothing is ever
// stored, copied, moved, flagged or expunged.

#include "MailSource.h"

#include <cstdint>
#include <optional>
#include <string>

namespace roster {

// imap://user@host:port/MAILBOX or imaps://...; the mailbox defaults to INBOX.
struct ImapAddress {
    bool implicitTls = false; // imaps: TLS from the first byte; imap: STARTTLS, required
    std::string user;         // decoded
    std::string host;         // as in the address (IPv6 in brackets)
    int port = 143;
    std::string mailbox;      // decoded UTF-8
    // The address without the user, for messages.
    std::string shown() const;
};

bool isImapAddress(const std::string& source);

// False, with a message, when the text is not an address the roster can use:
// no user, a password in it (it never belongs on a command line), a query.
bool parseImapAddress(const std::string& source, ImapAddress& out, std::string& error);

struct ImapOptions {
    ImapAddress address;
    std::string password;
    std::string caFile;            // extra trusted authorities (PEM); empty: the system's
    long timeoutMs = 30000;        // the longest wait for the server at any step
    std::optional<std::int64_t> since; // only mails that arrived on or after this day (UTC seconds)
    int batchSize = 500;           // mails per FETCH
};

bool readImap(const ImapOptions& options, const MailSink& sink, SourceError& error);

// The mailbox name as IMAP writes it (modified UTF-7, RFC 3501 5.1.3).
std::string imapMailboxName(const std::string& utf8);

} // namespace roster
