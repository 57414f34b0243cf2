// Reading the mails of a Maildir folder or an mbox file.

#include "MailSource.h"
#include "Roster.h"
#include "RosterText.h"

#include "core/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace fs = std::filesystem;

namespace roster {

namespace {

std::string shown(const fs::path& path)
{
    return path.u8string();
}

std::string systemReason(int code)
{
    return std::strerror(code);
}

bool fail(SourceError& error, SourceError::Kind kind, std::string message)
{
    error.kind = kind;
    error.message = std::move(message);
    return false;
}

bool readWhole(const fs::path& path, std::string& bytes, SourceError& error)
{
    errno = 0;
    if (fsutil::readFile(path, bytes))
        return true;
    const int code = errno;
    return fail(error, SourceError::Access,
                say("cannot read ", "読めません: ") + shown(path) + (code ? " (" + systemReason(code) + ")" : ""));
}

bool isFromLine(std::string_view text, std::size_t pos)
{
    return text.compare(pos, 5, "From ") == 0;
}

// mboxrd: a body line ">From " (with any number of ">") was written with one
// more ">" than it had.
std::string unescapeFromLines(std::string_view message)
{
    if (message.find(">From ") == std::string_view::npos)
        return std::string(message);
    std::string out;
    out.reserve(message.size());
    std::size_t pos = 0;
    while (pos < message.size()) {
        std::size_t end = message.find('\n', pos);
        end = end == std::string_view::npos ? message.size() : end + 1;
        std::string_view line = message.substr(pos, end - pos);
        std::size_t quotes = 0;
        while (quotes < line.size() && line[quotes] == '>')
            ++quotes;
        if (quotes > 0 && line.compare(quotes, 5, "From ") == 0)
            line.remove_prefix(1);
        out += line;
        pos = end;
    }
    return out;
}

} // namespace

bool readMaildir(const fs::path& folder, const MailSink& sink, SourceError& error)
{
    std::vector<fs::path> files;
    for (const char* sub : {"new", "cur"}) {
        const fs::path dir = folder / sub;
        std::error_code ec;
        if (!fs::is_directory(dir, ec))
            continue;
        fs::directory_iterator it(dir, ec);
        if (ec)
            return fail(error, SourceError::Access,
                        say("cannot read the folder ", "フォルダーを読めません: ") + shown(dir) + " (" + ec.message() +
                            ")");
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec)
                return fail(error, SourceError::Access,
                            say("cannot read the folder ", "フォルダーを読めません: ") + shown(dir) + " (" +
                                ec.message() + ")");
            const std::string name = it->path().filename().u8string();
            std::error_code typeError;
            if (!name.empty() && name[0] != '.' && it->is_regular_file(typeError))
                files.push_back(it->path());
        }
    }
    // Maildir names begin with the time of delivery.
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    std::string bytes;
    for (const fs::path& file : files) {
        const std::string origin = shown(file.parent_path().filename() / file.filename());
        std::error_code sizeError;
        const std::uintmax_t size = fs::file_size(file, sizeError);
        if (!sizeError && size > kMaxMailBytes) {
            sink.reportTooLarge(origin, size);
            continue;
        }
        if (!readWhole(file, bytes, error))
            return false;
        if (bytes.size() > kMaxMailBytes) { // it grew while being read
            sink.reportTooLarge(origin, bytes.size());
            continue;
        }
        sink(origin, bytes);
    }
    return true;
}

bool readMbox(const fs::path& file, const MailSink& sink, SourceError& error)
{
    std::string text;
    if (!readWhole(file, text, error))
        return false;
    if (text.empty())
        return true;
    if (!isFromLine(text, 0))
        return fail(error, SourceError::Access,
                    say("not an mbox file (it does not begin with a \"From \" line): ",
                        "mbox ファイルではありません (先頭が \"From \" の行ではありません): ") +
                        shown(file));
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        // The message begins after its "From " line and ends before the
        // next "From " line that follows a line end.
        std::size_t bodyStart = text.find('\n', start);
        bodyStart = bodyStart == std::string::npos ? text.size() : bodyStart + 1;
        std::size_t next = text.find("\nFrom ", bodyStart - 1);
        next = next == std::string::npos ? text.size() : next + 1;
        std::string_view message(text.data() + bodyStart, next - bodyStart);
        // The blank line written before the next "From " line is not part of the mail.
        if (next < text.size()) {
            if (message.size() >= 2 && message.compare(message.size() - 2, 2, "\n\n") == 0)
                message.remove_suffix(1);
            else if (message.size() >= 4 && message.compare(message.size() - 4, 4, "\r\n\r\n") == 0)
                message.remove_suffix(2);
        }
        ++number;
        const std::string origin = say("message ", "メール ") + std::to_string(number);
        if (message.size() > kMaxMailBytes)
            sink.reportTooLarge(origin, message.size());
        else
            sink(origin, unescapeFromLines(message));
        start = next;
    }
    return true;
}

bool readMailFiles(const fs::path& path, const MailSink& sink, SourceError& error)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        return fail(error, SourceError::Access, say("no such file or folder: ", "ファイルもフォルダーもありません: ") + shown(path));
    if (fs::is_directory(status)) {
        if (!fs::is_directory(path / "cur", ec) && !fs::is_directory(path / "new", ec))
            return fail(error, SourceError::Access,
                        say("not a Maildir (it has no cur/ or new/ folder): ",
                            "Maildir ではありません (cur/ も new/ もありません): ") +
                            shown(path));
        return readMaildir(path, sink, error);
    }
    return readMbox(path, sink, error);
}

} // namespace roster
