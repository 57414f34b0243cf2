#include "WaveSound.h"

namespace wave {
namespace {

std::uint32_t le32(std::string_view bytes, std::size_t at)
{
    const auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

unsigned le16(std::string_view bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

} // namespace

std::optional<Pcm> readPcm(std::string_view file)
{
    if (file.size() < 12 || file.substr(0, 4) != "RIFF" || file.substr(8, 4) != "WAVE")
        return std::nullopt;
    Pcm pcm;
    bool haveFormat = false;
    std::size_t at = 12;
    while (file.size() - at >= 8) {
        const std::string_view id = file.substr(at, 4);
        const std::uint64_t size = le32(file, at + 4);
        const std::size_t body = at + 8;
        const std::size_t available = file.size() - body;
        if (id == "fmt ") {
            if (size < 16 || available < 16)
                return std::nullopt;
            const unsigned format = le16(file, body);
            pcm.channels = le16(file, body + 2);
            pcm.rate = le32(file, body + 4);
            pcm.bitsPerSample = le16(file, body + 14);
            if (format != 1 || (pcm.channels != 1 && pcm.channels != 2) || pcm.rate == 0 ||
                (pcm.bitsPerSample != 8 && pcm.bitsPerSample != 16))
                return std::nullopt;
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return std::nullopt;
            const std::size_t frame = pcm.channels * pcm.bitsPerSample / 8;
            std::size_t length = size < available ? static_cast<std::size_t>(size) : available;
            length -= length % frame;
            pcm.samples = file.substr(body, length);
            return pcm;
        }
        // Chunks are padded to an even length.
        const std::uint64_t next = body + size + (size & 1);
        if (next > file.size())
            break;
        at = static_cast<std::size_t>(next);
    }
    return std::nullopt;
}

} // namespace wave
