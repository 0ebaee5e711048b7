// Raw video frames, one after another, rows top first, packed without
// padding: ffmpeg's rgba64le (16-bit RGBA samples, little-endian) or
// gbrapf32le (float planes G, B, R, A, little-endian).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace trellin_app {

inline constexpr int raw_bytes_per_pixel = 8;
inline constexpr int raw_float_bytes_per_pixel = 16;

// A stream that cannot be read, or that ends inside a frame.
class RawFrameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the frames of one size from a file descriptor. The memory of a frame
// is taken only when its first byte has arrived, so an empty stream costs
// nothing whatever the size.
class RawFrameReader {
public:
    RawFrameReader(int fd, int width, int height, int bytes_per_pixel = raw_bytes_per_pixel);

    // Whether the stream ends before the next frame starts (reads one byte
    // ahead when it does not).
    bool at_end();
    // Reads the next frame's bytes, as they came; `bytes` points at them until
    // the next call. Returns false when the stream ends before a frame starts.
    // Throws RawFrameError when it ends inside one (naming the frame and the
    // bytes it got) or cannot be read.
    bool next_bytes(const std::uint8_t*& bytes);
    // As next_bytes, into `into` (frame_bytes() long) instead of the
    // reader's own buffer.
    bool next_into(std::uint8_t* into);
    // Frames read so far.
    long long frames() const { return frames_; }
    std::size_t frame_bytes() const { return frame_bytes_; }

private:
    int fd_;
    std::size_t frame_bytes_;
    std::vector<std::uint8_t> buffer_;
    long long frames_ = 0;
    int ahead_ = -1;  // a byte read ahead by at_end, or -1
};

// Gives a pipe on `fd` room for `bytes` (as far as the system allows), so
// that large frames cross it in fewer hand-overs between the two programs.
// Does nothing for a descriptor that is not a pipe, or when refused.
void widen_pipe(int fd, std::size_t bytes);

// Reads up to `size` bytes, as many as the stream gives before it ends;
// returns the count read. Throws RawFrameError when the stream cannot be read.
std::size_t read_fully(int fd, std::uint8_t* data, std::size_t size);

// Host samples to little-endian bytes (2 per sample), and back.
void samples_to_le(const std::uint16_t* samples, std::uint8_t* bytes, std::size_t count);
void samples_from_le(const std::uint8_t* bytes, std::uint16_t* samples, std::size_t count);

// Float planes G, B, R, A (little-endian) to interleaved RGBA, and back.
void float_planes_to_rgba(const std::uint8_t* bytes, float* rgba, std::size_t pixels);
void rgba_to_float_planes(const float* rgba, std::uint8_t* bytes, std::size_t pixels);

}  // namespace trellin_app
