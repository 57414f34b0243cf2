#pragma once
// Plays the program's two sounds asynchronously; tests replace the player.

#include <functional>

namespace SoundPlayer {

constexpr int kRightSound = 145;
constexpr int kWrongSound = 146;

// Starts the sound and returns at once. Without a sound device nothing is
// heard and nothing waits.
void play(int soundId);

using Handler = std::function<void(int soundId)>;
void setHandler(Handler handler);

} // namespace SoundPlayer
