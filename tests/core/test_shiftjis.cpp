// Code page 932 conversion: the Windows mapping, the look-alikes typed on
// other platforms, and broken input.

#include "core/ShiftJis.h"

#include <QTest>

class TestShiftJis : public QObject {
    Q_OBJECT
private slots:
    void windowsMapping_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("wave dash is fullwidth tilde") << QByteArray("\x81\x60") << QString(QChar(0xFF5E));
        QTest::newRow("minus is fullwidth hyphen-minus") << QByteArray("\x81\x7C") << QString(QChar(0xFF0D));
        QTest::newRow("NEC circled one") << QByteArray("\x87\x40") << QStringLiteral("①");
        QTest::newRow("IBM extension") << QByteArray("\xFA\x40") << QStringLiteral("ⅰ");
        QTest::newRow("half-width katakana") << QByteArray("\xB1\xB8") << QStringLiteral("ｱｸ");
        QTest::newRow("backslash trail byte") << QByteArray("\x95\x5C") << QStringLiteral("表");
        QTest::newRow("ascii") << QByteArray("abc 123") << QStringLiteral("abc 123");
        QTest::newRow("single bytes Windows keeps")
            << QByteArray("\x80" "a\xA0\xFD\xFE\xFF") << QString::fromUtf8("\u0080a\uF8F0\uF8F1\uF8F2\uF8F3");
    }
    void windowsMapping()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(sjis::toUtf8(bytes.toStdString())), text);
        QCOMPARE(QByteArray::fromStdString(sjis::fromUtf8(text.toStdString())), bytes);
    }

    void lookAlikesLandOnWindowsBytes_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("U+301C") << QString(QChar(0x301C)) << QByteArray("\x81\x60");
        QTest::newRow("U+2212") << QString(QChar(0x2212)) << QByteArray("\x81\x7C");
        QTest::newRow("U+2016") << QString(QChar(0x2016)) << QByteArray("\x81\x61");
        QTest::newRow("cent") << QString(QChar(0xA2)) << QByteArray("\x81\x91");
        QTest::newRow("pound") << QString(QChar(0xA3)) << QByteArray("\x81\x92");
        QTest::newRow("not") << QString(QChar(0xAC)) << QByteArray("\x81\xCA");
        QTest::newRow("in a sentence") << QStringLiteral("1〜2−3") << QByteArray("1\x81\x60" "2\x81\x7C" "3");
    }
    void lookAlikesLandOnWindowsBytes()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, bytes);
        QCOMPARE(QByteArray::fromStdString(sjis::fromUtf8(typed.toStdString())), bytes);
    }

    void unmappableBecomesQuestionMark()
    {
        QCOMPARE(sjis::fromUtf8("a😀b"), std::string("a?b"));
        QCOMPARE(sjis::fromUtf8("한"), std::string("?"));
        // Broken UTF-8 does not stop the conversion.
        QCOMPARE(sjis::fromUtf8("x\xC3(y"), std::string("x?(y"));
        // The first character that turns into "?" is the one to name.
        QCOMPARE(sjis::firstUnencodable("𠮷田花子"), std::string("𠮷"));
        QCOMPARE(sjis::firstUnencodable("髙橋ｱ①〜?한😀"), std::string("한"));
        QCOMPARE(sjis::firstUnencodable("x\xC3(y"), std::string("\xC3"));
        QCOMPARE(sjis::firstUnencodable("試験太郎 ?"), std::string());
    }

    void invalidBytesBecomeReplacementCharacters_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString r(QChar(0xFFFD));
        QTest::newRow("lone lead byte at end") << QByteArray("ab\x82") << QString("ab" + r);
        QTest::newRow("lead byte before ascii") << QByteArray("\x82" "A") << QString(r + "A");
    }
    void invalidBytesBecomeReplacementCharacters()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(sjis::toUtf8(bytes.toStdString())), text);
    }

    void everyByteSequenceDecodes()
    {
        // No input can crash or stop the decoder.
        std::string all;
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; j += 7)
                all += {static_cast<char>(i), static_cast<char>(j)};
        const std::string utf8 = sjis::toUtf8(all);
        QVERIFY(!utf8.empty());
        QVERIFY(QString::fromUtf8(utf8.c_str(), static_cast<int>(utf8.size())).size() > 0);
    }

    void pathsAreSplitOnRealSeparatorsOnly()
    {
        // 表 ends with 0x5C, which is not a folder separator.
        const std::string name = "C:\\data\\\x95\x5C.txt";
        QCOMPARE(sjis::folderPart(name), std::string("C:\\data\\"));
        QCOMPARE(sjis::fileNamePart(name), std::string("\x95\x5C.txt"));
        QCOMPARE(sjis::folderPart("\x95\x5C.txt"), std::string());
        QCOMPARE(sjis::folderPart("dir/q.txt"), std::string("dir/"));
        // The ends of the two lead-byte ranges, and the bytes just outside.
        for (int lead : {0x81, 0x9F, 0xE0, 0xFC})
            QCOMPARE(sjis::folderPart(std::string{static_cast<char>(lead), '\\', 'x'}), std::string());
        for (int single : {0x80, 0xA0, 0xDF, 0xFD})
            QCOMPARE(sjis::folderPart(std::string{static_cast<char>(single), '\\', 'x'}), std::string({static_cast<char>(single), '\\'}));
    }
};

QTEST_APPLESS_MAIN(TestShiftJis)
#include "test_shiftjis.moc"
