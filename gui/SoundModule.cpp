// The sound module: plays the program's two sounds with the toolkit's
// multimedia library, loaded by the program on the first sound (see
// gui/SoundPlayer.cpp).

#include "SoundPlayer.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

#if defined(_WIN32)
#define MOLVANE_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define MOLVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

QSoundEffect* effectFor(int soundId)
{
    static QSoundEffect* right = nullptr;
    static QSoundEffect* wrong = nullptr;
    QSoundEffect*& slot = soundId == SoundPlayer::kRightSound ? right : wrong;
    if (!slot) {
        slot = new QSoundEffect(QCoreApplication::instance());
        slot->setSource(QUrl(soundId == SoundPlayer::kRightSound ? QStringLiteral("qrc:/sounds/right.wav")
                                                                 : QStringLiteral("qrc:/sounds/wrong.wav")));
    }
    return slot;
}

} // namespace

MOLVANE_MODULE_EXPORT void molvane_play_sound(int soundId)
{
    if (soundId != SoundPlayer::kRightSound && soundId != SoundPlayer::kWrongSound)
        return;
    QSoundEffect* effect = effectFor(soundId);
    effect->stop();
    effect->play();
}
