#pragma once
// The fixed texts of the report mails and of the result log that forms the
// result mail's body, in Shift-JIS. The code that writes the mails and the
// log and the code that reads them back both take their texts from here, so
// the two can never drift apart.

namespace mailtext {

// Subjects: "【テストメール】", "【氏名】:" name " 開始", "【氏名】:" name " 終了".
// The colon after 【氏名】 is one byte; the endings begin with one space.
inline constexpr char kTestMailTitle[] = "\x81\x79\x83\x65\x83\x58\x83\x67\x83\x81\x81\x5B\x83\x8B\x81\x7A"; // 【テストメール】
inline constexpr char kNameLabel[] = "\x81\x79\x8E\x81\x96\xBC\x81\x7A:"; // 【氏名】:
inline constexpr char kStarted[] = " \x8A\x4A\x8E\x6E";                   //  開始
inline constexpr char kFinished[] = " \x8F\x49\x97\xB9";                  //  終了

// The body of the start mail is this line; the test mail's body is its title.
inline constexpr char kTestStart[] = "\x81\x79\x83\x65\x83\x58\x83\x67\x83\x58\x83\x5E\x81\x5B\x83\x67\x81\x7A"; // 【テストスタート】

inline constexpr char kCrLf[] = "\r\n";

// The header of the result log; the name line uses kNameLabel.
inline constexpr char kQuestionLabel[] = "\x81\x79\x96\xE2\x91\xE8\x81\x7A:";                        // 【問題】:
inline constexpr char kCountLabel[] = "\x81\x79\x8F\x6F\x91\xE8\x90\x94\x81\x7A:";                   // 【出題数】:
inline constexpr char kCountUnit[] = "\x91\xE8";                                                     // 題
inline constexpr char kLifeLabel[] = "\x81\x79\x83\x7E\x83\x58\x8B\x96\x97\x65\x90\x94\x81\x7A:";    // 【ミス許容数】:
inline constexpr char kLifeUnit[] = "\x89\xF1";                                                      // 回
inline constexpr char kTimeLabel[] = "\x81\x79\x90\xA7\x8C\xC0\x8E\x9E\x8A\xD4\x81\x7A:";            // 【制限時間】:
inline constexpr char kTimeUnit[] = "\x95\x62";                                                      // 秒
inline constexpr char kResultHeading[] =
    "\x81\x79\x8C\x8B\x89\xCA *\x90\xB3\x89\xF0, -\x95\x73\x90\xB3\x89\xF0\x81\x7A"; // 【結果 *正解, -不正解】

// The line of a judged question: " (" number "):" mark.
inline constexpr char kMarkOpen[] = " (";
inline constexpr char kMarkClose[] = "):";
inline constexpr char kRight = '*';
inline constexpr char kWrong = '-';

// The rate line: "【正解率】：" (a two-byte colon), the rate, "%".
inline constexpr char kRateLabel[] = "\x81\x79\x90\xB3\x89\xF0\x97\xA6\x81\x7A\x81\x46"; // 【正解率】：
inline constexpr char kPercent[] = "%";

} // namespace mailtext
