// Deleting a question, creating a question file and protecting files from
// deletion, without the editor.

#include "support/TestSupport.h"

#include "core/FileSystem.h"
#include "questionfile/QuestionFileOps.h"
#include "questionfile/QuestionRecord.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace question;

namespace {

std::string records(std::initializer_list<const char*> questions)
{
    std::string out;
    int i = 0;
    for (const char* q : questions)
        out += encodeRecord(makeQuestion(q, 1 + (i++ % 5)), nullptr);
    return out;
}

struct FaultAt {
    explicit FaultAt(FaultPoint point)
    {
        setFaultInjector([point](FaultPoint p) { return p == point; });
    }
    ~FaultAt() { setFaultInjector(nullptr); }
};

} // namespace

class TestQuestionFileOps : public QObject {
    Q_OBJECT
private slots:
    void deletingKeepsTheOtherRecordsInOrder();
    void deletionReplacesALeftOverTemporaryFile();
    void failedDeletionLeavesTheBankAsItWas_data();
    void failedDeletionLeavesTheBankAsItWas();
    void deletionThroughALinkKeepsTheLink();
    void newFileGetsThreeTemplateRecords();
    void failedNewFileLeavesNothingBehind();
    void configuredAndReadMeFilesAreRecognised();
};

void TestQuestionFileOps::deletingKeepsTheOtherRecordsInOrder()
{
    TestFolder folder;
    const std::string bank = records({"一", "二", "三"});
    folder.writeFile("q.txt", bank + "tail");
    // The bank keeps its owner, group and mode (owner and group where the
    // system lets this process hand them on).
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(folder.file("q.txt").c_str(), 1234, 5678), 0);
    ::chmod(folder.file("q.txt").c_str(), 02640);

    QCOMPARE(deleteRecord("q.txt", 1), DeleteResult::Done);
    QCOMPARE(folder.readFile("q.txt"), bank.substr(0, 500) + bank.substr(1000, 500));
    QVERIFY(!folder.exists("q.txt_new"));
    struct stat st {};
    QCOMPARE(::stat(folder.file("q.txt").c_str(), &st), 0);
    QCOMPARE(st.st_mode & 07777, root ? 02640u : 0640u);
    if (root) {
        QCOMPARE(st.st_uid, uid_t(1234));
        QCOMPARE(st.st_gid, gid_t(5678));
    }

    // The file's count decides: a record past its end, or its last one, is
    // never deleted.
    QCOMPARE(deleteRecord("q.txt", 2), DeleteResult::NoSuchRecord);
    QCOMPARE(deleteRecord("q.txt", 0), DeleteResult::Done);
    QCOMPARE(folder.readFile("q.txt"), bank.substr(1000, 500));
    QCOMPARE(deleteRecord("q.txt", 0), DeleteResult::LastRecord);
    QCOMPARE(folder.readFile("q.txt"), bank.substr(1000, 500));

    QCOMPARE(deleteRecord("missing.txt", 0), DeleteResult::OpenFailed);
    QVERIFY(!folder.exists("missing.txt_new"));
    // A bank without write permission is read-only, for root too.
    folder.writeFile("locked.txt", bank);
    ::chmod(folder.file("locked.txt").c_str(), 0444);
    QCOMPARE(deleteRecord("locked.txt", 0), DeleteResult::OpenFailed);
    QCOMPARE(folder.readFile("locked.txt"), bank);
}

void TestQuestionFileOps::deletionReplacesALeftOverTemporaryFile()
{
    TestFolder folder;
    const std::string bank = records({"一", "二"});
    folder.writeFile("q.txt", bank);
    folder.writeFile("q.txt_new", std::string(5000, 'x'));
    ::chmod(folder.file("q.txt_new").c_str(), 0400);
    QCOMPARE(deleteRecord("q.txt", 0), DeleteResult::Done);
    QCOMPARE(folder.readFile("q.txt"), bank.substr(500));
    QVERIFY(!folder.exists("q.txt_new"));
}

void TestQuestionFileOps::failedDeletionLeavesTheBankAsItWas_data()
{
    QTest::addColumn<int>("point");
    QTest::addColumn<int>("expected");
    QTest::newRow("create") << int(FaultPoint::CreateTemp) << int(DeleteResult::TempFailed);
    QTest::newRow("write") << int(FaultPoint::WriteTemp) << int(DeleteResult::CopyFailed);
    QTest::newRow("sync") << int(FaultPoint::SyncTemp) << int(DeleteResult::CopyFailed);
    QTest::newRow("rename") << int(FaultPoint::Rename) << int(DeleteResult::ReplaceFailed);
}

