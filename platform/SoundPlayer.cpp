#include "SoundPlayer.h"

#include "LazyModule.h"

namespace SoundPlayer {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
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
    // The multimedia library and its sound back end are loaded with the
    // first sound, not at start-up. Without the module nothing is heard.
    using Entry = void (*)(int);
    static const Entry entry = reinterpret_cast<Entry>(LazyModule::resolve("molvane-sound", "molvane_play_sound"));
    if (entry)
        entry(soundId);
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace SoundPlayer
