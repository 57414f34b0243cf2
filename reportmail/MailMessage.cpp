#include "MailMessage.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace mail {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isDigits(std::string_view text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.empty();
}

bool isHostNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

bool isIpv6Char(char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

template <typename Pred> bool allOf(std::string_view text, Pred pred)
{
    for (char c : text)
        if (!pred(c))
            return false;
    return true;
}

// Printable ASCII that may stand in a plain address.
bool isAddressChar(char c)
{
    if (c <= ' ' || c >= 0x7F)
        return false;
    switch (c) {
    case '<': case '>': case '(': case ')': case '[': case ']':
    case '\\': case ',': case ';': case ':': case '"':
        return false;
    default:
        return true;
    }
}

constexpr std::size_t kMaxLocalPart = 64;
constexpr std::size_t kMaxAddress = 254;

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

bool parseServer(std::string_view text, ServerAddress& out, std::string& error)
{
    text = trimmed(text);
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            error = "Invalid SMTP server name";
            return false;
        }
        host = text.substr(1, close - 1);
        std::string_view after = text.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                error = "Invalid SMTP server name";
                return false;
            }
            port = after.substr(1);
        }
        if (host.empty() || !allOf(host, isIpv6Char)) {
            error = "Invalid SMTP server name";
            return false;
        }
    } else {
        const std::size_t colon = text.rfind(':');
        host = colon == std::string_view::npos ? text : text.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
        host = trimmed(host);
        const bool v6 = host.find(':') != std::string_view::npos;
        if (host.empty()) {
            error = "No SMTP server is set";
            return false;
        }
        if (v6 ? !allOf(host, isIpv6Char) : (!allOf(host, isHostNameChar) || host.front() == '-' || host.front() == '.')) {
            error = "Invalid SMTP server name";
            return false;
        }
    }
    port = trimmed(port);
    int number = 25;
    if (!port.empty()) {
        if (!isDigits(port) || port.size() > 5) {
            error = "Invalid SMTP port";
            return false;
        }
        number = std::stoi(std::string(port));
        if (number < 1 || number > 65535) {
            error = "Invalid SMTP port";
            return false;
        }
    }
    out.host = std::string(host);
    out.port = number;
    out.implicitTls = number == 465;
    return true;
}

std::string serverUrl(const ServerAddress& server)
{
    const bool v6 = server.host.find(':') != std::string::npos;
    return std::string(server.implicitTls ? "smtps://" : "smtp://") + (v6 ? "[" + server.host + "]" : server.host) +
           ":" + std::to_string(server.port);
}

SenderAndLogin parseSenderAndLogin(std::string_view text)
{
    SenderAndLogin out;
    const std::size_t tab = text.find('\t');
    out.from = std::string(text.substr(0, tab));
    if (tab == std::string_view::npos)
        return out;
    const std::string_view login = text.substr(tab + 1);
    const std::size_t colon = login.find(':');
    out.id = std::string(login.substr(0, colon));
    if (colon != std::string_view::npos)
        out.password = std::string(login.substr(colon + 1));
    return out;
}

bool parseAddress(std::string_view text, std::string& address, std::string& error, const char* what)
{
    text = trimmed(text);
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>')
        text = trimmed(text.substr(1, text.size() - 2));
    if (text.empty()) {
        error = std::string("No ") + what + " address is set";
        return false;
    }
    const std::size_t at = text.rfind('@');
    if (!allOf(text, isAddressChar) || at == std::string_view::npos || at == 0 || at + 1 == text.size() ||
        text.find('@') != at) {
        error = std::string("Invalid ") + what + " address";
        return false;
    }
    // A path ("<" address ">") holds at most 256 octets and a local part at
    // most 64; a longer address would be refused by the server, or break the
    // header lines, after the connection was made.
    if (at > kMaxLocalPart || text.size() > kMaxAddress) {
        error = std::string(what) + " address longer than mail allows";
        if (error[0] >= 'a' && error[0] <= 'z')
            error[0] = static_cast<char>(error[0] - 'a' + 'A');
        return false;
    }
    address = std::string(text);
    return true;
}

