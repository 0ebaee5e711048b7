// test-links: trellin_app_core
// The sample conversions against their definitions, for every 16-bit
// sample, and planes interleaved and split, pairs averaged and four-byte
// pixels widened and narrowed on every instruction set.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "apps/common/core/sample_convert.h"
#include "apps/common/core/sample_rows.h"

namespace {

TEST(SampleConvert, ShiftedQuotientsEqualTheDivisionForEverySample)
{
    for (std::uint32_t v = 0; v <= 65535; ++v) {
        const auto sample = static_cast<std::uint16_t>(v);
        ASSERT_EQ(trellin_app::to_8bit(sample), (v * 255u + 32767u) / 65535u) << v;
        const std::uint32_t ten = (v * 1023u + 32767u) / 65535u;
        ASSERT_EQ(trellin_app::to_10bit_in_16(sample), (ten << 6) | (ten >> 4)) << v;
    }
    for (std::uint32_t b = 0; b <= 255; ++b)
        ASSERT_EQ(trellin_app::to_8bit(trellin_app::from_8bit(static_cast<std::uint8_t>(b))), b);
}

TEST(SampleConvert, UnitFloatsAreTheRoundedQuotientForEverySample)
{
    for (std::uint32_t v = 0; v <= 65535; ++v) {
        // The float division itself, made here at run time.
        volatile float sample = static_cast<float>(v);
        const float quotient = sample / 65535.0f;
        const float unit = trellin_app::to_unit_float(static_cast<std::uint16_t>(v));
        ASSERT_EQ(std::bit_cast<std::uint32_t>(unit), std::bit_cast<std::uint32_t>(quotient)) << v;
        ASSERT_EQ(trellin_app::from_unit_float(unit), v) << v;
    }
}

// The row conversions on every instruction set this machine runs give the
// per-sample conversions' bits, and refuse a row with any sample outside
// 0..1, wherever in the row it lies (vector body or tail).
TEST(SampleConvert, RowsOnEveryInstructionSetEqualTheSampleConversions)
{
    std::vector<std::uint16_t> words(65536 + 7);
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint16_t>(i * 40503u);
    // Floats at and beside every sample's value, the ends, -0 and a spread.
    std::vector<float> floats = {0.0f, -0.0f, 1.0f, std::nextafter(1.0f, 0.0f), 1e-30f, 0.5f};
    for (std::uint32_t v = 0; v <= 65535; v += 7) {
        const float f = trellin_app::to_unit_float(static_cast<std::uint16_t>(v));
        floats.push_back(f);
        floats.push_back(std::nextafter(f, 0.0f) < 0.0f ? 0.0f : std::nextafter(f, 0.0f));
        floats.push_back(std::nextafter(f, 1.0f));
        floats.push_back((float(v) + 0.5f) / 65535.0f);
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 4099; ++i) floats.push_back(unit(random));

    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        SCOPED_TRACE(hwy::TargetName(target));
        std::vector<float> unit_floats(words.size());
        trellin_app::words_to_unit_floats(words.data(), words.size(), unit_floats.data());
        for (std::size_t i = 0; i < words.size(); ++i)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(unit_floats[i]),
                      std::bit_cast<std::uint32_t>(trellin_app::to_unit_float(words[i])))
                << words[i];

        std::vector<std::uint16_t> out(floats.size());
        ASSERT_TRUE(trellin_app::unit_floats_to_words(floats.data(), floats.size(), out.data()));
        for (std::size_t i = 0; i < floats.size(); ++i)
            ASSERT_EQ(out[i], trellin_app::from_unit_float(floats[i])) << floats[i];

        const float outside[] = {std::numeric_limits<float>::quiet_NaN(), -1e-30f, std::nextafter(1.0f, 2.0f),
                                 std::numeric_limits<float>::infinity()};
        for (const float bad : outside)
            for (const std::size_t at : {std::size_t(0), std::size_t(37), floats.size() - 1}) {
                std::vector<float> row = floats;
                row[at] = bad;
                EXPECT_FALSE(trellin_app::unit_floats_to_words(row.data(), row.size(), out.data()))
                    << bad << " at " << at;
            }

