// Mail composition on any account, name, subject and body: a message is
// either refused or its header lines are exactly the headers we write (no
// line break slips in from a setting or a name), no line exceeds 998 bytes,
// the subject's encoded words and the base64 body decode back to what was
// given, and the report mails keep their fixed subjects and rate line.
//
// Input, split at zero bytes: server, port, sender, recipients, user name,
// password, candidate's name, a subject, a body, a control byte.

#include "FuzzInput.h"
#include "core/ShiftJis.h"
#include "reportmail/MailMessage.h"
#include "reportmail/ReportMail.h"
#include "reportmail/ResultLog.h"

#include <set>
#include <string>
#include <vector>

namespace {

std::string decodeBase64(const std::string& text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    FUZZ_CHECK(text.size() % 4 == 0);
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        unsigned v = 0;
        int pad = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++pad;
                v <<= 6;
                continue;
            }
            FUZZ_CHECK(pad == 0);
            const std::size_t d = alphabet.find(c);
            FUZZ_CHECK(d != std::string::npos);
            v = (v << 6) | static_cast<unsigned>(d);
        }
        out += static_cast<char>((v >> 16) & 0xFF);
        if (pad < 2)
            out += static_cast<char>((v >> 8) & 0xFF);
        if (pad < 1)
            out += static_cast<char>(v & 0xFF);
    }
    return out;
}

// Whole UTF-8 characters only (overlong forms and surrogates are not looked
// for: the mail texts come from the Shift-JIS decoder).
bool wholeUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

std::vector<std::string> split(const std::string& text, const std::string& by)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (true) {
        const std::size_t at = text.find(by, pos);
        out.push_back(text.substr(pos, at == std::string::npos ? std::string::npos : at - pos));
        if (at == std::string::npos)
            return out;
        pos = at + by.size();
    }
}

bool endsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct Message {
    std::string subject; // decoded
    bool wordsWhole = true;
    std::string body;    // decoded
    std::vector<std::string> to;
};

// Checks the message as a receiving server sees it and reads it back.
Message readBack(const std::string& message)
{
    // Lines end with CR LF and nowhere else.
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r')
            FUZZ_CHECK(i + 1 < message.size() && message[i + 1] == '\n');
        if (message[i] == '\n')
            FUZZ_CHECK(i > 0 && message[i - 1] == '\r');
    }
    FUZZ_CHECK(endsWith(message, "\r\n"));
    std::vector<std::string> lines = split(message.substr(0, message.size() - 2), "\r\n");
    for (const std::string& line : lines)
        FUZZ_CHECK(line.size() <= 998);

    // The header: the fields we write, each once, folded lines starting with
    // a blank.
    static const std::set<std::string> kFields = {"Date",         "From",         "To",
                                                  "Subject",      "Message-ID",   "MIME-Version",
                                                  "Content-Type", "Content-Transfer-Encoding"};
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t i = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string& line = lines[i];
        if (line[0] == ' ' || line[0] == '\t') {
            FUZZ_CHECK(!fields.empty());
            fields.back().second += line.substr(1);
            // The subject is folded to lines of at most 78 characters.
            FUZZ_CHECK(fields.back().first != "Subject" || line.size() <= 78);
            continue;
        }
        const std::size_t colon = line.find(": ");
        FUZZ_CHECK(colon != std::string::npos && kFields.count(line.substr(0, colon)) == 1);
        for (const auto& f : fields)
            FUZZ_CHECK(f.first != line.substr(0, colon));
        fields.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        FUZZ_CHECK(fields.back().first != "Subject" || line.size() <= 78);
    }
    FUZZ_CHECK(fields.size() == kFields.size() && i < lines.size());

    Message m;
    for (const auto& [name, value] : fields) {
        if (name == "To") {
            m.to = split(value, ",");
        } else if (name == "Subject") {
            if (value.find("=?") == std::string::npos) {
                m.subject = value;
                continue;
            }
            // Encoded words of at most 75 characters, one after the other,
            // each of whole characters.
            for (const std::string& word : split(value, "=?UTF-8?B?")) {
                if (word.empty())
                    continue;
                FUZZ_CHECK(endsWith(word, "?=") && word.size() + 10 <= 75);
                const std::string text = decodeBase64(word.substr(0, word.size() - 2));
                m.wordsWhole = m.wordsWhole && wholeUtf8(text);
                m.subject += text;
            }
        }
    }

    // The body: base64 in lines of at most 76 characters.
    std::string encoded;
    for (++i; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].size() <= 76);
        encoded += lines[i];
    }
    m.body = decodeBase64(encoded);
    return m;
}

