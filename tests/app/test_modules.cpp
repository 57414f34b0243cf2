// The modules the program loads on first use: the mail module sends a real
// mail, the sound module plays the sounds' samples on the sound device, and
// a program without its modules finds nothing and goes on.

#include "core/ProgramPaths.h"
#include "platform/LazyModule.h"
#include "platform/SoundPlayer.h"
#include "sound/WaveSound.h"
#include "reportmail/BSendMail.h"
#include "support/SmtpTestServer.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray resource(const char* name)
{
    QFile file(QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string samplesOf(const QByteArray& wav)
{
    const auto pcm = wave::readPcm(std::string_view(wav.constData(), static_cast<std::size_t>(wav.size())));
    return pcm ? std::string(pcm->samples) : std::string();
}

// A RIFF WAVE file of the given format chunk body and data.
std::string waveFile(const std::string& format, const std::string& data, const std::string& before = {})
{
    auto le32 = [](std::size_t v) {
        return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    };
    std::string chunks = before + "fmt " + le32(format.size()) + format + "data" + le32(data.size()) + data;
    return "RIFF" + le32(chunks.size() + 4) + "WAVE" + chunks;
}

// PCM, the channels, 44100 Hz, the bits.
std::string pcmFormat(char channels, char bits, char tag = 1)
{
    const char rate[] = {'\x44', '\xAC', 0, 0};
    return std::string{tag, 0, channels, 0} + std::string(rate, 4) + std::string(4, '\0') +
           std::string{char(channels * bits / 8), 0, bits, 0};
}

} // namespace

class TestModules : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        programpaths::setExecutableFolder({});
    }

    void mailGoesOutThroughTheMailModule()
    {
        programpaths::setExecutableFolder(MOLVANE_MODULE_DIR);
        using Entry = int (*)(const char*, const char*, const char*, const char*, const char*, const void*, char*);
        const auto send = reinterpret_cast<Entry>(LazyModule::resolve("molvane-mail", "molvane_bsendmail"));
        QVERIFY(send);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        char failure[kFailureTextSize] = "x";
        const int result = send(server.serverArgument().c_str(), "<supervisor@example.org>", "<test@example.org>",
                                sj("受験開始").c_str(), sj("山田 太郎").c_str(), nullptr, failure);
        QCOMPARE(result, 0);
        QCOMPARE(failure[0], '\0');
        QCOMPARE(server.messages().size(), 1);
        QCOMPARE(server.messages()[0].subject, QStringLiteral("受験開始"));

        QVERIFY(LazyModule::resolve("molvane-sound", "molvane_play_sound"));
        QVERIFY(!LazyModule::resolve("molvane-sound", "no_such_entry"));
    }

    void soundsAreReadAsTheDeviceTakesThem()
    {
        // The program's own sounds: 44100 Hz, 16-bit stereo, and their lengths.
        for (auto [name, dataBytes] : {std::pair{":/sounds/right.wav", 313344}, std::pair{":/sounds/wrong.wav", 101376}}) {
            const QByteArray wav = resource(name);
            const auto pcm = wave::readPcm(std::string_view(wav.constData(), static_cast<std::size_t>(wav.size())));
            QVERIFY2(pcm, name);
            QCOMPARE(pcm->channels, 2u);
            QCOMPARE(pcm->rate, 44100u);
            QCOMPARE(pcm->bitsPerSample, 16u);
            QCOMPARE(pcm->samples.size(), std::size_t(dataBytes));
        }
        const std::string samples = "\x01\x02\x03\x04\x05\x06\x07\x08";
        // Other chunks are skipped, odd ones with their pad byte.
        const std::string withList = waveFile(pcmFormat(2, 16), samples, std::string("LIST\x03\0\0\0abc\0", 12));
        auto pcm = wave::readPcm(withList);
        QVERIFY(pcm && pcm->samples == samples);
        // A data chunk longer than the file: what there is, in whole frames.
        std::string cut = waveFile(pcmFormat(2, 16), samples);
        cut.resize(cut.size() - 3);
        pcm = wave::readPcm(cut);
        QVERIFY(pcm);
        QCOMPARE(pcm->samples.size(), std::size_t(4));
        // What the device cannot take, or what is not a sound at all.
        for (const std::string& refused :
             {waveFile(pcmFormat(2, 16, 3), samples),                   // floating point
              waveFile(pcmFormat(2, 24), samples),                      // 24-bit
              waveFile(pcmFormat(6, 16), samples),                      // six channels
              waveFile(pcmFormat(2, 16).substr(0, 14), samples),        // a cut format
              std::string("RIFF\0\0\0\0WAVEdata\4\0\0\0abcd", 24), // no format
              std::string("RIFF"), std::string(64, '\xFF')})
            QVERIFY(!wave::readPcm(refused));
    }

    void soundModulePlaysOnTheDefaultDevice()
    {
        // ALSA's default device, here, writes what it is given to a file.
        QTemporaryDir dir;
        const QString played = dir.filePath(QStringLiteral("played.raw"));
        QFile config(dir.filePath(QStringLiteral("asound.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("pcm.!default { type file slave.pcm \"quiet\" file \"%1\" format \"raw\" }\n"
                                    "pcm.quiet { type null }\n")
                         .arg(played)
                         .toUtf8());
        config.close();
        qputenv("ALSA_CONFIG_PATH", config.fileName().toLocal8Bit());

        programpaths::setExecutableFolder(MOLVANE_MODULE_DIR);
        using Entry = void (*)(int);
        const auto play = reinterpret_cast<Entry>(LazyModule::resolve("molvane-sound", "molvane_play_sound"));
        QVERIFY(play);
        const std::string right = samplesOf(resource(":/sounds/right.wav"));
        const std::string wrong = samplesOf(resource(":/sounds/wrong.wav"));
        auto file = [&played] {
            QFile f(played);
            return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
        };
        play(SoundPlayer::kRightSound);
        QTRY_VERIFY_WITH_TIMEOUT(file() == right, 10000);
        play(SoundPlayer::kWrongSound);
        QTRY_VERIFY_WITH_TIMEOUT(file() == wrong, 10000);
        // Anything else plays nothing.
        QFile::remove(played);
        play(0);
        QTest::qWait(100);
        QVERIFY(!QFile::exists(played));
        qunsetenv("ALSA_CONFIG_PATH");
    }

    void withoutModulesNothingIsFound()
    {
        TestFolder folder;
        programpaths::setExecutableFolder(folder.path());
        QVERIFY(!LazyModule::resolve("molvane-mail", "molvane_bsendmail"));
        QVERIFY(!LazyModule::resolve("molvane-sound", "molvane_play_sound"));
    }
};

QTEST_MAIN(TestModules)
#include "test_modules.moc"
