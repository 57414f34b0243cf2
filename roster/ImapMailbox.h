#pragma once
// Reading an IMAP mailbox through libcurl, without changing it: the mailbox
// is opened with EXAMINE (read-only), mails are fetched with BODY.PEEK[] (no
// \Seen flag) in batches, one round trip per batch, and nothing is ever
// stored, copied, moved, flagged or expunged.

#include "ImapProtocol.h"
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
// no user, a password in it (it never belongs on a command line), a query,
// a control character in the user or the mailbox name.
bool parseImapAddress(const std::string& source, ImapAddress& out, std::string& error);

// The whole session, from connecting to the last answer, may take this
// many times the time for one answer.
constexpr int kSessionTimeouts = 20;

struct ImapOptions {
    ImapAddress address;
    std::string password;
    std::string caFile;            // extra trusted authorities (PEM); empty: the system's
    long timeoutMs = 30000;        // connecting and logging in; each answer (ImapProtocol.h)
    std::optional<std::int64_t> since; // only mails that arrived at most a day before this (UTC seconds)
    int batchSize = 500;           // mails per FETCH
};

// A password holding CR or LF (which would end the login command early and
// start another) is refused before connecting, as a usage error.
bool readImap(const ImapOptions& options, const MailSink& sink, SourceError& error);

} // namespace roster
