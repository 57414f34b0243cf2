#pragma once
// The samples of a PCM WAVE file, as the sound module hands them to the
// sound device. Plain C++.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wave {

struct Pcm {
    unsigned channels = 0;
    unsigned rate = 0;          // frames per second
    unsigned bitsPerSample = 0; // 8 or 16
    std::string_view samples;   // whole frames only, inside the file's bytes
};

// The format and the samples of a RIFF WAVE file of uncompressed PCM, 8 or
// 16 bits, 1 or 2 channels; nothing for anything else. Chunks other than
// "fmt " and "data" are skipped; a data chunk longer than the file is taken
// as far as the file goes, and a cut last frame is left out.
std::optional<Pcm> readPcm(std::string_view file);
// The samples point into the file: it must outlive them.
std::optional<Pcm> readPcm(std::string&& file) = delete;

} // namespace wave
