#include "ImapMailbox.h"

#include "RosterText.h"

#include "core/TerminalText.h"

#include <curl/curl.h>

#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

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

// A percent-encoded text decoded; false for a "%" without two hex digits.
bool percentDecoded(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return false;
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return true;
}

// C0 controls (NUL, TAB, CR, LF ...) and DEL.
bool hasControl(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// A tagged answer without its tag: "NO Mailbox doesn't exist".
std::string taggedAnswer(const std::string& line)
{
    const std::size_t space = line.find(' ');
    return serverText(space == std::string::npos ? line : line.substr(space + 1));
}

// The TLS connection that libcurl made and logged in on.
class CurlConnection : public ImapConnection {
public:
    CurlConnection(CURL* curl, curl_socket_t socket) : m_curl(curl), m_socket(socket) {}

    Io send(std::string_view bytes, ImapClock::time_point deadline) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            std::size_t n = 0;
            const CURLcode r = curl_easy_send(m_curl, bytes.data() + done, bytes.size() - done, &n);
            if (r == CURLE_AGAIN) {
                const Io waited = wait(POLLOUT, deadline);
                if (waited != Io::Ok)
                    return waited;
                continue;
            }
            if (r != CURLE_OK)
                return Io::Failed;
            done += n;
        }
        return Io::Ok;
    }

    Io receive(char* buffer, std::size_t size, std::size_t& received, ImapClock::time_point deadline) override
    {
        while (true) {
            if (ImapClock::now() >= deadline)
                return Io::TimedOut;
            received = 0;
            const CURLcode r = curl_easy_recv(m_curl, buffer, size, &received);
            if (r == CURLE_AGAIN) {
                const Io waited = wait(POLLIN, deadline);
                if (waited != Io::Ok)
                    return waited;
                continue;
            }
            if (r != CURLE_OK)
                return Io::Failed;
            return received == 0 ? Io::Closed : Io::Ok;
        }
    }

private:
    Io wait(short events, ImapClock::time_point deadline)
    {
        while (true) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ImapClock::now()).count();
            if (left <= 0)
                return Io::TimedOut;
            pollfd fd{};
            fd.fd = static_cast<int>(m_socket);
            fd.events = events;
            const int r = ::poll(&fd, 1, static_cast<int>(std::min<long long>(left, 60000)));
            if (r > 0)
                return Io::Ok;
            if (r < 0 && errno != EINTR)
                return Io::Failed;
        }
    }

    CURL* m_curl;
    curl_socket_t m_socket;
};

class Session {
public:
    Session(const ImapOptions& options, SourceError& error)
        : m_options(options), m_error(error),
          m_sessionDeadline(ImapClock::now() + std::chrono::milliseconds(options.timeoutMs) * kSessionTimeouts)
    {
    }
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
        CurlConnection connection(m_curl, m_socket);
        ImapReading reading;
        reading.mailbox = m_options.address.mailbox;
        reading.where = where();
        reading.answerMs = m_options.timeoutMs;
        reading.sessionDeadline = m_sessionDeadline;
        reading.since = m_options.since;
        reading.batchMails = static_cast<std::size_t>(std::max(1, m_options.batchSize));
        return readMailbox(connection, reading, sink, m_error);
    }

