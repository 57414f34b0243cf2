#include "ImapMailbox.h"

#include "RosterText.h"

#include <curl/curl.h>

#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <type_traits>
#include <vector>

namespace roster {

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where this libcurl looks for the system's certificate authorities.
std::string systemCaBundle()
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info && info->cainfo)
        return info->cainfo;
    if (info && info->capath)
        return info->capath;
    return "?";
}

bool fail(SourceError& error, SourceError::Kind kind, std::string message)
{
    error.kind = kind;
    error.message = std::move(message);
    return false;
}

struct CurlUrl {
    CURLU* url = curl_url();
    ~CurlUrl() { curl_url_cleanup(url); }
    std::string part(CURLUPart what, unsigned flags = 0) const
    {
        char* value = nullptr;
        if (curl_url_get(url, what, &value, flags) != CURLUE_OK || !value)
            return {};
        std::string out(value);
        curl_free(value);
        return out;
    }
    bool has(CURLUPart what) const
    {
        char* value = nullptr;
        const bool present = curl_url_get(url, what, &value, 0) == CURLUE_OK && value;
        curl_free(value);
        return present;
    }
};

const char kBase64Mailbox[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

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

// One IMAP response: text and the literals that came with it, in turn
// (text, literal, text, ...).
struct Response {
    std::vector<std::string> parts;
    const std::string& firstLine() const { return parts.front(); }
};

bool upperEquals(const std::string& a, const char* b)
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

struct Token {
    enum Kind { Atom, String, Nil, Open, Close, End } kind = End;
    std::string value;
};

// Reads the tokens of a response one by one.
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
        return {upperEquals(value, "NIL") ? Token::Nil : Token::Atom, value};
    }

    // Skips a parenthesised list whose "(" has been read.
    void skipList()
    {
        int depth = 1;
        while (depth > 0) {
            const Token t = next();
            if (t.kind == Token::End)
                return;
            if (t.kind == Token::Open)
                ++depth;
            else if (t.kind == Token::Close)
                --depth;
        }
    }

private:
    const Response& m_response;
    std::size_t m_part = 0;
    std::size_t m_pos = 0;
};

// A line the server sent, made fit for a message.
std::string answerText(const std::string& line)
{
    std::string out;
    for (char c : line)
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    if (out.size() > 300)
        out = out.substr(0, 300) + "...";
    return out;
}

// A tagged answer without its tag: "NO Mailbox doesn't exist".
std::string taggedAnswer(const std::string& line)
{
    const std::size_t space = line.find(' ');
    return answerText(space == std::string::npos ? line : line.substr(space + 1));
}

