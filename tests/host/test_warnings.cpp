// test-labels: threaded
// Warnings reach standard error, or the capture set up by a host program.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/warnings.h"

namespace {

using Strings = std::vector<std::string>;

TEST(Warnings, GoToStandardErrorUnlessCapturedAndCapturesNest)
{
    ::testing::internal::CaptureStderr();
    msgwarn("plain warning");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "plain warning\n");

    WarningCapture outer;
    msgwarn("one");
    {
        WarningCapture inner;
        msgwarn("two");
        EXPECT_EQ(inner.messages(), Strings{"two"});
    }
    msgwarn("three");
    EXPECT_EQ(outer.messages(), (Strings{"one", "three"}));

    Strings seen;
    set_warning_sink([&seen](const std::string& text) { seen.push_back(text); });
    msgwarn("four");
    set_warning_sink({});
    EXPECT_EQ(seen, Strings{"four"});
}

TEST(Warnings, CaptureFromManyThreads)
{
    WarningCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) msgwarn("busy");
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(capture.messages().size(), 400u);
}

}  // namespace