private:
    std::string where() const { return m_options.address.host + ":" + std::to_string(m_options.address.port); }

    static int debug(CURL*, curl_infotype type, char* data, size_t size, void* user)
    {
        auto* self = static_cast<Session*>(user);
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (type == CURLINFO_HEADER_IN) {
            // Only what the server says is kept: what we send holds the password.
            if (!line.empty())
                self->m_lastAnswer = line;
        } else if (type == CURLINFO_HEADER_OUT) {
            // Whether the server was asked for TLS, to tell a refusal from
            // a server that offers none.
            const std::size_t space = line.find(' ');
            if (space != std::string::npos && line.compare(space + 1, std::string::npos, "STARTTLS") == 0)
                self->m_askedForTls = true;
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
        // Connecting and logging in (libcurl counts the greeting, STARTTLS
        // and the login as part of connecting), whatever the server does
        // meanwhile, take one answer's time at most.
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
        const std::string detail = serverText(errorBuffer[0] ? std::string(errorBuffer) : curl_easy_strerror(result));
        const std::string seconds = secondsText(m_options.timeoutMs);
        switch (result) {
        case CURLE_OK:
            break;
        case CURLE_LOGIN_DENIED:
            return fail(m_error, SourceError::Login,
                        say("the server refused the login of user \"", "サーバーがユーザー \"") + serverText(a.user) +
                            say("\": ", "\" のログインを拒否しました: ") + lastAnswer());
        case CURLE_COULDNT_RESOLVE_HOST:
            return fail(m_error, SourceError::Access,
                        say("server name not found: ", "サーバー名が見つかりません: ") + serverText(a.host));
        case CURLE_COULDNT_CONNECT:
            return fail(m_error, SourceError::Access,
                        say("cannot connect to ", "接続できません: ") + where() + " (" + detail + ")");
        case CURLE_OPERATION_TIMEDOUT:
            return fail(m_error, SourceError::Access,
                        say("the server did not answer within ", "サーバーが ") + seconds +
                            say(" s: ", " 秒以内に応答しません: ") + where());
        case CURLE_USE_SSL_FAILED:
            if (m_askedForTls)
                return fail(m_error, SourceError::Access,
                            say("the server refused STARTTLS, so the password was not sent: ",
                                "サーバーが STARTTLS を拒否したため、パスワードを送りませんでした: ") +
                                lastAnswer() + " (" + where() + ")");
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

    const ImapOptions& m_options;
    SourceError& m_error;
    const ImapClock::time_point m_sessionDeadline;
    CURL* m_curl = nullptr;
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    std::string m_lastAnswer;
    bool m_askedForTls = false;
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
    out.host = url.part(CURLUPART_HOST);
    const std::string port = url.part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    out.port = port.empty() ? (out.implicitTls ? 993 : 143) : std::atoi(port.c_str());
    // Decoded here: libcurl gives nothing back for a path holding %00, which
    // would read INBOX instead of the mailbox named.
    std::string path;
    if (!percentDecoded(url.part(CURLUPART_PATH), path) || hasControl(path)) {
        error = say("the mailbox name holds a control character or a stray \"%\": ",
                    "メールボックス名に制御文字か余分な \"%\" が含まれています: ") +
                termtext::visible(path);
        return false;
    }
    while (!path.empty() && path.front() == '/')
        path.erase(0, 1);
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    out.mailbox = path.empty() ? "INBOX" : path;
    if (!percentDecoded(url.part(CURLUPART_USER), out.user) || hasControl(out.user)) {
        error = say("the user name holds a control character or a stray \"%\"",
                    "ユーザー名に制御文字か余分な \"%\" が含まれています");
        return false;
    }
    if (out.user.empty()) {
        error = say("the address names no user: write it as imap://USER@HOST:PORT/MAILBOX",
                    "アドレスにユーザー名がありません: imap://ユーザー@ホスト:ポート/メールボックス の形で指定して下さい");
        return false;
    }
    if (out.host.empty()) {
        error = say("the address names no server: ", "アドレスにサーバー名がありません: ") + source;
        return false;
    }
    if (url.has(CURLUPART_QUERY) || out.mailbox.find(';') != std::string::npos) {
        error = say("only a mailbox may follow the server in the address: ",
                    "アドレスのサーバーの後にはメールボックス名だけを書いて下さい: ") +
                out.shown();
        return false;
    }
    return true;
}

bool readImap(const ImapOptions& options, const MailSink& sink, SourceError& error)
{
    error = SourceError();
    if (options.password.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return fail(error, SourceError::Usage,
                    say("the password holds a line break (CR or LF), which an IMAP login cannot carry",
                        "パスワードに改行 (CR または LF) が含まれています。IMAP のログインでは送れません"));
    Session session(options, error);
    return session.run(sink);
}

} // namespace roster
