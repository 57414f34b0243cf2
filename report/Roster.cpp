#include "Roster.h"

#include "MimeMail.h"
#include "RosterText.h"

#include "core/ShiftJis.h"
#include "report/ReportMailReader.h"

#include <algorithm>
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

} // namespace

RosterBuilder::RosterBuilder(std::optional<std::int64_t> sinceUtc) : m_since(sinceUtc) {}

void RosterBuilder::add(std::string_view origin, std::string_view raw)
{
    Counts& counts = m_roster.counts;
    ++counts.mails;
    ParsedMail parsed;
    std::string problem;
    auto skip = [&](std::string reason) {
        ++counts.skipped;
        m_roster.skipped.push_back({std::string(origin), parsed.messageId, std::move(reason)});
    };
    if (!parseMail(raw, parsed, problem)) {
        skip(problem);
        return;
    }
    if (!parsed.messageId.empty() && !m_messageIds.insert(parsed.messageId).second) {
        ++counts.duplicates;
        return;
    }
    if (m_since && parsed.hasDate && parsed.utcSeconds < *m_since) {
        ++counts.beforeSince;
        return;
    }
    const mail::ReadReport read = mail::readReportMail(parsed.subject, parsed.body);
    if (read.problem != mail::ReadReport::Problem::None) {
        skip(problemText(read, parsed.subject));
        return;
    }
    if (read.kind == mail::MailKind::Test) {
        ++counts.testMails;
        return;
    }
    if (!parsed.hasDate) {
        skip(say("no Date header that could be read", "読める Date ヘッダーがありません"));
        return;
    }
    if (parsed.from.empty()) {
        skip(say("no From address", "From アドレスがありません"));
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
        f.judged = static_cast<int>(log.marks.size());
        f.rate = log.hasRateLine ? log.rate : mail::rateText(f.right, f.judged);
        for (const mail::LogFinding& finding : mail::checkResultLog(log, read.name)) {
            f.notes.push_back(describe(finding, true));
            m_roster.warnings.push_back({event.origin, event.messageId, describe(finding, japanese())});
        }
    }
    m_events.push_back(std::move(event));
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
    std::vector<std::pair<std::size_t, Row>> rows; // the sequence of the row's first mail, the row
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
        rows.emplace_back(open->sequence, std::move(row));
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
        rows.emplace_back(first.sequence, std::move(row));
        open = nullptr;
    }
    closeOpen();

    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        if (a.second.utcSeconds != b.second.utcSeconds)
            return a.second.utcSeconds < b.second.utcSeconds;
        return a.first < b.first;
    });
    Counts& counts = m_roster.counts;
    for (auto& entry : rows) {
        switch (entry.second.state) {
        case State::Finished: ++counts.finished; break;
        case State::NotFinished: ++counts.notFinished; break;
        case State::ResultWithoutStart: ++counts.resultWithoutStart; break;
        }
        m_roster.rows.push_back(std::move(entry.second));
    }
    m_events.clear();
    return std::move(m_roster);
}

std::string formatLocalTime(std::int64_t utcSeconds, int offsetMinutes)
{
    const std::time_t local = static_cast<std::time_t>(utcSeconds + static_cast<std::int64_t>(offsetMinutes) * 60);
    std::tm tm{};
    gmtime_r(&local, &tm);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buffer;
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
