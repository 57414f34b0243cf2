// The settings store over Parameter.INI: byte-exact values, where writes go,
// files written elsewhere, and writes that must not lose the file.

#include "TestSupport.h"
#include "settings/ProfileStore.h"

#include <QTest>
#include <sys/stat.h>
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
        QCOMPARE(store.GetProfileStringA("PW", "1"), std::string("  spaced pass "));
        QCOMPARE(store.GetProfileStringA("ID", "1"), std::string("\"quoted\""));
        // A line break must not start an entry of its own.
        store.WriteProfileStringA("SMTP", "1", "host\r\n[PW]\r\n1=stolen");
        QCOMPARE(store.GetProfileStringA("SMTP", "1"), std::string("host[PW]1=stolen"));
        QCOMPARE(store.GetProfileStringA("PW", "1"), std::string("  spaced pass "));
    }

    void filesWrittenElsewhereAreRead()
    {
        TestFolder folder;
        folder.writeFile("Parameter.INI", "\xEF\xBB\xBF[life]\n 1 = 7 \ngarbage line\n[Mail]\r\n1=abc\n[SEQ]\n1=-4x\n"
                                          "[BIG]\n1=99999999999\n[NEG]\n1=-99999999999\n[EMPTY]\n1=\n");
        ProfileStore store(folder.iniPath());
        QCOMPARE(store.GetProfileIntA("LIFE", "1", 0), 7);
        QCOMPARE(store.GetProfileIntA("MAIL", "1", 1), 0); // no number at the start
        QCOMPARE(store.GetProfileIntA("SEQ", "1", 0), -4);
        QCOMPARE(store.GetProfileIntA("BIG", "1", 0), 2147483647);
        QCOMPARE(store.GetProfileIntA("NEG", "1", 0), -2147483647 - 1);
        QCOMPARE(store.GetProfileIntA("EMPTY", "1", 9), 9);
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

    void failedWriteLeavesTheOldFile()
    {
        if (::geteuid() == 0)
            QSKIP("root may write into read-only folders");
        TestFolder folder;
        folder.writeIni("[LIFE]\n1=3\n");
        const std::string before = folder.ini();
        ::chmod(folder.path().c_str(), 0555);
        ProfileStore store(folder.iniPath());
        QVERIFY(!store.WriteProfileInt("LIFE", "1", 9));
        ::chmod(folder.path().c_str(), 0755);
        QCOMPARE(folder.ini(), before);
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
