// The integer sample conversions against their definitions, for every
// 16-bit sample.
#include <gtest/gtest.h>

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

}  // namespace
