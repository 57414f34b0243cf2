#include "SoundPlayer.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

namespace SoundPlayer {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}

QSoundEffect* effectFor(int soundId)
{
    static QSoundEffect* right = nullptr;
    static QSoundEffect* wrong = nullptr;
    QSoundEffect*& slot = soundId == kRightSound ? right : wrong;
    if (!slot) {
        slot = new QSoundEffect(QCoreApplication::instance());
        slot->setSource(QUrl(soundId == kRightSound ? QStringLiteral("qrc:/sounds/right.wav")
                                                    : QStringLiteral("qrc:/sounds/wrong.wav")));
    }
    return slot;
}
} // namespace

void play(int soundId)
{
    if (handler()) {
        handler()(soundId);
        return;
    }
    if (soundId != kRightSound && soundId != kWrongSound)
        return;
    QSoundEffect* effect = effectFor(soundId);
    effect->stop();
    effect->play();
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace SoundPlayer
