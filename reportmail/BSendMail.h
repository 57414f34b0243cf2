#pragma once
// Sends one mail over SMTP.
//
//   server                "host:port"; port 465 speaks TLS from the first
//                         byte, any other port uses STARTTLS whenever the
//                         server offers it; an empty port means 25.
//   recipient             "<address>" (several may be separated by "," or ";").
//   senderAndCredentials  "<address>" TAB "ID:PW"; with an ID the mail is sent
//                         only over TLS and after logging in.
//   subject, body         Shift-JIS; sent as UTF-8.
//   reserved              unused, pass a null pointer.
//   failureText           80 bytes; receives a short reason when the mail was
//                         not sent and is left empty exactly when it was.
//
// Returns 0 when the mail was sent, otherwise a non-zero number. Blocks until
// the server has taken the mail or the attempt has failed: at most about the
// whole-mail time-out (30 s), whatever the server does, goodbye included.
// Safe to call from any thread.

#include <string>

constexpr int kFailureTextSize = 80;

int BSendMail(const char* server, const char* recipient, const char* senderAndCredentials, const char* subject,
              const char* body, const void* reserved, char* failureText);

namespace mail {

// How the connection is made. The defaults serve the program; tests trust
// their own certificate authority and shorten the time-outs.
struct TransportOptions {
    std::string caFile;               // extra trusted authorities (PEM); empty: the system's
    long connectTimeoutMs = 10000;    // connecting, including the TLS handshake
    long totalTimeoutMs = 30000;      // the whole mail
    long responseTimeoutMs = 10000;   // each answer of the server (counted in whole seconds)
    long lowSpeedBytesPerSecond = 10; // a message upload slower than this...
    long lowSpeedTimeMs = 10000;      // ...for this long (whole seconds) is given up
};

TransportOptions transportOptions();
void setTransportOptions(const TransportOptions& options);
void resetTransportOptions();
void setTestCaFile(const std::string& path);

} // namespace mail
