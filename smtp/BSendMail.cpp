#include "reportmail/BSendMail.h"

#include "reportmail/MailMessage.h"
#include "core/ShiftJis.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace mail {

namespace {

std::mutex g_optionsMutex;
TransportOptions g_options;

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Upload {
    const std::string* data;
    std::size_t offset = 0;
};

std::size_t readMessage(char* buffer, std::size_t size, std::size_t count, void* userData)
{
    auto* upload = static_cast<Upload*>(userData);
    const std::size_t room = size * count;
    const std::size_t left = upload->data->size() - upload->offset;
    const std::size_t n = std::min(room, left);
    std::memcpy(buffer, upload->data->data() + upload->offset, n);
    upload->offset += n;
    return n;
}

std::string replyCode(long code)
{
    return code > 0 ? " (" + std::to_string(code) + ")" : std::string();
}

// A short reason for a failed transfer.
std::string describeFailure(CURLcode result, long smtpCode, bool loginGiven)
{
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "SMTP server name not found";
    case CURLE_COULDNT_CONNECT:
        return "Cannot connect to the SMTP server";
    case CURLE_OPERATION_TIMEDOUT:
        return "The SMTP server did not answer in time";
    case CURLE_LOGIN_DENIED:
        return "Login refused by the SMTP server" + replyCode(smtpCode);
    case CURLE_USE_SSL_FAILED:
        return loginGiven ? "Server offers no TLS; login not sent" : "Server offers no TLS";
    case CURLE_PEER_FAILED_VERIFICATION:
#if LIBCURL_VERSION_NUM < 0x073e00
    case CURLE_SSL_CACERT:
#endif
        return "SMTP server certificate not trusted";
    case CURLE_SSL_CONNECT_ERROR:
        return "TLS handshake with the SMTP server failed";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        if (smtpCode >= 400)
            return "Mail refused by the SMTP server" + replyCode(smtpCode);
        return "Connection to the SMTP server was lost";
    case CURLE_WEIRD_SERVER_REPLY:
        if (smtpCode >= 400)
            return "Mail refused by the SMTP server" + replyCode(smtpCode);
        return "Unexpected answer from the SMTP server";
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_NOT_BUILT_IN:
        return "Mail transport not available";
    default:
        if (smtpCode >= 400)
            return "Mail refused by the SMTP server" + replyCode(smtpCode);
        return std::string("Mail not sent: ") + curl_easy_strerror(result);
    }
}

struct CurlList {
    curl_slist* list = nullptr;
    ~CurlList() { curl_slist_free_all(list); }
    bool append(const std::string& text)
    {
        curl_slist* grown = curl_slist_append(list, text.c_str());
        if (!grown)
            return false;
        list = grown;
        return true;
    }
};

long wholeSeconds(long ms)
{
    return std::max(1L, (ms + 999) / 1000);
}

void shutSocket(curl_socket_t socket)
{
#if defined(_WIN32)
    ::shutdown(socket, SD_BOTH);
#else
    ::shutdown(socket, SHUT_RDWR);
#endif
}

// Holds the whole mail to its time limit. libcurl keeps to its own time-outs
// while it sends, but when it gives up it still says QUIT and waits for the
// answer up to the response time-out, beyond the whole-mail limit. At the
// deadline the connection's sockets are shut, so that every wait ends at once.
class Deadline {
public:
    explicit Deadline(long ms) : m_at(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms))
    {
        try {
            m_watch = std::thread([this] { watch(); });
        } catch (const std::system_error&) {
            // Without a thread libcurl's own time-outs still apply.
        }
    }
    ~Deadline()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_wake.notify_all();
        if (m_watch.joinable())
            m_watch.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    // Ends the connection now, without a goodbye.
    void cut()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (curl_socket_t socket : m_sockets)
            shutSocket(socket);
    }
    bool passed() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_passed;
    }

    // libcurl's socket callbacks: the sockets are known from their creation
    // to their close, so that no other file is ever shut.
    static int opened(void* self, curl_socket_t socket, curlsocktype)
    {
        auto* d = static_cast<Deadline*>(self);
        std::lock_guard<std::mutex> lock(d->m_mutex);
        d->m_sockets.push_back(socket);
        if (d->m_passed)
            shutSocket(socket);
        return CURL_SOCKOPT_OK;
    }
    static int closed(void* self, curl_socket_t socket)
    {
        auto* d = static_cast<Deadline*>(self);
        std::lock_guard<std::mutex> lock(d->m_mutex);
        d->m_sockets.erase(std::remove(d->m_sockets.begin(), d->m_sockets.end(), socket), d->m_sockets.end());
#if defined(_WIN32)
        return ::closesocket(socket);
#else
        return ::close(socket);
#endif
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_until(lock, m_at, [this] { return m_finished; }))
            return;
        m_passed = true;
        for (curl_socket_t socket : m_sockets)
            shutSocket(socket);
    }

    const std::chrono::steady_clock::time_point m_at;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<curl_socket_t> m_sockets;
    bool m_finished = false;
    bool m_passed = false;
    std::thread m_watch;
};

