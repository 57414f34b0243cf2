#pragma once
// The roster of a test centre: every test taken, from the start and result
// mails that the PCs sent to the supervisor. A start mail is paired with the
// next result mail of the same PC (From address) and name.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace roster {

enum class State { Finished, NotFinished, ResultWithoutStart };

// One test taken. Texts are code page 932 unless said otherwise.
struct Row {
    std::int64_t utcSeconds = 0; // the start mail's Date (the result mail's without a start)
    int offsetMinutes = 0;       // the sending PC's offset from UTC
    std::string pc;              // the From address
    std::string name;
    bool hasLog = false;         // the figures below come from a result mail
    std::string questionFile;
    int questionCount = 0;
    int life = 0;
    int timeLimit = 0;
    int right = 0;
    int judged = 0;
    std::string rate;            // as the rate line has it ("66.7"); from the marks without one
    State state = State::NotFinished;
    std::vector<std::string> notes; // UTF-8, Japanese: where the result log disagrees with itself
};

// A mail that could not be understood.
struct Skipped {
    std::string origin;    // where it came from (file, UID)
    std::string messageId;
    std::string reason;    // UTF-8, the user's language
};

// A result log whose parts disagree; the mail is read all the same.
struct Warning {
    std::string origin;
    std::string messageId;
    std::string text;      // UTF-8, the user's language
};

// The largest mail the roster reads, 16 MiB: more than mail servers take by
// default (postfix: 10 MB), and room for a result log of some 800 000
// questions. A larger mail is no report mail; its bytes are never held.
constexpr std::size_t kMaxMailBytes = std::size_t(16) << 20;

struct Counts {
    int mails = 0;         // every mail handed in
    int finished = 0;
    int notFinished = 0;
    int resultWithoutStart = 0;
    int testMails = 0;
    int skipped = 0;
    int duplicates = 0;    // the same Message-ID again
    int beforeSince = 0;   // tests started before --since, left out
};

struct Roster {
    std::vector<Row> rows; // in the order of their dates
    Counts counts;
    std::vector<Skipped> skipped;
    std::vector<Warning> warnings;
};

class RosterBuilder {
public:
    explicit RosterBuilder(std::optional<std::int64_t> sinceUtc = std::nullopt);

    // Reads one whole mail.
    void add(std::string_view origin, std::string_view raw);
    // A mail larger than kMaxMailBytes that the source did not read.
    void addTooLarge(std::string_view origin, std::uint64_t size);

    Roster finish();

private:
    // A start or result mail, waiting to be paired.
    struct Event {
        std::string key; // PC and name
        std::int64_t utcSeconds = 0;
        int offsetMinutes = 0;
        bool start = false;
        std::size_t sequence = 0; // the order mails came in, for mails of the same second
        std::string pc;
        std::string name;
        std::string origin;
        std::string messageId;
        bool hasLog = false;
        Row figures; // the result mail's figures and notes
        std::vector<std::string> warnings; // the notes in the user's language
    };
    std::optional<std::int64_t> m_since;
    std::vector<Event> m_events;
    std::set<std::string> m_messageIds;
    Roster m_roster;
    std::size_t m_sequence = 0;
};

// "2026-12-07 21:53:15" at the given offset from UTC; with the offset,
// "2026-12-07 21:53:15 +09:00".
std::string formatLocalTime(std::int64_t utcSeconds, int offsetMinutes, bool withOffset = false);

// The offset from UTC of the roster's own time zone (TZ) at that moment.
int rosterOffsetMinutes(std::int64_t utcSeconds);

// The state as the table writes it (UTF-8).
const char* stateText(State state);

} // namespace roster
