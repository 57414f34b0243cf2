#include "QuestionFileOps.h"

#include "QuestionRecord.h"
#include "core/FileSystem.h"

#include <system_error>
#include <vector>

namespace question {

namespace {

FaultInjector& injector()
{
    static FaultInjector f;
    return f;
}

bool injected(FaultPoint point)
{
    return injector() && injector()(point);
}

constexpr const char* kTemporarySuffix = "_new";

// Copying moves this many bytes at a time.
constexpr std::size_t kCopyBlock = 1 << 20;

// Copies bytes [from, to) of `in` to the end of `out`.
bool copyRange(int in, int out, std::int64_t from, std::int64_t to, std::vector<char>& buffer)
{
    if (injected(FaultPoint::WriteTemp))
        return false;
    return fsutil::copyRange(in, out, from, to, buffer);
}

} // namespace

std::string temporaryNameOf(const std::string& storedName)
{
    return storedName + kTemporarySuffix;
}

void setFaultInjector(FaultInjector f)
{
    injector() = std::move(f);
}

bool faultInjected(FaultPoint point)
{
    return injected(point);
}

DeleteResult deleteRecord(const std::string& storedName, int index)
{
    if (storedName.empty())
        return DeleteResult::OpenFailed;
    const std::filesystem::path path = fsutil::nativePath(storedName);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return DeleteResult::OpenFailed;
    fsutil::FileHandle in(fsutil::openForUpdate(path));
    if (!in.ok())
        return DeleteResult::OpenFailed;

    const std::int64_t length = fsutil::seekToEnd(in.get());
    if (length < 0)
        return DeleteResult::CopyFailed;
    // The file as it is now decides, not what the editor saw when it opened.
    const std::int64_t count = length / kRecordSize;
    if (index < 0 || index >= count)
        return DeleteResult::NoSuchRecord;
    if (count <= 1)
        return DeleteResult::LastRecord;

    fsutil::ReplaceOptions options;
    // A temporary file left over from an interrupted deletion is replaced by
    // a fresh one: only the records copied now go into it.
    options.fixedSuffix = kTemporarySuffix;
    options.failAt = [](fsutil::ReplaceStep step) {
        switch (step) {
        case fsutil::ReplaceStep::CreateTemp:
            return injected(FaultPoint::CreateTemp);
        case fsutil::ReplaceStep::SyncTemp:
            return injected(FaultPoint::SyncTemp);
        case fsutil::ReplaceStep::Rename:
            return injected(FaultPoint::Rename);
        }
        return false;
    };
    std::vector<char> buffer(kCopyBlock);
    const std::int64_t cut = static_cast<std::int64_t>(index) * kRecordSize;
    // The question file is closed before the copy takes its place: Windows
    // renames nothing over a file that is open.
    auto copy = [&](int out) {
        return copyRange(in.get(), out, 0, cut, buffer) &&
               copyRange(in.get(), out, cut + kRecordSize, count * kRecordSize, buffer) && in.close();
    };
    switch (fsutil::replaceFile(path, copy, options)) {
    case fsutil::ReplaceResult::Done:
        return DeleteResult::Done;
    case fsutil::ReplaceResult::ReadOnly:
    case fsutil::ReplaceResult::NotAFile:
        return DeleteResult::OpenFailed;
    case fsutil::ReplaceResult::TempFailed:
        return DeleteResult::TempFailed;
    case fsutil::ReplaceResult::WriteFailed:
        return DeleteResult::CopyFailed;
    case fsutil::ReplaceResult::RenameFailed:
        break;
    }
    return DeleteResult::ReplaceFailed;
}

NewFileResult appendTemplateRecords(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    const bool existed = std::filesystem::exists(status);
    if (existed && !std::filesystem::is_regular_file(status))
        return NewFileResult::OpenFailed;
    fsutil::FileHandle fd(fsutil::openOrCreate(path));
    if (!fd.ok())
        return NewFileResult::OpenFailed;

    const std::int64_t oldLength = fsutil::seekToEnd(fd.get());
    if (oldLength < 0)
        return NewFileResult::WriteFailed;

    std::string bytes;
    const std::int64_t partial = oldLength % kRecordSize;
    if (partial != 0)
        bytes.assign(static_cast<std::size_t>(kRecordSize - partial), ' ');
    const std::string record = templateRecordBytes();
    for (int i = 0; i < 3; ++i)
        bytes += record;

    bool ok = !injected(FaultPoint::WriteNewFile) && fsutil::writeAll(fd.get(), bytes.data(), bytes.size());
    ok = ok && fsutil::syncFile(fd.get());
    if (!ok) {
        // Nothing half-written stays behind.
        if (existed) {
            if (fsutil::truncateFile(fd.get(), oldLength))
                fsutil::syncFile(fd.get());
            fd.close();
        } else {
            fd.close();
            fsutil::removeFile(path);
        }
        return NewFileResult::WriteFailed;
    }
    if (!fd.close())
        return NewFileResult::WriteFailed;
    if (!existed)
        fsutil::syncFolderOf(path);
    return NewFileResult::Done;
}

bool isConfiguredFile(const std::filesystem::path& chosen, const std::string& configuredStored)
{
    if (configuredStored.empty())
        return false;
    if (fsutil::storedName(chosen) == configuredStored)
        return true;
    const std::filesystem::path configured = fsutil::nativePath(configuredStored);
    std::error_code ec;
    if (std::filesystem::equivalent(chosen, configured, ec) && !ec)
        return true;
    ec.clear();
    const auto a = std::filesystem::weakly_canonical(std::filesystem::absolute(chosen, ec), ec);
    if (ec)
        return false;
    const auto b = std::filesystem::weakly_canonical(std::filesystem::absolute(configured, ec), ec);
    if (ec)
        return false;
    return a == b;
}

bool isReadMeFile(const std::filesystem::path& chosen)
{
    std::string name = chosen.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name == "ReadMe";
}

bool removeQuestionFile(const std::filesystem::path& chosen)
{
    return fsutil::removeFile(chosen);
}

} // namespace question
