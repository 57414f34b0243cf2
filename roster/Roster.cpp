#include "Roster.h"

#include "MimeMail.h"
#include "RosterText.h"

#include "core/ShiftJis.h"
#include "reportmail/ReportMailReader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>

namespace roster {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

std::string utf8(const std::string& cp932)
{
    return sjis::toUtf8(cp932);
}

// A finding in the table's language (Japanese) or the user's.
std::string describe(const mail::LogFinding& f, bool japanese)
{
    using F = mail::LogFinding;
    const std::string expected = std::to_string(f.expected);
    const std::string found = std::to_string(f.found);
    switch (f.kind) {
    case F::NameDiffers:
        return japanese ? "結果の氏名 (" + utf8(f.other) + ") が件名の氏名 (" + utf8(f.text) + ") と違います"
                        : "the name in the log (" + utf8(f.other) + ") is not the subject's (" + utf8(f.text) + ")";
    case F::MarkOutOfOrder:
        return japanese ? expected + " 問目の結果の番号が (" + found + ") です"
                        : "question line " + expected + " is numbered (" + found + ")";
    case F::MarkCountDiffers:
        return japanese ? "出題数 " + expected + " 題に対して結果が " + found + " 問分です"
                        : found + " question lines for a count of " + expected;
    case F::TooManyMisses:
        return japanese ? "ミス許容数 " + expected + " 回に対して不正解が " + found + " 問です"
                        : found + " wrong answers with an allowance of " + expected;
    case F::NoRateLine:
        return japanese ? "正解率の行がありません" : "no rate line";
    case F::RateDiffers:
        return japanese ? "結果からは " + f.text + "% ですが正解率の行は " + f.other + "% です"
                        : "the marks give " + f.text + "%, the rate line says " + f.other + "%";
    case F::CountOutOfRange:
        return japanese ? "出題数 " + found + " 題の試験は終了メールを送りません"
                        : "a test of " + found + " questions never sends a result mail";
    case F::LifeOutOfRange:
        return japanese ? "ミス許容数 " + found + " 回は負の値です" : "a negative miss allowance (" + found + ")";
    case F::TimeLimitOutOfRange:
        return japanese ? "制限時間 " + found + " 秒は負の値です" : "a negative time limit (" + found + " s)";
    }
    return {};
}

std::string problemText(const mail::ReadReport& read, const std::string& subject)
{
    using P = mail::ReadReport::Problem;
    switch (read.problem) {
    case P::None:
        break;
    case P::NotReport:
        return say("not a start, result or test mail (subject \"", "開始・終了・テストメールではありません (件名 \"") +
               utf8(subject) + "\")";
    case P::StartBody:
        return say("a start mail's subject with another body", "開始メールの件名ですが本文が違います");
    case P::TestBody:
        return say("a test mail's subject with another body", "テストメールの件名ですが本文が違います");
    case P::LogLine:
        if (read.expected.empty())
            return say("a result mail whose body goes on after the rate line (line ",
                       "終了メールの本文が正解率の行の後に続いています (") +
                   std::to_string(read.problemLine) + say(")", " 行目)");
        return say("a result mail whose body is not a result log: line ", "終了メールの本文が結果ではありません: ") +
               std::to_string(read.problemLine) + say(" is not \"", " 行目が \"") + utf8(read.expected) +
               say("\"", "\" の形ではありません");
    }
    return {};
}

std::string tooLargeReason(std::uint64_t size)
{
    return say("larger than any report mail (", "報告メールにしては大きすぎます (") + std::to_string(size) +
           say(" bytes; the roster reads mails of up to ", " バイト。読むのは ") +
           std::to_string(kMaxMailBytes >> 20) + say(" MiB)", " MiB までのメール)");
}

} // namespace

RosterBuilder::RosterBuilder(std::optional<std::int64_t> sinceUtc) : m_since(sinceUtc) {}

void RosterBuilder::add(std::string_view origin, std::string_view raw)
{
    Counts& counts = m_roster.counts;
    ++counts.mails;
    if (raw.size() > kMaxMailBytes) {
        ++counts.skipped;
        m_roster.skipped.push_back({std::string(origin), std::string(), tooLargeReason(raw.size())});
        return;
    }
    ParsedMail parsed;
    std::string problem;
    // Mails dated before --since only serve to pair a later mail; one that
    // cannot be read is none of the supervisor's business.
    auto beforeSince = [&] { return m_since && parsed.hasDate && parsed.utcSeconds < *m_since; };
    auto skip = [&](std::string reason) {
        if (beforeSince())
            return;
        ++counts.skipped;
        m_roster.skipped.push_back({std::string(origin), parsed.messageId, std::move(reason)});
    };
    if (!parseMail(raw, parsed, problem)) {
        skip(problem);
        return;
    }
    const mail::ReadReport read = mail::readReportMail(parsed.subject, parsed.body);
    if (read.problem != mail::ReadReport::Problem::None) {
        skip(problemText(read, parsed.subject));
        return;
    }
    if (read.kind != mail::MailKind::Test) {
        if (!parsed.hasDate) {
            skip(say("no Date header that could be read", "読める Date ヘッダーがありません"));
            return;
        }
        if (parsed.from.empty()) {
            skip(say("no From address", "From アドレスがありません"));
            return;
        }
    }
    // Only a mail that was read counts as seen: a mail skipped above may
    // carry any Message-ID, also the one of a real mail that comes later.
    if (!parsed.messageId.empty() && !m_messageIds.insert(parsed.messageId).second) {
        ++counts.duplicates;
        return;
    }
    if (read.kind == mail::MailKind::Test) {
        if (!beforeSince())
            ++counts.testMails;
        return;
    }

    Event event;
    event.key = lower(parsed.from) + '\n' + read.name;
    event.utcSeconds = parsed.utcSeconds;
    event.offsetMinutes = parsed.offsetMinutes;
    event.start = read.kind == mail::MailKind::Start;
    event.sequence = m_sequence++;
    event.pc = parsed.from;
    event.name = read.name;
    event.origin = std::string(origin);
    event.messageId = parsed.messageId;
    if (read.kind == mail::MailKind::Result) {
        const mail::ReadLog& log = read.log;
        Row& f = event.figures;
        event.hasLog = true;
        f.hasLog = true;
        f.questionFile = log.questionFile;
        f.questionCount = log.questionCount;
        f.life = log.life;
        f.timeLimit = log.timeLimit;
        f.right = log.rightAnswers();
        f.judged = static_cast<int>(std::min<std::size_t>(log.marks.size(), INT_MAX));
        f.rate = log.hasRateLine ? log.rate : mail::rateText(f.right, f.judged);
        for (const mail::LogFinding& finding : mail::checkResultLog(log, read.name)) {
            f.notes.push_back(describe(finding, true));
            event.warnings.push_back(describe(finding, japanese()));
        }
    }
    m_events.push_back(std::move(event));
}