// Composes the message the way the mail library does, from its three
// arguments and the Shift-JIS subject and body; false when it is refused.
bool compose(const mail::Arguments& args, const std::string& subject, const std::string& body, Message& out,
             std::vector<std::string>& recipients)
{
    mail::ServerAddress server;
    std::string error;
    if (!mail::parseServer(args.server, server, error)) {
        FUZZ_CHECK(!error.empty());
        return false;
    }
    const std::string url = mail::serverUrl(server);
    for (char c : url)
        FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F);
    const mail::SenderAndLogin sender = mail::parseSenderAndLogin(args.sender);
    std::string from;
    if (!mail::parseAddress(sender.from, from, error, "sender") || !mail::parseRecipients(args.recipient, recipients, error))
        return false;
    // Addresses go into the envelope as "<address>": nothing that could end
    // the command or the brackets.
    recipients.push_back(from);
    for (const std::string& a : recipients)
        for (char c : a)
            FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F && c != '<' &&
                       c != '>');
    recipients.pop_back();

    mail::MessageParts parts;
    parts.from = from;
    parts.to = recipients;
    parts.subjectUtf8 = sjis::toUtf8(subject);
    parts.bodyUtf8 = sjis::toUtf8(body);
    parts.date = mail::formatDate(0);
    parts.messageId = mail::makeMessageId(from, 0);
    out = readBack(mail::buildMessage(parts));
    FUZZ_CHECK(out.to == recipients);
    // The subject reads as given, without control characters.
    FUZZ_CHECK(out.subject == mail::withoutControls(parts.subjectUtf8));
    for (char c : out.subject)
        FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    FUZZ_CHECK(out.wordsWhole || !wholeUtf8(out.subject));
    FUZZ_CHECK(out.body == mail::normalizeLineEnds(parts.bodyUtf8));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> p = fuzz::parts(data, size, 10);
    mail::Account account;
    account.smtp = p[0];
    account.port = p[1];
    account.from = p[2];
    account.to = p[3];
    account.id = p[4];
    account.pw = p[5];
    // The name field gives whole characters only.
    const std::string name = sjis::fromUtf8(sjis::toUtf8(p[6]));
    const unsigned control = fuzz::byteOf(p[9]);
    const int kind = static_cast<int>(control % 3);

    const mail::Arguments args = mail::buildArguments(account);
    // The sender argument reads back as stored when the texts hold no tab
    // and the user name no colon.
    if (account.from.find('\t') == std::string::npos && account.id.find('\t') == std::string::npos &&
        account.id.find(':') == std::string::npos) {
        const mail::SenderAndLogin s = mail::parseSenderAndLogin(args.sender);
        FUZZ_CHECK(s.from == "<" + account.from + ">" && s.id == account.id && s.password == account.pw);
    }

    // A report mail: its subject frames the name, the result mail's body is
    // the log and ends with the rate line.
    const std::string subject = mail::subjectFor(kind, name);
    std::string body = mail::fixedBodyFor(kind);
    const int asked = static_cast<int>(control / 3 % 8);
    const int correct = static_cast<int>(control / 24 % 8) % (asked + 1);
    if (kind == mail::kResultMail) {
        // The question file's name comes from the settings file, which holds
        // no line breaks.
        std::string questionFile;
        for (char c : p[7])
            if (c != '\r' && c != '\n')
                questionFile += c;
        ResultLog log;
        log.writeHeader(questionFile, name, asked, 3, 20);
        for (int n = 1; n <= asked; ++n)
            log.appendResultLine(n, n <= correct ? 0 : 1);
        log.appendRateLine(correct, asked);
        body = log.text();
        FUZZ_CHECK(endsWith(body, formatRate(correct, asked) + "%\r\n"));
    }
    Message m;
    std::vector<std::string> recipients;
    if (compose(args, subject, body, m, recipients)) {
        const std::string shownName = mail::withoutControls(sjis::toUtf8(name));
        if (kind == mail::kTestMail)
            FUZZ_CHECK(m.subject == "【テストメール】");
        else
            FUZZ_CHECK(m.subject == "【氏名】:" + shownName + (kind == mail::kStartMail ? " 開始" : " 終了"));
        FUZZ_CHECK(m.body == mail::normalizeLineEnds(sjis::toUtf8(body)));
        // The result mail holds the log's lines and no more: six header
        // lines, one line per question, the rate line. A name cannot add
        // lines that read as results.
        if (kind == mail::kResultMail)
            FUZZ_CHECK(split(m.body, "\r\n").size() == 6u + static_cast<unsigned>(asked) + 1u + 1u);
    }

    // Any subject and body, not only those of the report mails.
    compose(args, p[7], p[8], m, recipients);
    return 0;
}