class Session {
public:
    Session(const ImapOptions& options, SourceError& error) : m_options(options), m_error(error) {}
    ~Session()
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool run(const MailSink& sink)
    {
        if (!connect())
            return false;
        Response response;
        if (!command("EXAMINE " + quoted(imapMailboxName(m_options.address.mailbox)), response, nullptr)) {
            if (m_error.kind == SourceError::None)
                fail(m_error, SourceError::Access,
                     say("the server cannot open the mailbox \"", "サーバーがメールボックス \"") +
                         m_options.address.mailbox +
                         say("\": ", "\" を開けません: ") + taggedAnswer(response.firstLine()));
            return false;
        }
        std::vector<std::uint32_t> uids;
        auto collect = [&uids](const Response& r) {
            Tokens t(r);
            if (t.next().value != "*" || !upperEquals(t.next().value, "SEARCH"))
                return;
            for (Token token = t.next(); token.kind == Token::Atom; token = t.next()) {
                char* end = nullptr;
                const unsigned long uid = std::strtoul(token.value.c_str(), &end, 10);
                if (end && *end == '\0' && uid > 0)
                    uids.push_back(static_cast<std::uint32_t>(uid));
            }
        };
        if (!command("UID SEARCH " + searchCriteria(), response, collect))
            return failedCommand("SEARCH", response);
        // In the order of arrival, and in ranges where they follow each other.
        std::sort(uids.begin(), uids.end());
        uids.erase(std::unique(uids.begin(), uids.end()), uids.end());

        for (std::size_t first = 0; first < uids.size(); first += static_cast<std::size_t>(m_options.batchSize)) {
            const std::size_t last = std::min(uids.size(), first + static_cast<std::size_t>(m_options.batchSize));
            std::string set;
            for (std::size_t i = first; i < last;) {
                std::size_t j = i;
                while (j + 1 < last && uids[j + 1] == uids[j] + 1)
                    ++j;
                if (!set.empty())
                    set += ',';
                set += std::to_string(uids[i]);
                if (j > i)
                    set += ":" + std::to_string(uids[j]);
                i = j + 1;
            }
            auto deliver = [&sink](const Response& r) {
                Tokens t(r);
                if (t.next().value != "*")
                    return;
                t.next(); // the message number
                if (!upperEquals(t.next().value, "FETCH") || t.next().kind != Token::Open)
                    return;
                std::string uid;
                std::string body;
                bool hasBody = false;
                while (true) {
                    const Token name = t.next();
                    if (name.kind != Token::Atom)
                        break;
                    const Token value = t.next();
                    if (value.kind == Token::Open) {
                        t.skipList();
                        continue;
                    }
                    if (upperEquals(name.value, "UID"))
                        uid = value.value;
                    else if (upperEquals(name.value, "BODY[]") && value.kind == Token::String) {
                        body = value.value;
                        hasBody = true;
                    }
                }
                if (hasBody)
                    sink("UID " + uid, body);
            };
            if (!command("UID FETCH " + set + " (UID BODY.PEEK[])", response, deliver))
                return failedCommand("FETCH", response);
        }
        command("LOGOUT", response, nullptr);
        return true;
    }

private:
    std::string where() const { return m_options.address.host + ":" + std::to_string(m_options.address.port); }

    std::string searchCriteria() const
    {
        if (!m_options.since)
            return "ALL";
        // The server compares the day of arrival in its own time zone; ask
        // for a day more and let the Date header decide.
        const std::time_t day = static_cast<std::time_t>(*m_options.since - 24 * 3600);
        std::tm utc{};
        gmtime_r(&day, &utc);
        static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        return "SINCE " + std::to_string(utc.tm_mday) + "-" + months[utc.tm_mon] + "-" +
               std::to_string(utc.tm_year + 1900);
    }

    bool failedCommand(const char* what, const Response& response)
    {
        if (m_error.kind == SourceError::None)
            fail(m_error, SourceError::Access,
                 say("the server refused ", "サーバーが ") + what + say(": ", " を拒否しました: ") +
                     taggedAnswer(response.firstLine()));
        return false;
    }

    static int debug(CURL*, curl_infotype type, char* data, size_t size, void* user)
    {
        // Only what the server says is kept: what we send holds the password.
        if (type == CURLINFO_HEADER_IN) {
            std::string line(data, size);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            if (!line.empty())
                static_cast<Session*>(user)->m_lastAnswer = line;
        }
        return 0;
    }

    // The server's last words during login, without the tag.
    std::string lastAnswer() const { return taggedAnswer(m_lastAnswer); }

    bool connect()
    {
        initCurlOnce();
        m_curl = curl_easy_init();
        if (!m_curl)
            return fail(m_error, SourceError::Access, say("the mail transport is not available", "メール転送を使えません"));
        const ImapAddress& a = m_options.address;
        const std::string url = std::string(a.implicitTls ? "imaps://" : "imap://") + a.host + ":" +
                                std::to_string(a.port) + "/";
        CURL* h = m_curl;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "imap,imaps");
#else
        curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_IMAP | CURLPROTO_IMAPS));
