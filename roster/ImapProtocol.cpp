#include "ImapProtocol.h"

#include "Roster.h"
#include "RosterText.h"

#include "core/TerminalText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace roster {

namespace {

using Io = ImapConnection::Io;

// An IMAP quoted string.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string mib(std::size_t bytes)
{
    return std::to_string(bytes >> 20) + " MiB";
}

bool upperEquals(std::string_view a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i])
            return false;
    }
    return true;
}

// Decimal digits only, at most `max`.
bool parseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (max - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

constexpr std::uint64_t kMaxUid = 4294967295u;

// One response of the server: its text and the literals that came with it,
// in turn (text, literal, text, ...).
struct Response {
    std::vector<std::string> parts;
    const std::string& firstLine() const { return parts.front(); }
};

struct Token {
    enum Kind { Atom, String, Nil, Open, Close, End, Error } kind = End;
    std::string value;
};

// Reads the tokens of a response one by one. A quoted string that does not
// end before its line does, or a bracket that is never closed, is an Error.
class Tokens {
public:
    explicit Tokens(const Response& response) : m_response(response) {}

    Token next()
    {
        const std::string& text = m_response.parts[m_part];
        while (m_pos < text.size() && text[m_pos] == ' ')
            ++m_pos;
        if (m_pos >= text.size()) {
            if (m_part + 1 >= m_response.parts.size())
                return {};
            // The literal announced at the end of this text.
            Token literal{Token::String, m_response.parts[m_part + 1]};
            m_part += 2;
            m_pos = 0;
            return literal;
        }
        const char c = text[m_pos];
        if (c == '(' || c == ')') {
            ++m_pos;
            return {c == '(' ? Token::Open : Token::Close, std::string(1, c)};
        }
        if (c == '"') {
            std::string value;
            ++m_pos;
            while (m_pos < text.size() && text[m_pos] != '"') {
                if (text[m_pos] == '\\' && m_pos + 1 < text.size())
                    ++m_pos;
                value += text[m_pos++];
            }
            if (m_pos >= text.size())
                return {Token::Error, "unterminated quoted string"};
            ++m_pos;
            return {Token::String, value};
        }
        std::string value;
        int brackets = 0;
        while (m_pos < text.size()) {
            const char d = text[m_pos];
            if (brackets == 0 && (d == ' ' || d == '(' || d == ')'))
                break;
            if (d == '[')
                ++brackets;
            else if (d == ']' && brackets > 0)
                --brackets;
            value += d;
            ++m_pos;
        }
        if (brackets > 0)
            return {Token::Error, "unclosed bracket"};
        return {upperEquals(value, "NIL") ? Token::Nil : Token::Atom, value};
    }

    // Skips a parenthesised list whose "(" has been read; false when the
    // response ends inside it.
    bool skipList()
    {
        for (int depth = 1; depth > 0;) {
            const Token t = next();
            if (t.kind == Token::End || t.kind == Token::Error)
                return false;
            if (t.kind == Token::Open)
                ++depth;
            else if (t.kind == Token::Close)
                --depth;
        }
        return true;
    }

private:
    const Response& m_response;
    std::size_t m_part = 0;
    std::size_t m_pos = 0;
};

// What one mail is, from the list of sizes.
struct MailEntry {
    std::uint32_t uid = 0;
    std::uint64_t size = 0;
};

class Session {
public:
    Session(ImapConnection& connection, const ImapReading& reading, SourceError& error)
        : m_connection(connection), m_reading(reading), m_error(error)
    {
    }

    bool run(const MailSink& sink)
    {
        std::uint64_t exists = 0;
        bool existsSeen = false;
        const Status examined =
            command("EXAMINE " + quoted(imapMailboxName(m_reading.mailbox)), "EXAMINE", [&](const Response& r) {
                Tokens t(r);
                t.next(); // "*"
                const Token number = t.next();
                if (number.kind == Token::Atom && upperEquals(t.next().value, "EXISTS")) {
                    if (!parseNumber(number.value, kMaxUid, exists))
                        return broken("EXAMINE", "a mail count that cannot be read", r.firstLine());
                    existsSeen = true;
                }
                return true;
            });
        if (examined == Status::Failed)
            return false;
        if (examined == Status::Refused)
            return fail(say("the server cannot open the mailbox \"", "サーバーがメールボックス \"") + m_reading.mailbox +
                        say("\": ", "\" を開けません: ") + m_refusal);
        if (!existsSeen)
            return fail(say("the server did not say how many mails the mailbox holds (", "サーバーがメールボックスのメール数を示しません (") +
                        m_reading.where + ")");

        std::vector<MailEntry> mails;
        if (exists > 0 && !listMails(mails))
            return false;

        // In the order of arrival; a mail too large for the roster is not
        // fetched at all.
        std::sort(mails.begin(), mails.end(), [](const MailEntry& a, const MailEntry& b) { return a.uid < b.uid; });
        mails.erase(std::unique(mails.begin(), mails.end(),
                                [](const MailEntry& a, const MailEntry& b) { return a.uid == b.uid; }),
                    mails.end());
        std::vector<MailEntry> wanted;
        for (const MailEntry& m : mails) {
            if (m.size > kMaxMailBytes)
                sink.reportTooLarge("UID " + std::to_string(m.uid), m.size);
            else
                wanted.push_back(m);
        }
        for (std::size_t first = 0; first < wanted.size();) {
            std::size_t last = first;
            std::uint64_t bytes = 0;
            while (last < wanted.size() && last - first < m_reading.batchMails &&
                   (last == first || bytes + wanted[last].size <= m_reading.batchBytes)) {
                bytes += wanted[last].size;
                ++last;
            }
            if (!fetchBatch(wanted, first, last, sink))
                return false;
            first = last;
        }
        // Goodbye, briefly: its answer changes nothing.
        m_quick = true;
        command("LOGOUT", "LOGOUT", [](const Response&) { return true; });
        return true;
    }

private:
    enum class Status { Ok, Refused, Failed };

    bool fail(std::string message)
    {
        if (m_error.kind == SourceError::None) {
            m_error.kind = SourceError::Access;
            m_error.message = std::move(message);
        }
        return false;
    }

    bool broken(const std::string& command, const std::string& what, std::string_view line)
    {
        return fail(say("the server's answer to ", "サーバーの ") + command +
                    say(" cannot be read: ", " への応答を読めません: ") + what + " (" + m_reading.where + "): " +
                    serverText(line));
    }

    // "FETCH 1:* (UID RFC822.SIZE)": every mail's UID and size (and with
    // --since the day it arrived), one short line a mail.
    bool listMails(std::vector<MailEntry>& mails)
    {
        const bool withDate = m_reading.since.has_value();
        // The server files a mail when it arrives, after it was sent; a day
        // covers clocks that are wrong and mail that took its time.
        const std::int64_t from = withDate ? *m_reading.since - 24 * 3600 : 0;
        const Status listed = command(std::string("FETCH 1:* (UID RFC822.SIZE") + (withDate ? " INTERNALDATE)" : ")"),
                                      "FETCH", [&](const Response& r) {
                                          std::uint64_t uid = 0;
                                          std::uint64_t size = 0;
                                          std::int64_t arrived = 0;
                                          bool hasSize = false;
                                          bool hasDate = false;
                                          bool isFetch = false;
                                          auto item = [&](const std::string& name, const Token& value) {
                                              if (upperEquals(name, "UID")) {
                                                  if (value.kind != Token::Atom ||
                                                      !parseNumber(value.value, kMaxUid, uid) || uid == 0)
                                                      return broken("FETCH", say("a UID out of range (1-4294967295)",
                                                                                 "範囲外の UID (1～4294967295)"),
                                                                    r.firstLine());
                                              } else if (upperEquals(name, "RFC822.SIZE")) {
                                                  if (value.kind != Token::Atom ||
                                                      !parseNumber(value.value, UINT64_MAX / 2, size))
                                                      return broken("FETCH", say("a size that cannot be read", "読めないサイズ"),
                                                                    r.firstLine());
                                                  hasSize = true;
                                              } else if (upperEquals(name, "INTERNALDATE")) {
                                                  if (value.kind != Token::String ||
                                                      !parseImapDateTime(value.value, arrived))
                                                      return broken("FETCH", say("a date that cannot be read", "読めない日時"),
                                                                    r.firstLine());
                                                  hasDate = true;
                                              }
                                              return true;
                                          };
                                          if (!fetchItems(r, "FETCH", item, isFetch))
                                              return false;
                                          if (!isFetch)
                                              return true;
                                          if (uid == 0 || !hasSize || (withDate && !hasDate))
                                              return broken("FETCH", say("a mail without its UID, size or date",
                                                                         "UID・サイズ・日時のないメール"),
                                                            r.firstLine());
                                          if (withDate && arrived < from)
                                              return true;
                                          if (mails.size() >= kMaxImapMails)
                                              return fail(say("the mailbox holds more mails than the roster reads (",
                                                              "メールボックスのメールが多すぎます (上限 ") +
                                                          std::to_string(kMaxImapMails) + ")");
                                          mails.push_back({static_cast<std::uint32_t>(uid), size});
                                          return true;
                                      });
        if (listed == Status::Refused)
            return fail(say("the server refused FETCH: ", "サーバーが FETCH を拒否しました: ") + m_refusal);
        return listed == Status::Ok;
    }

    bool fetchBatch(const std::vector<MailEntry>& wanted, std::size_t first, std::size_t last, const MailSink& sink)
    {
        std::string set;
        for (std::size_t i = first; i < last;) {
            std::size_t j = i;
            while (j + 1 < last && wanted[j + 1].uid == wanted[j].uid + 1)
                ++j;
            if (!set.empty())
                set += ',';
            set += std::to_string(wanted[i].uid);
            if (j > i)
                set += ":" + std::to_string(wanted[j].uid);
            i = j + 1;
        }
        // Each mail of the batch is taken once, and only those asked for.
        std::vector<bool> delivered(last - first, false);
        const Status fetched = command("UID FETCH " + set + " (UID BODY.PEEK[])", "FETCH", [&](const Response& r) {
            std::uint64_t uid = 0;
            std::string body;
            bool hasBody = false;
            bool isFetch = false;
            auto item = [&](const std::string& name, const Token& value) {
                if (upperEquals(name, "UID")) {
                    if (value.kind != Token::Atom || !parseNumber(value.value, kMaxUid, uid) || uid == 0)
                        return broken("FETCH", say("a UID out of range (1-4294967295)", "範囲外の UID (1～4294967295)"),
                                      r.firstLine());
                } else if (upperEquals(name, "BODY[]")) {
                    if (value.kind != Token::String && value.kind != Token::Nil)
                        return broken("FETCH", say("no mail where BODY[] should be", "BODY[] にメールがありません"),
                                      r.firstLine());
                    body = value.value;
                    hasBody = true;
                }
                return true;
            };
            if (!fetchItems(r, "FETCH", item, isFetch))
                return false;
            if (!isFetch || !hasBody || uid == 0)
                return true;
            const auto at = std::lower_bound(wanted.begin() + static_cast<std::ptrdiff_t>(first),
                                             wanted.begin() + static_cast<std::ptrdiff_t>(last), uid,
                                             [](const MailEntry& m, std::uint64_t u) { return m.uid < u; });
            if (at == wanted.begin() + static_cast<std::ptrdiff_t>(last) || at->uid != uid)
                return true;
            const std::size_t index = static_cast<std::size_t>(at - wanted.begin()) - first;
            if (delivered[index])
                return true;
            delivered[index] = true;
            sink("UID " + std::to_string(uid), body);
            return true;
        });
        if (fetched == Status::Refused)
            return fail(say("the server refused FETCH: ", "サーバーが FETCH を拒否しました: ") + m_refusal);
        return fetched == Status::Ok;
    }

    // Reads "* n FETCH (name value ...)" and hands each pair to `item`;
    // `isFetch` says whether the response was one. False when it cannot be
    // read (the error is set).
    template <typename F> bool fetchItems(const Response& r, const char* command, F item, bool& isFetch)
    {
        isFetch = false;
        Tokens t(r);
        t.next(); // "*"
        const Token number = t.next();
        if (number.kind != Token::Atom || !upperEquals(t.next().value, "FETCH"))
            return true;
        std::uint64_t sequence = 0;
        if (!parseNumber(number.value, kMaxUid, sequence) || t.next().kind != Token::Open)
            return broken(command, say("a FETCH answer that is no list", "FETCH の応答がリストではありません"),
                          r.firstLine());
        isFetch = true;
        while (true) {
            const Token name = t.next();
            if (name.kind == Token::Close)
                return true;
            if (name.kind != Token::Atom)
                return broken(command,
                              name.kind == Token::Error ? name.value
                                                        : say("a FETCH answer that ends inside its list",
                                                              "FETCH の応答がリストの途中で終わっています"),
                              r.firstLine());
            const Token value = t.next();
            if (value.kind == Token::Open) {
                if (!t.skipList())
                    return broken(command, say("a FETCH answer that ends inside its list",
                                               "FETCH の応答がリストの途中で終わっています"),
                                  r.firstLine());
                continue;
            }
            if (value.kind == Token::End || value.kind == Token::Close || value.kind == Token::Error)
                return broken(command,
                              value.kind == Token::Error ? value.value
                                                         : say("an item without its value", "値のない項目"),
                              r.firstLine());
            if (!item(name.value, value))
                return false;
        }
    }

    // Sends a command and reads up to its tagged answer; every untagged
    // response goes to `untagged`, which returns false when it cannot be
    // read. Refused: the answer was NO or BAD (its text is in m_refusal).
    template <typename F> Status command(const std::string& text, const char* name, F untagged)
    {
        const std::string tag = "r" + std::to_string(++m_tag);
        const ImapClock::time_point sent = ImapClock::now();
        const long answerMs = m_quick ? std::min(m_reading.answerMs, 2000L) : m_reading.answerMs;
        m_deadline = std::min(sent + std::chrono::milliseconds(answerMs), m_reading.sessionDeadline);
        m_command = name;
        m_answerMs = answerMs;
        if (!io(m_connection.send(tag + " " + text + "\r\n", m_deadline)))
            return Status::Failed;
        Response response;
        while (true) {
            if (!readResponse(response))
                return Status::Failed;
            const std::string& first = response.firstLine();
            if (first.compare(0, 2, "* ") == 0) {
                Tokens t(response);
                t.next();
                if (upperEquals(t.next().value, "BYE"))
                    m_bye = first;
                if (!untagged(response))
                    return Status::Failed;
                continue;
            }
            if (first.compare(0, tag.size() + 1, tag + " ") == 0) {
                Tokens t(response);
                t.next();
                const Token status = t.next();
                if (upperEquals(status.value, "OK"))
                    return Status::Ok;
                if (upperEquals(status.value, "NO") || upperEquals(status.value, "BAD")) {
                    m_refusal = serverText(std::string_view(first).substr(tag.size() + 1));
                    return Status::Refused;
                }
                broken(name, say("a completion that is neither OK, NO nor BAD", "OK・NO・BAD のいずれでもない完了応答"),
                       first);
                return Status::Failed;
            }
            if (first.compare(0, 1, "+") == 0) {
                broken(name, say("a request to go on with a command that was complete",
                                 "完結したコマンドの続きを求めています"),
                       first);
                return Status::Failed;
            }
            broken(name, say("a line that is no IMAP response", "IMAP の応答ではない行"), first);
            return Status::Failed;
        }
    }

    // The outcome of sending or receiving; false (with the error set) unless Ok.
    bool io(Io result)
    {
        switch (result) {
        case Io::Ok:
            return true;
        case Io::TimedOut:
            if (m_deadline >= m_reading.sessionDeadline) {
                const auto total =
                    std::chrono::duration_cast<std::chrono::seconds>(ImapClock::now() - m_started).count();
                return fail(say("reading the mailbox took too long (", "メールボックスの読み込みに時間がかかりすぎました (") +
                            std::to_string(total) +
                            say(" s; the whole session may take 20 times --timeout) at ",
                                " 秒。全体の上限は --timeout の 20 倍です): ") +
                            m_reading.where);
            }
            return fail(say("the server did not finish its answer to ", "サーバーが ") + m_command +
                        say(" within ", " への応答を ") + secondsText(m_answerMs) + say(" s: ", " 秒以内に終えません: ") +
                        m_reading.where);
        case Io::Closed: {
            std::string reason = say("the server closed the connection", "サーバーが接続を閉じました");
            if (!m_bye.empty())
                reason += ": " + serverText(m_bye);
            return fail(reason + " (" + m_reading.where + ")");
        }
        case Io::Failed:
            break;
        }
        return fail(say("the connection was lost: ", "接続が切れました: ") + m_reading.where);
    }

    // More bytes into the buffer.
    bool fill()
    {
        if (m_pos > 0 && (m_pos == m_buffer.size() || m_pos >= (std::size_t(1) << 20))) {
            m_buffer.erase(0, m_pos);
            m_scan -= std::min(m_scan, m_pos);
            m_pos = 0;
        }
        char chunk[65536];
        std::size_t n = 0;
        if (!io(m_connection.receive(chunk, sizeof chunk, n, m_deadline)))
            return false;
        m_buffer.append(chunk, n);
        return true;
    }

    // One line without its CR LF. Each byte is looked at once, however the
    // line comes in; a line longer than the cap is refused.
    bool readLine(std::string& line, std::size_t room)
    {
        m_scan = std::max(m_scan, m_pos);
        while (true) {
            const std::size_t end = m_buffer.find('\n', m_scan);
            if (end != std::string::npos) {
                if (end > m_pos && m_buffer[end - 1] == '\r') {
                    if (end - 1 - m_pos > room)
                        return lineTooLong();
                    line.assign(m_buffer, m_pos, end - 1 - m_pos);
                    m_pos = end + 1;
                    m_scan = m_pos;
                    return true;
                }
                m_scan = end + 1; // a line feed alone ends no line
                continue;
            }
            m_scan = m_buffer.size();
            if (m_buffer.size() - m_pos > room + 1)
                return lineTooLong();
            if (!fill())
                return false;
        }
    }

    bool lineTooLong()
    {
        return fail(say("the server sent a line longer than ", "サーバーが ") + mib(kMaxImapLineBytes) +
                    say(" (", " を超える行を送りました (") + m_reading.where + ")");
    }

    bool readBytes(std::size_t count, std::string& out)
    {
        while (m_buffer.size() - m_pos < count)
            if (!fill())
                return false;
        out.assign(m_buffer, m_pos, count);
        m_pos += count;
        m_scan = m_pos;
        return true;
    }

    enum class Literal { None, Announced, Broken };

    // A literal announced at the end of a line: "{n}" or "{n+}". A brace
    // group there that begins like a number but is none ("{-1}", "{12a}")
    // is Broken; one of words ("{the manual}") is text.
    Literal literalAt(const std::string& line, std::uint64_t& size, std::size_t& start)
    {
        if (line.empty() || line.back() != '}')
            return Literal::None;
        const std::size_t open = line.rfind('{');
        if (open == std::string::npos)
            return Literal::None;
        std::string_view digits(line.data() + open + 1, line.size() - open - 2);
        if (digits.empty() || digits.find(' ') != std::string_view::npos ||
            std::string_view("0123456789+-").find(digits.front()) == std::string_view::npos)
            return Literal::None;
        start = open;
        if (!digits.empty() && digits.back() == '+')
            digits.remove_suffix(1);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
            return Literal::Broken;
        if (!parseNumber(digits, UINT64_MAX, size))
            size = UINT64_MAX;
        m_announced = std::string(digits);
        return Literal::Announced;
    }

    bool readResponse(Response& response)
    {
        response.parts.clear();
        std::size_t textLeft = kMaxImapLineBytes; // for the text of the whole response
        std::size_t literalLeft = kMaxMailBytes;  // for its literals
        std::string line;
        if (!readLine(line, textLeft))
            return false;
        while (true) {
            textLeft -= std::min(textLeft, line.size());
            std::uint64_t size = 0;
            std::size_t start = 0;
            const Literal literal = literalAt(line, size, start);
            if (literal == Literal::None) {
                response.parts.push_back(std::move(line));
                return true;
            }
            const std::string where = response.parts.empty() ? line : response.parts.front();
            if (literal == Literal::Broken)
                return broken(m_command, say("a literal whose length cannot be read: ", "長さを読めないリテラル: ") +
                                             serverText(std::string_view(line).substr(start)),
                              where);
            if (size > literalLeft)
                return fail(say("the server announced ", "サーバーが ") + m_announced +
                            say(" bytes, more than the largest mail the roster reads (",
                                " バイトを送ると告げました。読めるメールの上限 (") +
                            mib(kMaxMailBytes) + say(")", ") を超えています") + " (" + m_reading.where + ")");
            literalLeft -= static_cast<std::size_t>(size);
            response.parts.push_back(line.substr(0, start));
            std::string bytes;
            if (!readBytes(static_cast<std::size_t>(size), bytes))
                return false;
            response.parts.push_back(std::move(bytes));
            if (!readLine(line, textLeft))
                return false;
        }
    }

    ImapConnection& m_connection;
    const ImapReading& m_reading;
    SourceError& m_error;
    const ImapClock::time_point m_started = ImapClock::now();
    ImapClock::time_point m_deadline;
    std::string m_command;
    long m_answerMs = 0;
    bool m_quick = false;
    std::string m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_scan = 0;
    int m_tag = 0;
    std::string m_bye;
    std::string m_refusal;
    std::string m_announced; // the length of the last literal, as the server wrote it
};

} // namespace

