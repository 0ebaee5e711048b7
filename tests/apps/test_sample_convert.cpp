// The sample conversions against their definitions, for every 16-bit
// sample.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "apps/common/core/sample_convert.h"

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

}  // namespace