        // Planes to pixels and back, RGB and RGBA, over lengths about the
        // vector's that leave every remainder.
        for (const std::size_t n : {std::size_t(1), std::size_t(31), std::size_t(65), std::size_t(1000)})
            for (const int samples : {3, 4}) {
                std::vector<std::uint16_t> planes[4], pixels(n * std::size_t(samples)), back[4];
                for (int c = 0; c < 4; ++c) {
                    planes[c].assign(words.begin() + std::ptrdiff_t(c * 11),
                                     words.begin() + std::ptrdiff_t(c * 11 + n));
                    back[c].assign(n, 0);
                }
                std::uint16_t* alpha = samples == 4 ? planes[3].data() : nullptr;
                trellin_app::interleave_rgb(planes[0].data(), planes[1].data(), planes[2].data(), alpha, n,
                                            pixels.data());
                for (std::size_t i = 0; i < n; ++i)
                    for (int c = 0; c < samples; ++c)
                        ASSERT_EQ(pixels[i * std::size_t(samples) + std::size_t(c)], planes[c][i]) << n << " " << i;
                trellin_app::split_rgb(pixels.data(), n, back[0].data(), back[1].data(), back[2].data(),
                                       samples == 4 ? back[3].data() : nullptr);
                for (int c = 0; c < samples; ++c) ASSERT_EQ(back[c], planes[c]) << n << " " << c;
            }
        // Four-byte pixels in every order, with and without alpha, each way.
        const int orders[][4] = {{0, 1, 2, 3}, {2, 1, 0, 3}, {3, 2, 1, 0}, {1, 2, 3, 0}, {3, 0, 1, 2}};
        for (const auto& offsets : orders)
            for (const int samples : {3, 4})
                for (const std::size_t n : {std::size_t(1), std::size_t(31), std::size_t(65), std::size_t(1000)}) {
                    std::vector<std::uint8_t> bytes(4 * n);
                    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(words[i]);
                    std::vector<std::uint16_t> wide(n * std::size_t(samples));
                    trellin_app::pixel_bytes_to_words(bytes.data(), n, offsets, samples, wide.data());
                    for (std::size_t i = 0; i < n; ++i)
                        for (int c = 0; c < samples; ++c)
                            ASSERT_EQ(wide[i * std::size_t(samples) + std::size_t(c)],
                                      trellin_app::from_8bit(bytes[4 * i + std::size_t(offsets[c])]))
                                << n << " " << i;
                    // Every 16-bit value on the way back.
                    std::copy_n(words.begin() + 5, wide.size(), wide.begin());
                    std::vector<std::uint8_t> narrow(4 * n, 7);
                    trellin_app::pixel_words_to_bytes(wide.data(), n, offsets, samples, narrow.data());
                    for (std::size_t i = 0; i < n; ++i)
                        for (int place = 0; place < 4; ++place) {
                            std::uint8_t expected = 255;
                            for (int c = 0; c < samples; ++c)
                                if (offsets[c] == place)
                                    expected = trellin_app::to_8bit(wide[i * std::size_t(samples) + std::size_t(c)]);
                            ASSERT_EQ(narrow[4 * i + std::size_t(place)], expected) << n << " " << i << " " << place;
                        }
                }
        // Means of neighbouring pairs, rounded up at halves; the extremes
        // would overflow a 16-bit sum.
        std::vector<std::uint16_t> pairs(words.begin(), words.begin() + 2000);
        pairs[0] = pairs[1] = 65535;
        pairs[2] = 65535;
        pairs[3] = 0;
        for (const std::size_t n : {std::size_t(1), std::size_t(31), std::size_t(65), std::size_t(1000)}) {
            std::vector<std::uint16_t> means(n);
            trellin_app::pair_means(pairs.data(), n, means.data());
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(means[i], (unsigned(pairs[2 * i]) + pairs[2 * i + 1] + 1) / 2) << n << " " << i;
        }
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