void RosterBuilder::addTooLarge(std::string_view origin, std::uint64_t size)
{
    ++m_roster.counts.mails;
    ++m_roster.counts.skipped;
    m_roster.skipped.push_back({std::string(origin), std::string(), tooLargeReason(size)});
}

Roster RosterBuilder::finish()
{
    // Per PC and name in the order of time; mails of the same second in the
    // order they arrived.
    std::sort(m_events.begin(), m_events.end(), [](const Event& a, const Event& b) {
        if (a.key != b.key)
            return a.key < b.key;
        if (a.utcSeconds != b.utcSeconds)
            return a.utcSeconds < b.utcSeconds;
        return a.sequence < b.sequence;
    });
    struct PendingRow {
        std::size_t sequence = 0;      // of the row's first mail
        Row row;
        const Event* result = nullptr; // the result mail, whose warnings go with the row
    };
    std::vector<PendingRow> rows;
    const Event* open = nullptr;
    auto rowOf = [](const Event& e) {
        Row row;
        row.utcSeconds = e.utcSeconds;
        row.offsetMinutes = e.offsetMinutes;
        row.pc = e.pc;
        row.name = e.name;
        return row;
    };
    auto closeOpen = [&] {
        if (!open)
            return;
        Row row = rowOf(*open);
        row.state = State::NotFinished;
        rows.push_back({open->sequence, std::move(row), nullptr});
        open = nullptr;
    };
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        const Event& e = m_events[i];
        if (open && open->key != e.key)
            closeOpen();
        if (e.start) {
            closeOpen();
            open = &e;
            continue;
        }
        Row row = e.figures;
        const Event& first = open ? *open : e;
        const Row base = rowOf(first);
        row.utcSeconds = base.utcSeconds;
        row.offsetMinutes = base.offsetMinutes;
        row.pc = base.pc;
        row.name = base.name;
        row.state = open ? State::Finished : State::ResultWithoutStart;
        rows.push_back({first.sequence, std::move(row), &e});
        open = nullptr;
    }
    closeOpen();

    std::sort(rows.begin(), rows.end(), [](const PendingRow& a, const PendingRow& b) {
        if (a.row.utcSeconds != b.row.utcSeconds)
            return a.row.utcSeconds < b.row.utcSeconds;
        return a.sequence < b.sequence;
    });
    Counts& counts = m_roster.counts;
    for (PendingRow& entry : rows) {
        // A test that started before --since is left out whole, with its
        // result mail: the table lists what a run without --since lists
        // from that moment on.
        if (m_since && entry.row.utcSeconds < *m_since) {
            ++counts.beforeSince;
            continue;
        }
        switch (entry.row.state) {
        case State::Finished: ++counts.finished; break;
        case State::NotFinished: ++counts.notFinished; break;
        case State::ResultWithoutStart: ++counts.resultWithoutStart; break;
        }
        if (entry.result)
            for (const std::string& text : entry.result->warnings)
                m_roster.warnings.push_back({entry.result->origin, entry.result->messageId, text});
        m_roster.rows.push_back(std::move(entry.row));
    }
    m_events.clear();
    return std::move(m_roster);
}

std::string formatLocalTime(std::int64_t utcSeconds, int offsetMinutes, bool withOffset)
{
    const std::time_t local = static_cast<std::time_t>(utcSeconds + static_cast<std::int64_t>(offsetMinutes) * 60);
    std::tm tm{};
    gmtime_r(&local, &tm);
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::string out = buffer;
    if (withOffset) {
        const int minutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        std::snprintf(buffer, sizeof buffer, " %c%02d:%02d", offsetMinutes < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        out += buffer;
    }
    return out;
}

int rosterOffsetMinutes(std::int64_t utcSeconds)
{
    const std::time_t when = static_cast<std::time_t>(utcSeconds);
    std::tm tm{};
    if (!localtime_r(&when, &tm))
        return 0;
    return static_cast<int>(tm.tm_gmtoff / 60);
}

const char* stateText(State state)
{
    switch (state) {
    case State::Finished: return "完了";
    case State::NotFinished: return "未完了";
    case State::ResultWithoutStart: return "開始メールなし";
    }
    return "";
}

} // namespace roster
