#include "apps/common/core/raw_frames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>

namespace trellin_app {

void samples_from_le(const std::uint8_t* bytes, std::uint16_t* samples, std::size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(samples, bytes, count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
}

std::size_t read_fully(int fd, std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw RawFrameError(std::string("cannot read standard input: ") + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void samples_to_le(const std::uint16_t* samples, std::uint8_t* bytes, std::size_t count)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes, samples, count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            bytes[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xff);
            bytes[2 * i + 1] = static_cast<std::uint8_t>(samples[i] >> 8);
        }
    }
}

// The planes' order in the stream of each of R, G, B, A.
constexpr int plane_of_channel[4] = {2, 0, 1, 3};

void float_planes_to_rgba(const std::uint8_t* bytes, float* rgba, std::size_t pixels)
{
    for (int c = 0; c < 4; ++c) {
        const std::uint8_t* plane = bytes + std::size_t(plane_of_channel[c]) * pixels * 4;
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint8_t* b = plane + i * 4;
            rgba[i * 4 + std::size_t(c)] = std::bit_cast<float>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                                                                std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24);
        }
    }
}

void rgba_to_float_planes(const float* rgba, std::uint8_t* bytes, std::size_t pixels)
{
    for (int c = 0; c < 4; ++c) {
        std::uint8_t* plane = bytes + std::size_t(plane_of_channel[c]) * pixels * 4;
        for (std::size_t i = 0; i < pixels; ++i) {
            const auto v = std::bit_cast<std::uint32_t>(rgba[i * 4 + std::size_t(c)]);
            for (int k = 0; k < 4; ++k) plane[i * 4 + std::size_t(k)] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    }
}

RawFrameReader::RawFrameReader(int fd, int width, int height, int bytes_per_pixel)
    : fd_(fd), frame_bytes_(std::size_t(width) * std::size_t(height) * std::size_t(bytes_per_pixel))
{
}

bool RawFrameReader::at_end()
{
    if (ahead_ >= 0) return false;
    std::uint8_t first = 0;
    if (read_fully(fd_, &first, 1) == 0) return true;
    ahead_ = first;
    return false;
}

bool RawFrameReader::next_into(std::uint8_t* into)
{
    if (at_end()) return false;
    into[0] = static_cast<std::uint8_t>(ahead_);
    ahead_ = -1;
    const std::size_t got = 1 + read_fully(fd_, into + 1, frame_bytes_ - 1);
    if (got < frame_bytes_)
        throw RawFrameError("standard input ended inside frame " + std::to_string(frames_) + " (" +
                            std::to_string(got) + " of " + std::to_string(frame_bytes_) + " bytes)");
    ++frames_;
    return true;
}

bool RawFrameReader::next_bytes(const std::uint8_t*& bytes)
{
    if (at_end()) return false;
    if (buffer_.size() != frame_bytes_) buffer_.resize(frame_bytes_);
    if (!next_into(buffer_.data())) return false;
    bytes = buffer_.data();
    return true;
}

void widen_pipe(int fd, std::size_t bytes)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode)) return;
    // The system's limit for unprivileged programs (1 MiB unless changed).
    long limit = 1 << 20;
    if (std::FILE* f = std::fopen("/proc/sys/fs/pipe-max-size", "r")) {
        if (std::fscanf(f, "%ld", &limit) != 1) limit = 1 << 20;
        std::fclose(f);
    }
    const long want = static_cast<long>(std::min<std::size_t>(bytes, static_cast<std::size_t>(limit)));
    if (::fcntl(fd, F_GETPIPE_SZ) < want) ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(want));
}

}  // namespace trellin_app