bool parseRecipients(std::string_view text, std::vector<std::string>& out, std::string& error)
{
    text = trimmed(text);
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>')
        text = text.substr(1, text.size() - 2);
    out.clear();
    while (true) {
        const std::size_t cut = text.find_first_of(",;");
        const std::string_view part = trimmed(text.substr(0, cut));
        if (!part.empty()) {
            std::string address;
            if (!parseAddress(part, address, error, "recipient"))
                return false;
            out.push_back(address);
        }
        if (cut == std::string_view::npos)
            break;
        text.remove_prefix(cut + 1);
    }
    if (out.empty()) {
        error = "No recipient address is set";
        return false;
    }
    return true;
}

std::string withoutControls(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n' || c == '\t')
            out += ' ';
        else if (u < 0x20 || u == 0x7F)
            continue;
        else
            out += c;
    }
    return out;
}

std::string encodeHeaderValue(std::string_view utf8, std::size_t used)
{
    bool plain = utf8.find("=?") == std::string_view::npos && used + utf8.size() <= 78;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            plain = false;
    if (plain)
        return std::string(utf8);

    // Each encoded word carries at most 39 bytes (52 base64 characters, 64
    // with its frame), never splitting a character, so that the first line
    // ("Subject: " + word) and every folded line stay within 78 characters.
    const std::size_t maxChunk = used + 64 <= 78 ? 39 : 30;
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::size_t len = std::min(maxChunk, utf8.size() - pos);
        while (len > 0 && pos + len < utf8.size() && isUtf8Continuation(utf8[pos + len]))
            --len;
        if (len == 0) // not UTF-8 at all; cut anywhere
            len = std::min(maxChunk, utf8.size() - pos);
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + base64(utf8.substr(pos, len)) + "?=";
        pos += len;
    }
    return out;
}

std::string base64Lines(std::string_view bytes)
{
    const std::string encoded = base64(bytes);
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); i += 76)
        out += encoded.substr(i, 76) + "\r\n";
    return out;
}

std::string normalizeLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string formatDate(std::time_t when)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    long offset = 0;
#if defined(_WIN32)
    localtime_s(&local, &when);
    std::tm utc{};
    gmtime_s(&utc, &when);
    utc.tm_isdst = local.tm_isdst;
    offset = static_cast<long>(std::difftime(std::mktime(&local), std::mktime(&utc)));
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
    offset = local.tm_gmtoff;
#endif
    const char sign = offset < 0 ? '-' : '+';
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday % 7],
                  local.tm_mday, months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, minutes / 60, minutes % 60);
    return buffer;
}

std::string makeMessageId(const std::string& fromAddress, std::time_t when)
{
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    const std::size_t at = fromAddress.rfind('@');
    const std::string domain = at == std::string::npos || at + 1 >= fromAddress.size() ? std::string("localhost")
                                                                                        : fromAddress.substr(at + 1);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%016llx.%lld", static_cast<unsigned long long>(generator()),
                  static_cast<long long>(when));
    return "<" + std::string(buffer) + "@" + domain + ">";
}

std::string buildMessage(const MessageParts& parts)
{
    std::string to;
    for (const auto& address : parts.to)
        to += (to.empty() ? "" : ",\r\n ") + address;

    std::string message;
    message += "Date: " + parts.date + "\r\n";
    message += "From: " + parts.from + "\r\n";
    message += "To: " + to + "\r\n";
    message += "Subject: " + encodeHeaderValue(withoutControls(parts.subjectUtf8), 9) + "\r\n";
    message += "Message-ID: " + parts.messageId + "\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message += "Content-Transfer-Encoding: base64\r\n";
    message += "\r\n";
    message += base64Lines(normalizeLineEnds(parts.bodyUtf8));
    return message;
}

} // namespace mail