void TestQuestionFileOps::failedDeletionLeavesTheBankAsItWas()
{
    QFETCH(int, point);
    QFETCH(int, expected);
    TestFolder folder;
    const std::string bank = records({"一", "二", "三"});
    folder.writeFile("q.txt", bank);
    {
        FaultAt fault(static_cast<FaultPoint>(point));
        QCOMPARE(int(deleteRecord("q.txt", 1)), expected);
    }
    QCOMPARE(folder.readFile("q.txt"), bank);
    QVERIFY(!folder.exists("q.txt_new"));
}

void TestQuestionFileOps::deletionThroughALinkKeepsTheLink()
{
    TestFolder folder;
    const std::string bank = records({"一", "二"});
    std::filesystem::create_directory(folder.file("real"));
    folder.writeFile("real/q.txt", bank);
    std::filesystem::create_symlink(folder.file("real/q.txt"), folder.file("link.txt"));
    QCOMPARE(deleteRecord("link.txt", 1), DeleteResult::Done);
    QVERIFY(std::filesystem::is_symlink(folder.file("link.txt")));
    QCOMPARE(folder.readFile("real/q.txt"), bank.substr(0, 500));
}

void TestQuestionFileOps::newFileGetsThreeTemplateRecords()
{
    TestFolder folder;
    const std::string t = templateRecordBytes();
    QCOMPARE(appendTemplateRecords(folder.file("new.txt")), NewFileResult::Done);
    QCOMPARE(folder.readFile("new.txt"), t + t + t);

    // An existing file keeps its content; a torn last record is filled up
    // with spaces so that the new records are found at their positions.
    const std::string bank = records({"一", "二"});
    folder.writeFile("old.txt", bank);
    QCOMPARE(appendTemplateRecords(folder.file("old.txt")), NewFileResult::Done);
    QCOMPARE(folder.readFile("old.txt"), bank + t + t + t);
    folder.writeFile("torn.txt", bank + "abc");
    QCOMPARE(appendTemplateRecords(folder.file("torn.txt")), NewFileResult::Done);
    QCOMPARE(folder.readFile("torn.txt"), bank + "abc" + std::string(497, ' ') + t + t + t);

    QCOMPARE(appendTemplateRecords(folder.file("no/such/folder.txt")), NewFileResult::OpenFailed);
    QCOMPARE(appendTemplateRecords(folder.path()), NewFileResult::OpenFailed);
}

void TestQuestionFileOps::failedNewFileLeavesNothingBehind()
{
    TestFolder folder;
    const std::string bank = records({"一", "二"});
    folder.writeFile("old.txt", bank + "x");
    FaultAt fault(FaultPoint::WriteNewFile);
    QCOMPARE(appendTemplateRecords(folder.file("old.txt")), NewFileResult::WriteFailed);
    QCOMPARE(folder.readFile("old.txt"), bank + "x");
    QCOMPARE(appendTemplateRecords(folder.file("new.txt")), NewFileResult::WriteFailed);
    QVERIFY(!folder.exists("new.txt"));
}

void TestQuestionFileOps::configuredAndReadMeFilesAreRecognised()
{
    TestFolder folder;
    folder.writeFile("q.txt", records({"一"}));
    folder.writeFile("other.txt", records({"一"}));
    const auto full = folder.file("q.txt");
    // A bare name is looked up in the current folder.
    QVERIFY(isConfiguredFile(full, "q.txt"));
    QVERIFY(isConfiguredFile(full, fsutil::storedName(full)));
    QVERIFY(isConfiguredFile(folder.path() / "." / "q.txt", "./q.txt"));
    QVERIFY(!isConfiguredFile(folder.file("other.txt"), "q.txt"));
    QVERIFY(!isConfiguredFile(full, ""));
    std::filesystem::create_symlink(full, folder.file("alias.txt"));
    QVERIFY(isConfiguredFile(folder.file("alias.txt"), "q.txt"));

    QVERIFY(isReadMeFile("/any/where/ReadMe.txt"));
    QVERIFY(isReadMeFile("ReadMe.doc"));
    QVERIFY(isReadMeFile("ReadMe"));
    QVERIFY(!isReadMeFile("readme.txt"));
    QVERIFY(!isReadMeFile("ReadMe2.txt"));

    QVERIFY(!removeQuestionFile(folder.path()));
    QVERIFY(!removeQuestionFile(folder.file("missing.txt")));
    QVERIFY(removeQuestionFile(folder.file("other.txt")));
    QVERIFY(!folder.exists("other.txt"));
}

QTEST_MAIN(TestQuestionFileOps)
#include "test_question_file_ops.moc"
