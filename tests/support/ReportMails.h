#pragma once
// Whole report mails as the program sends them (the same composition and
// message code), for tests and the benchmark that read them back.

#include "core/ShiftJis.h"
#include "reportmail/MailMessage.h"
#include "reportmail/ReportMail.h"
#include "reportmail/ResultLog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace reportmails {

inline std::string message(const std::string& from, const std::string& subjectCp932, const std::string& bodyCp932,
                           std::time_t when)
{
    mail::MessageParts parts;
    parts.from = from;
    parts.to = {"boss@centre.example"};
    parts.subjectUtf8 = sjis::toUtf8(subjectCp932);
    parts.bodyUtf8 = sjis::toUtf8(bodyCp932);
    parts.date = mail::formatDate(when);
    parts.messageId = mail::makeMessageId(from, when);
    return mail::buildMessage(parts);
}

inline std::string start(const std::string& from, const std::string& name, std::time_t when)
{
    return message(from, mail::subjectFor(mail::kStartMail, name), mail::fixedBodyFor(mail::kStartMail), when);
}

inline std::string test(const std::string& from, std::time_t when)
{
    return message(from, mail::subjectFor(mail::kTestMail, ""), mail::fixedBodyFor(mail::kTestMail), when);
}

// The result log of a run: marks is one character per judged question, "*"
// right and "-" wrong; with rateLine the rate line the result mail adds.
inline std::string resultLog(const std::string& name, const std::string& marks, int count = -1, int life = 3,
                             int timeLimit = 10, bool rateLine = true, const std::string& file = "sample0524.txt")
{
    ResultLog log;
    log.writeHeader(file, name, count < 0 ? static_cast<int>(marks.size()) : count, life, timeLimit);
    int right = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        log.appendResultLine(static_cast<int>(i) + 1, marks[i] == '*' ? 0 : 1);
        right += marks[i] == '*';
    }
    if (rateLine)
        log.appendRateLine(right, static_cast<int>(marks.size()));
    return log.text();
}

inline std::string result(const std::string& from, const std::string& name, const std::string& marks, std::time_t when)
{
    return message(from, mail::subjectFor(mail::kResultMail, name), resultLog(name, marks), when);
}

// Code page 932 to ISO-2022-JP, as Japanese mail software writes it.
inline std::string toIso2022jp(const std::string& cp932)
{
    std::string out;
    bool kanji = false;
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        unsigned char s1 = static_cast<unsigned char>(cp932[i]);
        if (sjis::isLeadByte(s1) && i + 1 < cp932.size()) {
            unsigned char s2 = static_cast<unsigned char>(cp932[++i]);
            if (s1 == 0xFB && s2 == 0xFC) // 髙 travels in the NEC row as EEE0
                s1 = 0xEE, s2 = 0xE0;
            unsigned j1 = (s1 <= 0x9F ? s1 - 0x70 : s1 - 0xB0) * 2 - 1;
            unsigned j2 = s2 >= 0x9F ? (++j1, s2 - 0x7E) : (s2 >= 0x80 ? s2 - 0x20 : s2 - 0x1F);
            if (!kanji)
                out += "\x1B$B";
            kanji = true;
            out += static_cast<char>(j1);
            out += static_cast<char>(j2);
        } else {
            if (kanji)
                out += "\x1B(B";
            kanji = false;
            out += static_cast<char>(s1);
        }
    }
    if (kanji)
        out += "\x1B(B";
    return out;
}

// Quoted-printable with soft line breaks; CR LF stays a line break.
inline std::string quotedPrintable(const std::string& bytes)
{
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        char piece[4];
        if (c >= 0x21 && c <= 0x7E && c != '=')
            std::snprintf(piece, sizeof piece, "%c", c);
        else
            std::snprintf(piece, sizeof piece, "=%02X", c);
        if (column + std::strlen(piece) > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += std::strlen(piece);
    }
    return out;
}

} // namespace reportmails