#endif
        curl_easy_setopt(h, CURLOPT_PROXY, "");
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, m_options.timeoutMs);
        curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_options.caFile.empty())
            curl_easy_setopt(h, CURLOPT_CAINFO, m_options.caFile.c_str());
        // The password never travels in the clear.
        if (!a.implicitTls)
            curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_USERNAME, a.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, m_options.password.c_str());
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &Session::debug);
        curl_easy_setopt(h, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

        const CURLcode result = curl_easy_perform(h);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
        const std::string detail = errorBuffer[0] ? std::string(errorBuffer) : curl_easy_strerror(result);
        const std::string seconds = std::to_string((m_options.timeoutMs + 999) / 1000);
        switch (result) {
        case CURLE_OK:
            break;
        case CURLE_LOGIN_DENIED:
            return fail(m_error, SourceError::Login,
                        say("the server refused the login of user \"", "サーバーがユーザー \"") + a.user +
                            say("\": ", "\" のログインを拒否しました: ") + lastAnswer());
        case CURLE_COULDNT_RESOLVE_HOST:
            return fail(m_error, SourceError::Access, say("server name not found: ", "サーバー名が見つかりません: ") + a.host);
        case CURLE_COULDNT_CONNECT:
            return fail(m_error, SourceError::Access,
                        say("cannot connect to ", "接続できません: ") + where() + " (" + detail + ")");
        case CURLE_OPERATION_TIMEDOUT:
            return fail(m_error, SourceError::Access,
                        say("the server did not answer within ", "サーバーが ") + seconds +
                            say(" s: ", " 秒以内に応答しません: ") + where());
        case CURLE_USE_SSL_FAILED:
            return fail(m_error, SourceError::Access,
                        say("the server offers no TLS (STARTTLS), so the password was not sent: ",
                            "サーバーが TLS (STARTTLS) を提供しないため、パスワードを送りませんでした: ") +
                            where());
        case CURLE_PEER_FAILED_VERIFICATION:
#if LIBCURL_VERSION_NUM < 0x073e00
        case CURLE_SSL_CACERT:
#endif
            return fail(m_error, SourceError::Access,
                        say("the server's certificate is not trusted: ", "サーバーの証明書を信頼できません: ") + detail);
        case CURLE_SSL_CONNECT_ERROR:
            return fail(m_error, SourceError::Access,
                        say("the TLS handshake with the server failed: ", "サーバーとの TLS 接続に失敗しました: ") +
                            detail);
        case CURLE_SSL_CACERT_BADFILE:
            if (!m_options.caFile.empty())
                return fail(m_error, SourceError::Usage,
                            say("cannot read the certificate file: ", "証明書ファイルを読めません: ") + m_options.caFile);
            // No server can be trusted without the system's authorities.
            return fail(m_error, SourceError::Access,
                        say("the system's certificate authorities are missing (", "システムの認証局の証明書 ") +
                            systemCaBundle() +
                            say("), so no server can be trusted; install the package ca-certificates",
                                " がないため、サーバーを信頼できません。パッケージ ca-certificates をインストールしてください"));
        default:
            return fail(m_error, SourceError::Access,
                        say("the server did not talk IMAP as expected: ", "サーバーとの IMAP のやり取りに失敗しました: ") +
                            (m_lastAnswer.empty() ? detail : lastAnswer()) + " (" + where() + ")");
        }
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD)
            return fail(m_error, SourceError::Access, say("the connection was lost: ", "接続が切れました: ") + where());
        m_socket = socket;
        curl_easy_setopt(h, CURLOPT_VERBOSE, 0L);
        return true;
    }

    bool wait(short events)
    {
        pollfd fd{};
        fd.fd = static_cast<int>(m_socket);
        fd.events = events;
        int r;
        do
            r = ::poll(&fd, 1, static_cast<int>(m_options.timeoutMs));
        while (r < 0 && errno == EINTR);
        if (r == 0)
            return fail(m_error, SourceError::Access,
                        say("the server stopped answering: nothing for ", "サーバーの応答が止まりました: ") +
                            std::to_string((m_options.timeoutMs + 999) / 1000) + say(" s from ", " 秒間応答なし ") +
                            where());
        if (r < 0)
            return fail(m_error, SourceError::Access, say("the connection was lost: ", "接続が切れました: ") + where());
        return true;
    }

    bool send(const std::string& text)
    {
        std::size_t done = 0;
        while (done < text.size()) {
            std::size_t n = 0;
            const CURLcode r = curl_easy_send(m_curl, text.data() + done, text.size() - done, &n);
            if (r == CURLE_AGAIN) {
                if (!wait(POLLOUT))
                    return false;
                continue;
            }
            if (r != CURLE_OK)
                return fail(m_error, SourceError::Access,
                            say("the connection was lost: ", "接続が切れました: ") + where());
            done += n;
        }
        return true;
    }

    // More bytes from the server into the buffer.
    bool fill()
    {
        char chunk[65536];
        while (true) {
            std::size_t n = 0;
            const CURLcode r = curl_easy_recv(m_curl, chunk, sizeof chunk, &n);
            if (r == CURLE_AGAIN) {
                if (!wait(POLLIN))
                    return false;
                continue;
            }
            if (r != CURLE_OK || n == 0) {
                std::string reason = say("the server closed the connection", "サーバーが接続を閉じました");
                if (!m_bye.empty())
                    reason += ": " + answerText(m_bye);
                return fail(m_error, SourceError::Access, reason + " (" + where() + ")");
            }
            if (m_pos > 0 && m_pos == m_buffer.size()) {
                m_buffer.clear();
                m_pos = 0;
            }
            m_buffer.append(chunk, n);
            return true;
        }
    }

    bool readLine(std::string& line)
    {
        while (true) {
            const std::size_t end = m_buffer.find("\r\n", m_pos);
            if (end != std::string::npos) {
                line.assign(m_buffer, m_pos, end - m_pos);
                m_pos = end + 2;
                compact();
                return true;
            }
            if (!fill())
                return false;
        }
    }

    bool readBytes(std::size_t count, std::string& out)
    {
        while (m_buffer.size() - m_pos < count)
            if (!fill())
                return false;
        out.assign(m_buffer, m_pos, count);
        m_pos += count;
        compact();
        return true;
    }

    void compact()
    {
        if (m_pos > (1u << 20) && m_pos * 2 > m_buffer.size()) {
            m_buffer.erase(0, m_pos);
            m_pos = 0;
        }
    }

    // A literal announced at the end of a line: "{n}" or "{n+}".
    static bool literalSize(const std::string& line, std::size_t& size, std::size_t& start)
    {
        if (line.empty() || line.back() != '}')
            return false;
        const std::size_t open = line.rfind('{');
        if (open == std::string::npos)
            return false;
        std::string digits = line.substr(open + 1, line.size() - open - 2);
        if (!digits.empty() && digits.back() == '+')
            digits.pop_back();
        if (digits.empty() || digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        size = static_cast<std::size_t>(std::stoull(digits));
        start = open;
        return true;
    }

    bool readResponse(Response& response)
    {
        response.parts.clear();
        std::string line;
        if (!readLine(line))
            return false;
        while (true) {
            std::size_t size = 0;
            std::size_t start = 0;
            if (!literalSize(line, size, start)) {
                response.parts.push_back(line);
                return true;
            }
            response.parts.push_back(line.substr(0, start));
            std::string literal;
            if (!readBytes(size, literal))
                return false;
            response.parts.push_back(std::move(literal));
            if (!readLine(line))
                return false;
        }
    }

    // Sends a command and reads up to its tagged answer; every untagged
    // response goes to `untagged`. True when the answer is OK; the tagged
    // answer is left in `response`.
    template <typename F> bool command(const std::string& text, Response& response, F untagged)
    {
        const std::string tag = "r" + std::to_string(++m_tag);
        if (!send(tag + " " + text + "\r\n"))
            return false;
        while (true) {
            if (!readResponse(response))
                return false;
            const std::string& first = response.firstLine();
            if (first.compare(0, tag.size() + 1, tag + " ") == 0) {
                Tokens t(response);
                t.next();
                return upperEquals(t.next().value, "OK");
            }
            if (first.compare(0, 2, "* ") == 0) {
                Tokens t(response);
                t.next();
                if (upperEquals(t.next().value, "BYE"))
                    m_bye = first;
                if constexpr (!std::is_same_v<F, std::nullptr_t>)
                    untagged(response);
            }
            // Continuation requests ("+") are not expected; they are let be.
        }
    }

    const ImapOptions& m_options;
    SourceError& m_error;
    CURL* m_curl = nullptr;
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    std::string m_buffer;
    std::size_t m_pos = 0;
    int m_tag = 0;
    std::string m_lastAnswer;
    std::string m_bye;
};

} // namespace

