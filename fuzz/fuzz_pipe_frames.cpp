// The pipe's frame reading: the first two bytes of the input give a frame
// size (1 to 5 pixels a side), the rest is the stream. Properties: the reader
// gives every whole frame with its samples little-endian, and a stream that
// ends inside a frame is refused, naming that frame.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "apps/common/core/raw_frames.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trellin_app;
    using trellin_fuzz::broken;
    trellin_fuzz::FuzzInput input(data, size);
    const int width = 1 + input.byte() % 5, height = 1 + input.byte() % 5;
    const std::string stream = input.rest();
    int ends[2];
    if (::pipe(ends) != 0) return 0;
    // The fuzzer keeps inputs small: the whole stream fits in the pipe.
    const bool sent = ::write(ends[1], stream.data(), stream.size()) == static_cast<ssize_t>(stream.size());
    ::close(ends[1]);
    if (!sent) {
        ::close(ends[0]);
        return 0;
    }
    RawFrameReader reader(ends[0], width, height);
    const std::size_t frame_bytes = reader.frame_bytes();
    std::vector<std::uint16_t> samples(frame_bytes / 2);
    bool cut = false;
    try {
        const std::uint8_t* bytes = nullptr;
        while (reader.next_bytes(bytes)) {
            samples_from_le(bytes, samples.data(), samples.size());
            const std::size_t base = std::size_t(reader.frames() - 1) * frame_bytes;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                const auto lo = static_cast<unsigned char>(stream[base + 2 * i]);
                const auto hi = static_cast<unsigned char>(stream[base + 2 * i + 1]);
                if (samples[i] != (lo | (hi << 8))) broken("a sample was not read little-endian");
            }
        }
    } catch (const RawFrameError& e) {
        cut = true;
        const std::string frame = "frame " + std::to_string(stream.size() / frame_bytes) + " ";
        if (std::string(e.what()).find(frame) == std::string::npos) broken("a cut frame was misnamed:", e.what());
    }
    ::close(ends[0]);
    if (static_cast<std::size_t>(reader.frames()) != stream.size() / frame_bytes) broken("whole frames were lost");
    if (cut != (stream.size() % frame_bytes != 0)) broken("a cut stream was not refused, or a whole one was");
    return 0;
}
