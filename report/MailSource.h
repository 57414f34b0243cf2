#pragma once
// Where the roster reads its mails: a Maildir folder or an mbox file saved
// by a mail client, or an IMAP mailbox (report/ImapMailbox.h). Every source
// hands each mail, whole, to a sink together with a short text saying where
// it came from. Sources only read: nothing is ever changed, moved or marked.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace roster {

using MailSink = std::function<void(std::string_view origin, std::string_view bytes)>;

// Why a source could not be read; messages are UTF-8 in the user's language.
struct SourceError {
    enum Kind {
        None,
        Usage,   // an option names something that cannot be used (a certificate file)
        Access,  // missing, not a mailbox, unreadable, unreachable, refused, cut off
        Login,   // the server refused the user name or password
    };
    Kind kind = None;
    std::string message;
};

// The mails of a Maildir (new/ and cur/, in name order).
bool readMaildir(const std::filesystem::path& folder, const MailSink& sink, SourceError& error);

// The mails of an mbox file ("From " lines between them; ">From " lines are
// read back as "From ").
bool readMbox(const std::filesystem::path& file, const MailSink& sink, SourceError& error);

// A folder with cur/ or new/ is a Maildir, a file an mbox.
bool readMailFiles(const std::filesystem::path& path, const MailSink& sink, SourceError& error);

} // namespace roster