std::string ImapAddress::shown() const
{
    return std::string(implicitTls ? "imaps://" : "imap://") + host + ":" + std::to_string(port) + "/" + mailbox;
}

bool isImapAddress(const std::string& source)
{
    auto starts = [&source](const char* scheme) {
        const std::size_t n = std::strlen(scheme);
        if (source.size() < n)
            return false;
        for (std::size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(source[i])) != scheme[i])
                return false;
        return true;
    };
    return starts("imap://") || starts("imaps://");
}

bool parseImapAddress(const std::string& source, ImapAddress& out, std::string& error)
{
    CurlUrl url;
    if (!url.url || curl_url_set(url.url, CURLUPART_URL, source.c_str(), 0) != CURLUE_OK) {
        error = say("not a valid IMAP address: ", "IMAP のアドレスとして正しくありません: ") + source;
        return false;
    }
    if (url.has(CURLUPART_PASSWORD)) {
        // Said without echoing the address, which holds the password.
        error = say("the address holds a password; give it in MOLVANE_IMAP_PASSWORD or at the prompt instead, "
                    "never on the command line",
                    "アドレスにパスワードが含まれています。パスワードはコマンドラインではなく、"
                    "MOLVANE_IMAP_PASSWORD かプロンプトで指定して下さい");
        return false;
    }
    const std::string scheme = url.part(CURLUPART_SCHEME);
    out.implicitTls = scheme == "imaps";
    out.user = url.part(CURLUPART_USER, CURLU_URLDECODE);
    out.host = url.part(CURLUPART_HOST);
    const std::string port = url.part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    out.port = port.empty() ? (out.implicitTls ? 993 : 143) : std::atoi(port.c_str());
    std::string path = url.part(CURLUPART_PATH, CURLU_URLDECODE);
    while (!path.empty() && path.front() == '/')
        path.erase(0, 1);
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    out.mailbox = path.empty() ? "INBOX" : path;
    if (out.user.empty()) {
        error = say("the address names no user: write it as imap://USER@HOST:PORT/MAILBOX",
                    "アドレスにユーザー名がありません: imap://ユーザー@ホスト:ポート/メールボックス の形で指定して下さい");
        return false;
    }
    if (out.host.empty()) {
        error = say("the address names no server: ", "アドレスにサーバー名がありません: ") + source;
        return false;
    }
    if (url.has(CURLUPART_QUERY) || out.mailbox.find(';') != std::string::npos ||
        out.mailbox.find_first_of("\r\n") != std::string::npos) {
        error = say("only a mailbox may follow the server in the address: ",
                    "アドレスのサーバーの後にはメールボックス名だけを書いて下さい: ") +
                out.shown();
        return false;
    }
    return true;
}

std::string imapMailboxName(const std::string& utf8)
{
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

bool readImap(const ImapOptions& options, const MailSink& sink, SourceError& error)
{
    error = SourceError();
    Session session(options, error);
    return session.run(sink);
}

} // namespace roster