struct CurlHandle {
    CURL* handle = curl_easy_init();
    ~CurlHandle()
    {
        if (handle)
            curl_easy_cleanup(handle);
    }
};

// Sends the mail; returns 0 or a non-zero code with the reason in failure.
int send(const std::string& serverArg, const std::string& recipientArg, const std::string& senderArg,
         const std::string& subject, const std::string& body, std::string& failure)
{
    ServerAddress server;
    if (!parseServer(serverArg, server, failure))
        return -1;
    const SenderAndLogin sender = parseSenderAndLogin(senderArg);
    std::string from;
    if (!parseAddress(sender.from, from, failure, "sender"))
        return -1;
    std::vector<std::string> recipients;
    if (!parseRecipients(recipientArg, recipients, failure))
        return -1;

    const std::time_t now = std::time(nullptr);
    MessageParts parts;
    parts.from = from;
    parts.to = recipients;
    parts.subjectUtf8 = sjis::toUtf8(subject);
    parts.bodyUtf8 = sjis::toUtf8(body);
    parts.date = formatDate(now);
    parts.messageId = makeMessageId(from, now);
    const std::string message = buildMessage(parts);

    const TransportOptions options = transportOptions();
    initCurlOnce();
    // Outlives the handle: cleaning up the handle may still talk to the server.
    Deadline deadline(options.totalTimeoutMs);
    CurlHandle curl;
    CurlList rcpt;
    if (!curl.handle) {
        failure = "Mail transport not available";
        return -1;
    }
    for (const auto& r : recipients)
        if (!rcpt.append("<" + r + ">")) {
            failure = "Out of memory";
            return -1;
        }

    const bool login = !sender.id.empty();
    const std::string url = serverUrl(server);
    const std::string mailFrom = "<" + from + ">";
    const std::string user = sjis::toUtf8(sender.id);
    const std::string password = sjis::toUtf8(sender.password);
    Upload upload{&message};
    CURL* h = curl.handle;

    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_SMTP | CURLPROTO_SMTPS));
#endif
    // Settings come from Parameter.INI alone: no proxy from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSeconds(options.responseTimeoutMs));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, wholeSeconds(options.lowSpeedTimeMs));
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, &Deadline::opened);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &deadline);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &Deadline::closed);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, &deadline);
    curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, options.caFile.c_str());
    if (!server.implicitTls) {
        // A password never travels in the clear: with a login, TLS is a must;
        // without one, TLS is used whenever the server offers it.
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(login ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    }
    if (login) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt.list);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

    const CURLcode result = curl_easy_perform(h);
    if (result == CURLE_OK)
        return 0;
    // After a failure there is nothing to say goodbye for.
    deadline.cut();
    long smtpCode = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &smtpCode);
    failure = deadline.passed() ? describeFailure(CURLE_OPERATION_TIMEDOUT, 0, login)
                                : describeFailure(result, smtpCode, login);
    return static_cast<int>(result);
}

} // namespace

TransportOptions transportOptions()
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    return g_options;
}

void setTransportOptions(const TransportOptions& options)
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    g_options = options;
}

void resetTransportOptions()
{
    setTransportOptions(TransportOptions());
}

void setTestCaFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    g_options.caFile = path;
}

} // namespace mail

int BSendMail(const char* server, const char* recipient, const char* senderAndCredentials, const char* subject,
              const char* body, const void* reserved, char* failureText)
{
    (void)reserved;
    auto text = [](const char* p) { return p ? std::string(p) : std::string(); };
    std::string failure;
    int result = -1;
    try {
        result = mail::send(text(server), text(recipient), text(senderAndCredentials), text(subject), text(body),
                            failure);
    } catch (const std::exception&) {
        failure = "Mail not sent: internal error";
        result = -1;
    }
    if (result != 0 && failure.empty())
        failure = "Mail not sent";
    if (failureText) {
        const std::size_t n = std::min(failure.size(), static_cast<std::size_t>(kFailureTextSize - 1));
        std::memcpy(failureText, failure.data(), n);
        failureText[n] = '\0';
    }
    return result;
}