std::string serverText(std::string_view text)
{
    if (text.size() > 300)
        return termtext::visible(text.substr(0, 300)) + "...";
    return termtext::visible(text);
}

std::string secondsText(long ms)
{
    // Not "%.1f": the program runs in the user's locale, and a message
    // says "0.5 s" in every one of them.
    const long tenths = (ms + 50) / 100;
    return tenths % 10 == 0 ? std::to_string(tenths / 10) : std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

bool parseImapDateTime(std::string_view text, std::int64_t& utcSeconds)
{
    // "dd-Mon-yyyy hh:mm:ss +zzzz"; the day may be " d" or "d".
    if (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    auto digits = [](std::string_view s, int& value) {
        value = 0;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        return !s.empty();
    };
    const std::size_t dash = text.find('-');
    if (dash != 1 && dash != 2)
        return false;
    const std::string_view rest = text.substr(dash + 1); // "Mon-yyyy hh:mm:ss +zzzz"
    if (rest.size() != 23 || rest[3] != '-' || rest[8] != ' ' || rest[11] != ':' || rest[14] != ':' ||
        rest[17] != ' ' || (rest[18] != '+' && rest[18] != '-'))
        return false;
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    int month = -1;
    for (int m = 0; m < 12; ++m)
        if (upperEquals(rest.substr(0, 3), months[m]))
            month = m;
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, zone = 0;
    if (month < 0 || !digits(text.substr(0, dash), day) || !digits(rest.substr(4, 4), year) ||
        !digits(rest.substr(9, 2), hour) || !digits(rest.substr(12, 2), minute) ||
        !digits(rest.substr(15, 2), second) || !digits(rest.substr(19, 4), zone))
        return false;
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || zone % 100 > 59)
        return false;
    // Days from 1970-01-01 of the civil date (proleptic Gregorian calendar).
    const int y = month < 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 10) % 12; // March is 0
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    const int offset = (zone / 100 * 60 + zone % 100) * (rest[18] == '-' ? -1 : 1);
    utcSeconds = days * 86400 + hour * 3600 + minute * 60 + second - static_cast<std::int64_t>(offset) * 60;
    return true;
}

