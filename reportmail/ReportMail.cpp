#include "ReportMail.h"

#include "reportmail/MailTexts.h"
#include "reportmail/ResultLog.h"
#include "settings/ProfileStore.h"

namespace mail {

namespace {
using mailtext::kCrLf;
using mailtext::kFinished;
using mailtext::kNameLabel;
using mailtext::kStarted;
using mailtext::kTestMailTitle;
using mailtext::kTestStart;

// Shift-JIS texts of the outcome messages.
// 送信に失敗しました / 試験中止 / システム管理者へ連絡して下さい
const char* const kSendFailed = "\x91\x97\x90\x4D\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
                                "\r\n"
                                "\x8E\x8E\x8C\xB1\x92\x86\x8E\x7E"
                                "\r\n"
                                "\x83\x56\x83\x58\x83\x65\x83\x80\x8A\xC7\x97\x9D\x8E\xD2\x82\xD6\x98\x41\x97\x8D\x82"
                                "\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2";
// テストメールの送信を完了しました
const char* const kTestMailSent = "\x83\x65\x83\x58\x83\x67\x83\x81\x81\x5B\x83\x8B\x82\xCC\x91\x97\x90\x4D\x82\xF0"
                                  "\x8A\xAE\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// テスト結果の送信を完了しました / お疲れ様でした / 終了ボタンで終了して下さい
const char* const kResultMailSent = "\x83\x65\x83\x58\x83\x67\x8C\x8B\x89\xCA\x82\xCC\x91\x97\x90\x4D\x82\xF0\x8A\xAE"
                                    "\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
                                    "\r\n"
                                    "\x82\xA8\x94\xE6\x82\xEA\x97\x6C\x82\xC5\x82\xB5\x82\xBD"
                                    "\r\n"
                                    "\x8F\x49\x97\xB9\x83\x7B\x83\x5E\x83\x93\x82\xC5\x8F\x49\x97\xB9\x82\xB5\x82\xC4"
                                    "\x89\xBA\x82\xB3\x82\xA2";
} // namespace

Account readAccount(const ProfileStore& profile)
{
    Account account;
    account.pw = profile.GetProfileStringA("PW", "1", "");
    account.id = profile.GetProfileStringA("ID", "1", "");
    account.from = profile.GetProfileStringA("FROM", "1", "");
    account.to = profile.GetProfileStringA("TO", "1", "");
    account.port = profile.GetProfileStringA("PORT", "1", "");
    account.smtp = profile.GetProfileStringA("SMTP", "1", "");
    return account;
}

Arguments buildArguments(const Account& account)
{
    Arguments args;
    args.sender = "<" + account.from + ">\t" + account.id + ":" + account.pw;
    args.recipient = "<" + account.to + ">";
    args.server = account.smtp + ":" + account.port;
    return args;
}

std::string subjectFor(int kind, const std::string& name)
{
    switch (kind) {
    case kStartMail:
        return kNameLabel + name + kStarted;
    case kResultMail:
        return kNameLabel + name + kFinished;
    default:
        return kTestMailTitle;
    }
}

std::string fixedBodyFor(int kind)
{
    if (kind == kStartMail)
        return std::string(kTestStart) + kCrLf;
    return std::string(kTestMailTitle) + kCrLf;
}

std::string outcomeMessage(int kind, bool sent)
{
    if (kind == kStartMail)
        return {};
    if (!sent)
        return kSendFailed;
    if (kind == kResultMail)
        return kResultMailSent;
    return kTestMailSent;
}

ComposedMail composeMail(int kind, const std::string& name, int correct, int asked, ResultLog& log,
                         const ProfileStore& profile)
{
    ComposedMail mail;
    mail.subject = subjectFor(kind, name);
    if (kind == kResultMail) {
        log.appendRateLine(correct, asked);
        mail.body = log.text();
    } else {
        mail.body = fixedBodyFor(kind);
    }
    mail.arguments = buildArguments(readAccount(profile));
    return mail;
}

} // namespace mail
