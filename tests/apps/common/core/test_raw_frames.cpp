// Raw frames from a pipe: whole frames into the caller's memory or the
// reader's, a stream cut inside a frame named, and pipes widened.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

#include "apps/common/core/raw_frames.h"

namespace {

TEST(RawFrames, FramesComeWholeAndACutOneIsNamed)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // Two frames of 2 x 1 pixels (16 bytes each), then 5 bytes of a third.
    std::vector<std::uint8_t> sent(37);
    std::iota(sent.begin(), sent.end(), std::uint8_t(1));
    ASSERT_EQ(::write(fds[1], sent.data(), sent.size()), ssize_t(sent.size()));
    ::close(fds[1]);

    trellin_app::RawFrameReader reader(fds[0], 2, 1);
    std::vector<std::uint8_t> into(reader.frame_bytes());
    ASSERT_TRUE(reader.next_into(into.data()));
    EXPECT_EQ(into, std::vector<std::uint8_t>(sent.begin(), sent.begin() + 16));
    const std::uint8_t* bytes = nullptr;
    ASSERT_TRUE(reader.next_bytes(bytes));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 16),
              std::vector<std::uint8_t>(sent.begin() + 16, sent.begin() + 32));
    try {
        reader.next_into(into.data());
        FAIL() << "a cut frame was taken";
    } catch (const trellin_app::RawFrameError& e) {
        EXPECT_STREQ(e.what(), "standard input ended inside frame 2 (5 of 16 bytes)");
    }
    EXPECT_EQ(reader.frames(), 2);
    ::close(fds[0]);
}

TEST(RawFrames, PipesAreWidenedAndOtherFilesLeftAlone)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int before = ::fcntl(fds[1], F_GETPIPE_SZ);
    // 256 KiB: within any system's limit for unprivileged programs (1 MiB by default).
    trellin_app::widen_pipe(fds[1], std::size_t(1) << 18);
    EXPECT_GE(::fcntl(fds[1], F_GETPIPE_SZ), std::max(before, 1 << 18));
    ::close(fds[0]);
    ::close(fds[1]);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    trellin_app::widen_pipe(::fileno(file), std::size_t(1) << 20);  // not a pipe: nothing happens
    std::fclose(file);
}

}  // namespace
