// Times molvane-bank on a bank of 100 000 questions (50 MB): check, export to
// CSV and import from CSV, each run as the user runs it (the program itself),
// set against cp of the same file; then imports of about 200 MB of every
// format. Also prints the most memory each run took.
//
//   bench_bank [folder]   (default: a new folder under the system's temp)

#include "core/ShiftJis.h"
#include "questionfile/QuestionRecord.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double ms = 1e300; // the best of the runs: the figure least disturbed by other work
    long maxRssKb = 0;
};

// Runs a command (no shell) and waits for it; false when it failed.
bool runOnce(const std::vector<std::string>& args, double& ms, long& rssKb)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return false;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    rssKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

Timing best(int runs, const std::vector<std::string>& args)
{
    Timing t;
    for (int i = 0; i < runs; ++i) {
        double ms = 0;
        long rss = 0;
        if (!runOnce(args, ms, rss)) {
            std::fprintf(stderr, "failed: %s\n", args[0].c_str());
            std::exit(1);
        }
        t.ms = std::min(t.ms, ms);
        t.maxRssKb = std::max(t.maxRssKb, rss);
    }
    return t;
}

// `full`: every text as long as a record holds, so that an export is as
// large as a bank of its size can give.
void writeBank(const std::filesystem::path& path, int count, bool full = false)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string filler = sjis::fromUtf8("長い問題文を埋めるための文字列です。長い問題文を埋めるための文字列です。");
    for (int n = 0; n < count; ++n) {
        question::QuestionRecord r;
        r.question = sjis::fromUtf8("ベンチマーク用の問題文、その " + std::to_string(n + 1) + " 番です");
        for (int i = 0; i < question::kAnswerCount; ++i)
            r.answers[static_cast<std::size_t>(i)] = sjis::fromUtf8("解答") + std::to_string(i + 1) + "-" + std::to_string(n);
        if (full) {
            r.question = (r.question + filler + filler).substr(0, 80);
            for (std::string& a : r.answers)
                a = (a + filler).substr(0, 64);
        }
        r.correct = n % 5 + 1;
        out << question::encodeRecord(r, nullptr);
    }
}

// Makes a file of about 200 MB in `format` by exporting a bank of full
// questions, and returns how many questions it holds.
int makeLargeExport(const std::string& program, const char* format, const std::filesystem::path& file)
{
    constexpr double kTarget = 200e6;
    writeBank("probe.txt", 1000, true);
    double ms = 0;
    long rss = 0;
    runOnce({program, "export", "probe.txt", "--to", format, "-o", "probe.out", "--force"}, ms, rss);
    const double perQuestion = double(std::filesystem::file_size("probe.out")) / 1000;
    const int count = static_cast<int>(kTarget / perQuestion);
    writeBank("large.txt", count, true);
    runOnce({program, "export", "large.txt", "--to", format, "-o", file.string(), "--force"}, ms, rss);
    for (const char* f : {"probe.txt", "probe.out", "large.txt"})
        std::filesystem::remove(f);
    return count;
}

bool sameFiles(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char* argv[])
{
    std::filesystem::path folder = argc > 1 ? std::filesystem::path(argv[1])
                                            : std::filesystem::temp_directory_path() / "molvane-bench-bank";
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    constexpr int kQuestions = 100000;
    writeBank("big.txt", kQuestions);
    const std::string program = MOLVANE_BANK_PROGRAM;

    const Timing cp = best(7, {"cp", "big.txt", "copy.txt"});
    const Timing cpSync = best(5, {"sh", "-c", "cp big.txt copy.txt && sync copy.txt"});
    const Timing check = best(5, {program, "check", "big.txt"});
    const Timing exportCsv = best(5, {program, "export", "big.txt", "--to", "csv", "-o", "big.csv", "--force"});
    const Timing importCsv = best(5, {program, "import", "big.csv", "--from", "csv", "-o", "back.txt", "--force"});
    if (!sameFiles("big.txt", "back.txt")) {
        std::fprintf(stderr, "the bank did not come back the same\n");
        return 1;
    }

    std::printf("%d questions: bank %.0f MB, CSV %.0f MB\n", kQuestions,
                double(std::filesystem::file_size("big.txt")) / 1e6, double(std::filesystem::file_size("big.csv")) / 1e6);
    std::printf("cp of the bank              %8.1f ms\n", cp.ms);
    std::printf("cp, then sync of the copy   %8.1f ms\n", cpSync.ms);
    const auto line = [&](const char* what, const Timing& t, bool writes) {
        std::printf("%-27s %8.1f ms  %5.1f x cp%s  %6.1f MB at most\n", what, t.ms, t.ms / cp.ms,
                    writes ? (", " + std::to_string(t.ms / cpSync.ms).substr(0, 4) + " x cp+sync").c_str() : "",
                    double(t.maxRssKb) / 1024);
    };
    line("check", check, false);
    line("export to CSV", exportCsv, true);
    line("import from CSV", importCsv, true);
    for (const char* f : {"big.txt", "copy.txt", "big.csv", "back.txt"})
        std::filesystem::remove(f);

    // Importing 200 MB of every format: the most memory it takes.
    std::printf("\nimport of about 200 MB (one run each):\n");
    for (const char* format : {"csv", "aiken", "gift", "moodle-xml"}) {
        const std::string file = std::string("large.") + format;
        const int count = makeLargeExport(program, format, file);
        const Timing t = best(1, {program, "import", file, "--from", format, "-o", "large-back.txt", "--force"});
        std::printf("%-11s %6.0f MB, %7d questions  %8.0f ms  %6.1f MB at most\n", format,
                    double(std::filesystem::file_size(file)) / 1e6, count, t.ms, double(t.maxRssKb) / 1024);
        std::filesystem::remove(file);
        std::filesystem::remove("large-back.txt");
    }
    // One picture of 200 MB in base64, refused before it is decoded, and a
    // question after it that comes in.
    {
        std::ofstream xml("picture.xml", std::ios::binary | std::ios::trunc);
        const auto question = [&](const std::string& file) {
            xml << "<question type=\"multichoice\"><questiontext format=\"html\"><text>"
                << (file.empty() ? "Q" : "&lt;img src=\"@@PLUGINFILE@@/a.png\"&gt;Q") << "</text>";
            if (!file.empty()) {
                xml << "<file name=\"a.png\" encoding=\"base64\">";
                const std::string block(1 << 20, 'A');
                for (int i = 0; i < 200; ++i)
                    xml << block;
                xml << "</file>";
            }
            xml << "</questiontext>";
            for (int i = 0; i < 5; ++i)
                xml << "<answer fraction=\"" << (i == 0 ? 100 : 0) << "\"><text>a" << i << "</text></answer>";
            xml << "</question>\n";
        };
        xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n";
        question("a.png");
        question({});
        xml << "</quiz>\n";
    }
    const Timing picture = best(1, {program, "import", "picture.xml", "--from", "moodle-xml", "-o", "p.txt", "--force"});
    std::printf("%-11s %6.0f MB, one picture   %8.0f ms  %6.1f MB at most\n", "<file>",
                double(std::filesystem::file_size("picture.xml")) / 1e6, picture.ms, double(picture.maxRssKb) / 1024);
    for (const char* f : {"picture.xml", "p.txt"})
        std::filesystem::remove(f);
    return 0;
}
