// BSendMail for the program: forwards to the mail module, which is loaded on
// the first mail, so that libcurl and the TLS libraries are not loaded while
// the program starts. Tests and tools link the sending code directly.

#include "reportmail/BSendMail.h"
#include "platform/LazyModule.h"

#include <algorithm>
#include <cstring>

int BSendMail(const char* server, const char* recipient, const char* senderAndCredentials, const char* subject,
              const char* body, const void* reserved, char* failureText)
{
    using Entry = int (*)(const char*, const char*, const char*, const char*, const char*, const void*, char*);
    static const Entry entry = reinterpret_cast<Entry>(LazyModule::resolve("molvane-mail", "molvane_bsendmail"));
    if (entry)
        return entry(server, recipient, senderAndCredentials, subject, body, reserved, failureText);
    if (failureText) {
        const char reason[] = "Mail not sent: the mail module molvane-mail is missing";
        const std::size_t n = std::min(sizeof reason - 1, static_cast<std::size_t>(kFailureTextSize - 1));
        std::memcpy(failureText, reason, n);
        failureText[n] = '\0';
    }
    return -1;
}
