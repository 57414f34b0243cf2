#pragma once
// The three report mails: the test mail of the settings dialog, the start
// mail of every Start and the result mail at the end of a complete run.
// Everything here is Shift-JIS bytes, lines end with CR LF.

#include <string>

class ProfileStore;
class ResultLog;

namespace mail {

enum Kind { kTestMail = 0, kStartMail = 1, kResultMail = 2 };

// The mail account as stored in the settings, read afresh for every mail.
struct Account {
    std::string pw;
    std::string id;
    std::string from;
    std::string to;
    std::string port;
    std::string smtp;
};

// Reads PW, ID, FROM, TO, PORT and SMTP (entry "1", empty defaults), in
// this order.
Account readAccount(const ProfileStore& profile);

// The first three arguments of BSendMail, built from the stored texts
// exactly as stored.
struct Arguments {
    std::string sender;    // "<FROM>" TAB "ID:PW"
    std::string recipient; // "<TO>"
    std::string server;    // "SMTP:PORT"
};
Arguments buildArguments(const Account& account);

// "【テストメール】", "【氏名】:<name> 開始" or "【氏名】:<name> 終了".
std::string subjectFor(int kind, const std::string& name);

// The body of the test and the start mail. The result mail's body is the
// result log (see composeMail).
std::string fixedBodyFor(int kind);

// The text the user is told after the mail was tried, or an empty text when
// nothing is shown (every start mail).
std::string outcomeMessage(int kind, bool sent);

// Everything one mail needs, composed in the order the program goes:
// subject, body (for the result mail the rate line is first appended to the
// log itself), then the account and the arguments.
struct ComposedMail {
    std::string subject;
    std::string body;
    Arguments arguments;
};
ComposedMail composeMail(int kind, const std::string& name, int correct, int asked, ResultLog& log,
                         const ProfileStore& profile);

} // namespace mail
