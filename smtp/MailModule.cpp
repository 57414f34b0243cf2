// The mail module: BSendMail with libcurl, loaded by the program on its first
// mail (see app/MailModuleLoader.cpp).

#include "reportmail/BSendMail.h"

#if defined(_WIN32)
#define MOLVANE_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define MOLVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

MOLVANE_MODULE_EXPORT int molvane_bsendmail(const char* server, const char* recipient,
                                            const char* senderAndCredentials, const char* subject,
                                            const char* body, const void* reserved, char* failureText)
{
    return BSendMail(server, recipient, senderAndCredentials, subject, body, reserved, failureText);
}