std::string imapMailboxName(const std::string& utf8)
{
    static const char kBase64Mailbox[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
    // Decode UTF-8 into UTF-16 units.
    std::vector<std::uint16_t> units;
    std::string out;
    auto flush = [&] {
        if (units.empty())
            return;
        out += '&';
        unsigned bits = 0;
        int count = 0;
        for (std::uint16_t u : units) {
            bits = (bits << 16) | u;
            count += 16;
            while (count >= 6) {
                count -= 6;
                out += kBase64Mailbox[(bits >> count) & 63];
            }
            bits &= (1u << count) - 1;
        }
        if (count > 0)
            out += kBase64Mailbox[(bits << (6 - count)) & 63];
        out += '-';
        units.clear();
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c < 0x7F) {
            flush();
            out += c == '&' ? std::string("&-") : std::string(1, static_cast<char>(c));
            ++i;
            continue;
        }
        std::uint32_t cp = 0xFFFD;
        std::size_t n = 1;
        if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size()) {
            cp = ((c & 0x1Fu) << 6) | (utf8[i + 1] & 0x3Fu);
            n = 2;
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < utf8.size()) {
            cp = ((c & 0x0Fu) << 12) | ((utf8[i + 1] & 0x3Fu) << 6) | (utf8[i + 2] & 0x3Fu);
            n = 3;
        } else if (c >= 0xF0 && i + 3 < utf8.size()) {
            cp = ((c & 0x07u) << 18) | ((utf8[i + 1] & 0x3Fu) << 12) | ((utf8[i + 2] & 0x3Fu) << 6) |
                 (utf8[i + 3] & 0x3Fu);
            n = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
        i += n;
    }
    flush();
    return out;
}

bool readMailbox(ImapConnection& connection, const ImapReading& reading, const MailSink& sink, SourceError& error)
{
    Session session(connection, reading, error);
    return session.run(sink);
}

} // namespace roster
