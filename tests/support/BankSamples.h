#pragma once
// Banks the bank tool's tests share: the bundled sample with its pictures,
// and one full of what trips formats up.

#include "TestSupport.h"
#include "questionfile/QuestionRecord.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline question::QuestionRecord bankRecord(const char* questionUtf8, std::vector<const char*> answersUtf8, int correct,
                                           char mark = 'N', const char* picture = "000")
{
    question::QuestionRecord r;
    r.picture = picture;
    r.mark = mark;
    r.question = sjis::fromUtf8(questionUtf8);
    for (std::size_t i = 0; i < answersUtf8.size() && i < r.answers.size(); ++i)
        r.answers[i] = sjis::fromUtf8(answersUtf8[i]);
    r.correct = correct;
    return r;
}

inline std::string bankBytes(const std::vector<question::QuestionRecord>& records)
{
    std::string out;
    for (const auto& r : records)
        out += question::encodeRecord(r, nullptr);
    return out;
}

// Look-alike characters (〜 − ‖), quotes, commas, a line break, the special
// characters of GIFT, XML and HTML, characters of the NEC rows, texts of the
// longest length, a full-width space at the end, every last-result mark.
inline std::vector<question::QuestionRecord> lookalikeBank()
{
    return {
        bankRecord("波〜ダッシュ、マイナス−と‖は \"引用\", カンマ", {"〜", "−1", "‖", "a,b", "\"x\""}, 3, 'C'),
        bankRecord("一行目\n二行目", {"a~b", "c=d", "#{e}", "f:g\\h", "<b>&amp;</b>"}, 1, 'I'),
        bankRecord("①㈱ №　", {"全角スペースで終わる　", "x  y", "ｶﾀｶﾅ", "//で始まる", "ANSWER: A"}, 5),
        bankRecord("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをんアイ",
                   {"一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九", "b", "c", "d", "e"}, 2),
    };
}

inline void copySample(const std::filesystem::path& to)
{
    std::filesystem::copy(MOLVANE_SAMPLE_DIR, to, std::filesystem::copy_options::recursive);
}

inline std::string readBytes(const std::filesystem::path& path)
{
    std::string bytes;
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bytes;
}
