#pragma once
// Where the roster reads its mails: a Maildir folder or an mbox file saved
// by a mail client, or an IMAP mailbox (roster/ImapMailbox.h). Every source
// hands each mail, whole, to a sink together with a short text saying where
// it came from. Sources only read: nothing is ever changed, moved or marked.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace roster {

// Where the mails go. A mail larger than the roster reads (kMaxMailBytes in
// roster/Roster.h) is not handed over whole: only its size, to tooLarge.
struct MailSink {
    std::function<void(std::string_view origin, std::string_view bytes)> mail;
    std::function<void(std::string_view origin, std::uint64_t size)> tooLarge;

    template <typename F> MailSink(F onMail) : mail(std::move(onMail)) {}
    template <typename F, typename G>
    MailSink(F onMail, G onTooLarge) : mail(std::move(onMail)), tooLarge(std::move(onTooLarge))
    {
    }
    void operator()(std::string_view origin, std::string_view bytes) const { mail(origin, bytes); }
    void reportTooLarge(std::string_view origin, std::uint64_t size) const
    {
        if (tooLarge)
            tooLarge(origin, size);
    }
};

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

// The mails of a Maildir (new/ and cur/, in name order). A file larger than
// the roster reads is not read.
bool readMaildir(const std::filesystem::path& folder, const MailSink& sink, SourceError& error);

// The mails of an mbox file ("From " lines between them; ">From " lines are
// read back as "From ").
bool readMbox(const std::filesystem::path& file, const MailSink& sink, SourceError& error);

// A folder with cur/ or new/ is a Maildir, a file an mbox.
bool readMailFiles(const std::filesystem::path& path, const MailSink& sink, SourceError& error);

} // namespace roster
