// The settings store over Parameter.INI: byte-exact values, where writes go,
// files written elsewhere, and writes that must not lose the file.

#include "TestSupport.h"
#include "core/FileSystem.h"
#include "settings/ProfileStore.h"

#include <QTest>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

class TestProfileStore : public QObject {
    Q_OBJECT
private slots:
    void missingFileGivesEachReadersDefault()
    {
        TestFolder folder;
        ProfileStore store(folder.iniPath());
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 0), 0);
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 1), 1);
        QCOMPARE(store.GetProfileIntA("MAIL", "1", 1), 1);
        QCOMPARE(store.GetProfileStringA("QUESTION", "1", "sample0524.txt"), std::string("sample0524.txt"));
        QCOMPARE(store.GetProfileStringA("SMTP", "1"), std::string());
    }

    void writesGoWhereTheyBelong()
    {
        TestFolder folder;
        folder.writeIni("; written by hand\n[LIFE]\n1=3\n\n[SMTP]\n1=mail.example\n");
        ProfileStore store(folder.iniPath());
        QVERIFY(store.WriteProfileInt("LIFE", "1", 5));          // replaced where it stands
        QVERIFY(store.WriteProfileStringA("LIFE", "note", "x"));  // end of its section
        QVERIFY(store.WriteProfileStringA("SOUND", "SW", "1"));  // new section at the end
        QCOMPARE(folder.ini(), std::string("; written by hand\r\n[LIFE]\r\n1=5\r\nnote=x\r\n\r\n"
                                           "[SMTP]\r\n1=mail.example\r\n[SOUND]\r\nSW=1\r\n"));
    }

    void createdFileHasSectionsInWriteOrderAndOwnerOnlyAccess()
    {
        TestFolder folder;
        ProfileStore store(folder.iniPath());
        store.WriteProfileInt("LIFE", "1", 3);
        store.WriteProfileInt("TIME_LIMIT", "1", 20);
        store.WriteProfileStringA("PW", "1", "secret");
        QCOMPARE(folder.ini(), std::string("[LIFE]\r\n1=3\r\n[TIME_LIMIT]\r\n1=20\r\n[PW]\r\n1=secret\r\n"));
        struct stat st {};
        QCOMPARE(::stat(folder.iniPath().c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void japaneseValuesRoundTripByteForByte()
    {
        TestFolder folder;
        ProfileStore store(folder.iniPath());
        // 表 and ソ end in 0x5C; 能 in 0x5C too.
        const std::string name = sj("問題\\表ソ能〜.txt");
        QVERIFY(store.WriteProfileStringA("QUESTION", "1", name));
        QCOMPARE(store.GetProfileStringA("QUESTION", "1", ""), name);
        QVERIFY(folder.ini().find("1=" + name + "\r\n") != std::string::npos);
    }

    void valuesThatWouldNotReadBackAreProtected()
    {
        TestFolder folder;
        ProfileStore store(folder.iniPath());
        store.WriteProfileStringA("PW", "1", "  spaced pass ");
        store.WriteProfileStringA("ID", "1", "\"quoted\"");
        store.WriteProfileStringA("FROM", "1", "trailing ");
        QCOMPARE(store.GetProfileStringA("PW", "1"), std::string("  spaced pass "));
        QCOMPARE(store.GetProfileStringA("ID", "1"), std::string("\"quoted\""));
        QCOMPARE(store.GetProfileStringA("FROM", "1"), std::string("trailing "));
        // A line break must not start an entry of its own.
        store.WriteProfileStringA("SMTP", "1", "host\r\n[PW]\r\n1=stolen");
        QCOMPARE(store.GetProfileStringA("SMTP", "1"), std::string("host[PW]1=stolen"));
        QCOMPARE(store.GetProfileStringA("PW", "1"), std::string("  spaced pass "));
    }

    void filesWrittenElsewhereAreRead()
    {
        TestFolder folder;
        folder.writeFile("Parameter.INI", "\xEF\xBB\xBF[life]\n 1 = 7 \ngarbage line\n[Mail]\r\n1=abc\n[SEQ]\n1=-4x\n"
                                          "[BIG]\n1=99999999999\n[NEG]\n1=-99999999999\n[EMPTY]\n1=\n[QUOTES]\n1=\"\"\n");
        ProfileStore store(folder.iniPath());
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 0), 7);
        QCOMPARE(store.GetProfileIntA("MAIL", "1", 1), 0); // no number at the start
        QCOMPARE(store.GetProfileIntA("SEQ", "1", 0), -4);
        QCOMPARE(store.GetProfileIntA("BIG", "1", 0), 2147483647);
        QCOMPARE(store.GetProfileIntA("NEG", "1", 0), -2147483647 - 1);
        QCOMPARE(store.GetProfileIntA("EMPTY", "1", 9), 9);
        QCOMPARE(store.GetProfileStringA("QUOTES", "1", "x"), std::string()); // an empty text in quotes
        // LF-only files stay LF-only.
        store.WriteProfileStringA("NEW", "1", "v");
        QVERIFY(folder.ini().find("[NEW]\n1=v\n") != std::string::npos);
        QVERIFY(folder.ini().find("\r\n[NEW]") == std::string::npos);
    }

    void binaryFileDoesNotCrash()
    {
        TestFolder folder;
        std::string junk;
        for (int i = 0; i < 4096; ++i)
            junk += static_cast<char>((i * 131) & 0xFF);
        folder.writeFile("Parameter.INI", junk);
        ProfileStore store(folder.iniPath());
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 42), 42);
        QVERIFY(store.WriteProfileInt("LIFE", "1", 1));
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 42), 1);
    }

    void duplicatedEntriesAreReadAndWrittenInOneCopy()
    {
        TestFolder folder;
        folder.writeIni("[LIFE]\n1=3\n1=4\n[SEQ]\nx=0\n[SEQ]\n1=7\n");
        ProfileStore store(folder.iniPath());
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 0), 3);
        QCOMPARE(store.GetProfileIntA("SEQ", "1", 0), 7);
        store.WriteProfileInt("LIFE", "1", 5);
        store.WriteProfileInt("SEQ", "1", 1);
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 0), 5);
        QCOMPARE(store.GetProfileIntA("SEQ", "1", 0), 1);
        QCOMPARE(folder.ini(), std::string("[LIFE]\r\n1=5\r\n1=4\r\n[SEQ]\r\nx=0\r\n[SEQ]\r\n1=1\r\n"));
    }

    // A file this process may not write keeps what it holds. Root honours a
    // file without write permission as read-only too.
    void readOnlyFileIsNeverReplaced_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("asNobody");
        QTest::newRow("read-only") << 0444 << 0777 << false;
        QTest::newRow("read-only, another user") << 0444 << 0777 << true;
        QTest::newRow("someone else's file") << 0644 << 0777 << true;
        QTest::newRow("read-only folder") << 0666 << 0555 << true;
        // Writable but not readable: replacing it would lose every other entry.
        QTest::newRow("write-only file of one's own") << 0200 << 0777 << true;
    }
    void readOnlyFileIsNeverReplaced()
    {
        QFETCH(int, mode);
        QFETCH(int, folderMode);
        QFETCH(bool, asNobody);
        if (asNobody && ::geteuid() != 0)
            QSKIP("needs root to act as another user");
        TestFolder folder;
        folder.writeIni("[LIFE]\n1=3\n");
        ::chmod(folder.path().c_str(), static_cast<mode_t>(folderMode));
        ::chmod(folder.iniPath().c_str(), static_cast<mode_t>(mode));
        if (mode == 0200 && ::chown(folder.iniPath().c_str(), kNobody, kNobody) != 0)
            QFAIL("cannot hand the file to nobody");
        const std::string before = folder.ini();
        struct stat old {};
        ::stat(folder.iniPath().c_str(), &old);

        ProfileStore store(folder.iniPath());
        auto write = [&store] { return store.WriteProfileInt("LIFE", "1", 9) ? 1 : 0; };
        QCOMPARE(asNobody ? runAs(kNobody, kNobody, write) : write(), 0);
        QCOMPARE(folder.ini(), before);
        struct stat now {};
        ::stat(folder.iniPath().c_str(), &now);
        QCOMPARE(now.st_ino, old.st_ino);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
    }

    void linksStayLinks()
    {
        TestFolder folder;
        folder.writeFile("real/Parameter.INI", "[LIFE]\r\n1=3\r\n");
        std::filesystem::create_symlink("real/Parameter.INI", folder.file("hop"));
        std::filesystem::create_symlink("hop", folder.iniPath());
        ProfileStore store(folder.iniPath());
        QVERIFY(store.WriteProfileInt("LIFE", "1", 7));
        QVERIFY(std::filesystem::is_symlink(folder.iniPath()) && std::filesystem::is_symlink(folder.file("hop")));
        QCOMPARE(folder.readFile("real/Parameter.INI"), std::string("[LIFE]\r\n1=7\r\n"));

        // A relative link is read from the link's folder, not the current one.
        folder.writeFile("real/target.INI", "[LIFE]\r\n1=3\r\n");
        folder.writeFile("target.INI", "decoy\r\n");
        std::filesystem::create_symlink("target.INI", folder.file("real/link.INI"));
        ProfileStore inFolder(folder.file("real/link.INI"));
        QVERIFY(inFolder.WriteProfileInt("LIFE", "1", 8));
        QCOMPARE(folder.readFile("real/target.INI"), std::string("[LIFE]\r\n1=8\r\n"));
        QCOMPARE(folder.readFile("target.INI"), std::string("decoy\r\n"));

        // A link to a file not there yet: the file is made where it points.
        ProfileStore dangling(folder.file("dangling.INI"));
        std::filesystem::create_symlink("real/new.INI", folder.file("dangling.INI"));
        QVERIFY(dangling.WriteProfileStringA("PW", "1", "secret"));
        QVERIFY(std::filesystem::is_symlink(folder.file("dangling.INI")));
        QCOMPARE(folder.readFile("real/new.INI"), std::string("[PW]\r\n1=secret\r\n"));
    }

    void temporaryFilesAreOwnerOnlyAndLeftoversGo()
    {
        TestFolder folder;
        folder.writeIni("[PW]\n1=old\n");
        ::chmod(folder.iniPath().c_str(), 0644);
        const char* names[] = {"Parameter.INI.tmp-AbC123", "Parameter.INI.tmp-XyZ789", "Parameter.INI.tmp-longer1"};
        for (const char* name : names)
            folder.writeFile(name, "x");
        // An hour old: left by a crash. The other two are no leftovers: one
        // may be another program's write in progress, one has another name.
        const struct timeval hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ::utimes(folder.file(names[0]).c_str(), hourAgo);
        ::utimes(folder.file(names[2]).c_str(), hourAgo);

        mode_t modeWhileWriting = 0;
        // The new content is flushed to disk before it takes the old one's place.
        QStringList flushes;
        fsutil::ReplaceOptions options;
        options.flush = [&flushes, &folder](int fd) {
            struct stat st {};
            ::fstat(fd, &st);
            flushes << QStringLiteral("%1 bytes over %2").arg(st.st_size).arg(QString::fromStdString(folder.ini()));
            return ::fdatasync(fd);
        };
        const auto result = fsutil::replaceFile(
            folder.iniPath(),
            [&modeWhileWriting](int fd) {
                struct stat st {};
                ::fstat(fd, &st);
                modeWhileWriting = st.st_mode & 0777;
                return fsutil::writeAll(fd, "[PW]\r\n1=new\r\n", 14);
            },
            options);
        QCOMPARE(result, fsutil::ReplaceResult::Done);
        QCOMPARE(flushes, QStringList({"14 bytes over [PW]\r\n1=old\r\n"}));
        QCOMPARE(modeWhileWriting, mode_t(0600));
        struct stat st {};
        ::stat(folder.iniPath().c_str(), &st);
        QCOMPARE(st.st_mode & 0777, 0644u);
        QVERIFY(!folder.exists(names[0]));
        QVERIFY(folder.exists(names[1]) && folder.exists(names[2]));
        QCOMPARE(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 3);
    }

    void writeIntoMissingFolderFailsQuietly()
    {
        TestFolder folder;
        ProfileStore store(folder.file("gone/Parameter.INI"));
        QVERIFY(!store.WriteProfileInt("LIFE", "1", 9));
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 4), 4);
    }
};

QTEST_GUILESS_MAIN(TestProfileStore)
#include "test_profile_store.moc"
