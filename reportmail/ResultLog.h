#pragma once
// The result log of a test run: a header, one line per judged question and,
// when the result mail goes out, the rate line. Shift-JIS, CR LF lines.

#include <string>

class ResultLog {
public:
    void clear() { m_text.clear(); }
    const std::string& text() const { return m_text; }

    // The six header lines. Line breaks and tabs in the name become
    // spaces, other control characters are dropped, as in the mail subject.
    void writeHeader(const std::string& questionFile, const std::string& name, int questionCount, int life,
                     int timeLimit);
    // " (n):*" for a right answer (result 0), " (n):-" otherwise.
    void appendResultLine(int asked, int result);
    // "【正解率】：" + rate with "%4.1f" + "%".
    void appendRateLine(int correct, int asked);

private:
    std::string m_text;
};

// The program's one result log.
ResultLog& resultLog();

// The rate of right answers as the rate line writes it ("%4.1f").
std::string formatRate(int correct, int asked);
