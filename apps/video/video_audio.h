// Audio a container cannot hold as it is, decoded and encoded again in the
// container's own audio codec (AAC for .mp4 and .mov, Opus for .webm, PCM for
// .mxf), keeping its channels and, where the codec takes it, its sample rate.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

extern "C" {
struct AVFormatContext;
struct AVStream;
struct AVPacket;
}

namespace trellin_video {

class AudioReencoder {
public:
    // Adds the stream the audio of `input` is written to to `output`. Throws
    // VideoError (without a file name) when no encoder fits.
    AudioReencoder(const AVStream& input, AVFormatContext& output);
    ~AudioReencoder();
    AudioReencoder(const AudioReencoder&) = delete;
    AudioReencoder& operator=(const AudioReencoder&) = delete;

    AVStream& stream() const;
    // The encoder's name.
    std::string codec() const;

    // Decodes one of the input's packets, timestamps already less `offset`
    // (in the input stream's time base), and hands the packets encoded from
    // it, in the output stream's time base, to `emit`.
    void feed(const AVPacket& packet, const std::function<void(AVPacket&)>& emit);
    // Encodes what is left.
    void finish(const std::function<void(AVPacket&)>& emit);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace trellin_video
