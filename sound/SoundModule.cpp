// The sound module: plays the program's two sounds, loaded by the program
// with the first sound (see platform/SoundPlayer.cpp).
//
// As with the platform's asynchronous PlaySound, the call returns at once
// and one sound plays at a time: a new sound cuts off the one playing. On
// Windows the sounds go to PlaySound from memory; elsewhere to ALSA's
// default device, which desktops route to their sound server (PipeWire,
// PulseAudio) and which is the sound card itself on a bare system. Without
// a sound device nothing is heard and nothing waits.

#include "platform/SoundPlayer.h"
#include "WaveSound.h"

#include <QFile>
#include <QString>
#include <memory>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#include <mmsystem.h>
#define MOLVANE_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define MOLVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if defined(MOLVANE_SOUND_ALSA)
#include <alsa/asoundlib.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace {

// The WAVE file of a sound, read once from the module's resources and kept
// while anything may still play it.
std::shared_ptr<const std::string> soundFile(int soundId)
{
    static std::shared_ptr<const std::string> right;
    static std::shared_ptr<const std::string> wrong;
    std::shared_ptr<const std::string>& slot = soundId == SoundPlayer::kRightSound ? right : wrong;
    if (!slot) {
        QFile file(soundId == SoundPlayer::kRightSound ? QStringLiteral(":/sounds/right.wav")
                                                       : QStringLiteral(":/sounds/wrong.wav"));
        if (!file.open(QIODevice::ReadOnly))
            return nullptr;
        slot = std::make_shared<const std::string>(file.readAll().toStdString());
    }
    return slot;
}

#if defined(MOLVANE_SOUND_ALSA)

// A machine without a sound device is no fault of the user's: the library's
// complaints about it stay off the terminal.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// One worker thread writes the sound to the device. It never blocks for
// long: the device is used without blocking, so that a new sound, or the
// end of the program, is taken up within a few milliseconds.
class AlsaPlayer {
public:
    ~AlsaPlayer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
            m_pending.reset();
        }
        m_wake.notify_all();
        if (m_worker.joinable())
            m_worker.join();
    }

    void play(std::shared_ptr<const std::string> file)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending = std::move(file);
            ++m_generation;
            if (!m_worker.joinable()) {
                snd_lib_error_set_handler(&quietAlsa);
                m_worker = std::thread([this] { run(); });
            }
        }
        m_wake.notify_all();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stopping || m_pending; });
            if (m_stopping)
                return;
            const std::shared_ptr<const std::string> file = std::move(m_pending);
            m_pending.reset();
            const unsigned long generation = m_generation;
            lock.unlock();
            playOne(*file, generation);
            lock.lock();
        }
    }

    // True while nothing asks the sound playing to give way.
    bool current(unsigned long generation)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_stopping && m_generation == generation;
    }

    void playOne(const std::string& file, unsigned long generation)
    {
        const std::optional<wave::Pcm> pcm = wave::readPcm(file);
        if (!pcm || pcm->samples.empty())
            return;
        snd_pcm_t* device = nullptr;
        if (snd_pcm_open(&device, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
            return;
        const snd_pcm_format_t format = pcm->bitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
        // A tenth of a second of buffer, resampled by the library where the
        // device does not take the sound's own rate.
        if (snd_pcm_set_params(device, format, SND_PCM_ACCESS_RW_INTERLEAVED, pcm->channels, pcm->rate, 1, 100000) < 0) {
            snd_pcm_close(device);
            return;
        }
        const std::size_t frameBytes = pcm->channels * pcm->bitsPerSample / 8;
        const char* data = pcm->samples.data();
        snd_pcm_uframes_t left = pcm->samples.size() / frameBytes;
        bool ok = true;
        while (left > 0 && ok && current(generation)) {
            const snd_pcm_sframes_t written = snd_pcm_writei(device, data, left);
            if (written > 0) {
                data += static_cast<std::size_t>(written) * frameBytes;
                left -= static_cast<snd_pcm_uframes_t>(written);
            } else if (written == 0 || written == -EAGAIN) {
                snd_pcm_wait(device, 20);
            } else {
                // An underrun or a suspended device is recovered once per
                // write; anything else ends this sound.
                ok = snd_pcm_recover(device, static_cast<int>(written), 1) >= 0;
            }
        }
        // A sound shorter than the buffer has not started by itself. What is
        // still in the buffer plays out, unless something asks the device to
        // give way first.
        if (ok && snd_pcm_state(device) == SND_PCM_STATE_PREPARED)
            snd_pcm_start(device);
        while (ok && current(generation)) {
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_state(device) != SND_PCM_STATE_RUNNING || snd_pcm_delay(device, &delay) < 0 || delay <= 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        snd_pcm_drop(device);
        snd_pcm_close(device);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::shared_ptr<const std::string> m_pending;
    unsigned long m_generation = 0;
    bool m_stopping = false;
    std::thread m_worker;
};

#endif

} // namespace

MOLVANE_MODULE_EXPORT void molvane_play_sound(int soundId)
{
    if (soundId != SoundPlayer::kRightSound && soundId != SoundPlayer::kWrongSound)
        return;
    const std::shared_ptr<const std::string> file = soundFile(soundId);
    if (!file)
        return;
#if defined(_WIN32)
    // The file stays in memory for the whole run, as the call requires.
    PlaySoundW(reinterpret_cast<LPCWSTR>(file->data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
#elif defined(MOLVANE_SOUND_ALSA)
    static AlsaPlayer player;
    player.play(file);
#endif
}
