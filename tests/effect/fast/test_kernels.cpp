// test-labels: threaded
// The fast kernels against the reference passes: random frames over every
// control's whole range, every instruction set the build has, several thread
// counts, sample for sample. TRELLIN_DIFFERENTIAL_CASES sets how many random
// frames run (make soak runs thousands) and TRELLIN_DIFFERENTIAL_SEED where
// the sequence starts.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <thread>

#include "effect/fast/kernels.h"
#include "effect/kernel_choice.h"
#include "effect/pixel_math.h"
#include "effect/source_pyramid.h"
#include "host/smp_pool.h"
#include "node/control_table.h"
#include "support/node_runner.h"
#include "support/picture_diff.h"

namespace {

using testkit::HostImage;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool instrumented = true;
#else
constexpr bool instrumented = false;
#endif

long from_environment(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    return text ? std::strtol(text, nullptr, 10) : fallback;
}

// One control's value: up to four numbers (the colour's).
struct Setting {
    const char* label;
    double value[4];
};

struct Case {
    std::vector<Setting> settings;
    int width, height, samples;
    bool refract_alpha;
    int threads;
    std::int64_t target;
    unsigned picture_seed;

    std::string describe() const
    {
        std::ostringstream out;
        out << width << "x" << height << "x" << samples << ", " << threads << " threads, "
            << vx::simd_target_name(target) << (refract_alpha ? ", alpha refracted" : "") << ", picture "
            << picture_seed << ":";
        for (const Setting& s : settings) {
            out << " \"" << s.label << "\"=" << s.value[0];
            if (std::string(s.label) == "Light") out << "," << s.value[1] << "," << s.value[2];
        }
        return out.str();
    }
};

int item_count(const char* items)
{
    int n = 1;
    for (const char* c = items; *c; ++c) n += *c == ',';
    return n;
}

// Every value control over its whole range, its ends and its default among
// the values; the chromatic and lit paths about half the time each.
Case random_case(std::mt19937& rng, const std::vector<std::int64_t>& targets)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c{};
    for (const vx::ControlRow& row : vx::control_table) {
        Setting s{row.label, {0, 0, 0, 1}};
        const double pick = unit(rng);
        switch (row.kind) {
        case ControlKind::numeric:
            s.value[0] = pick < 0.1   ? row.minimum
                         : pick < 0.2 ? row.maximum
                         : pick < 0.3 ? row.value[0]
                                      : row.minimum + unit(rng) * (row.maximum - row.minimum);
            if (std::string(row.label) == "ChromaticAb" && unit(rng) < 0.5) s.value[0] = 0.0;
            break;
        case ControlKind::boolean:
            s.value[0] = pick < 0.5 ? 1.0 : 0.0;
            break;
        case ControlKind::option:
            s.value[0] = std::floor(pick * item_count(row.items));
            break;
        case ControlKind::color:
            for (int k = 0; k < 3; ++k) s.value[k] = unit(rng) < 0.2 ? std::round(unit(rng)) : unit(rng);
            break;
        case ControlKind::label:
            continue;
        }
        c.settings.push_back(s);
    }
    // Small sizes, odd and prime sides among them, and a few hundred across.
    static const std::pair<int, int> sizes[] = {{1, 1},   {1, 5},    {5, 1},     {2, 2},     {2, 3},    {3, 3},
                                                {4, 7},   {7, 4},    {13, 11},   {17, 29},   {31, 3},   {61, 47},
                                                {97, 89}, {128, 64}, {199, 101}, {251, 241}, {311, 173}};
    if (unit(rng) < 0.6) {
        const auto [w, h] = sizes[rng() % std::size(sizes)];
        c.width = w, c.height = h;
    } else {
        c.width = 1 + int(rng() % 320);
        c.height = 1 + int(rng() % 240);
    }
    c.samples = unit(rng) < 0.8 ? 4 : 3;
    c.refract_alpha = unit(rng) < 0.3;
    static const int thread_counts[] = {1, 2, 3, 7};
    c.threads = thread_counts[rng() % 4];
    c.target = targets[rng() % targets.size()];
    c.picture_seed = unsigned(rng());
    return c;
}

// A picture with smooth ramps, sharp checks and noise, alpha included.
void paint(HostImage& image, unsigned seed)
{
    std::mt19937 rng(seed);
    const int w = image.image.width, h = image.image.height, n = image.image.samples;
    const int check = 1 + int(rng() % 9);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < n; ++k) {
                const unsigned noise = rng() & 0x3FF;
                unsigned v = k == 0   ? 65535u * unsigned(x) / unsigned(w)
                             : k == 1 ? 65535u * unsigned(y) / unsigned(h)
                             : k == 2 ? (((x / check + y / check) & 1) ? 60000u : 4000u)
                                      : 20000u + 400u * unsigned((x * 7 + y * 3) % 100);
                image.at(x, y, k) = std::uint16_t(std::min(65535u, v + noise));
            }
}

std::vector<std::uint16_t> render(const Case& c, vx::Kernels kernels)
{
    smp_set_numprocs(c.threads);
    auto node = testkit::make_node();
    for (const Setting& s : c.settings) node->find_control(s.label)->set_values(s.value);
    node->refract_alpha = c.refract_alpha;
    node->kernels = kernels;
    HostImage input(c.width, c.height, c.samples);
    paint(input, c.picture_seed);
    return testkit::render(*node, input);
}

struct FastKernels : ::testing::Test {
    void TearDown() override
    {
        vx::use_simd_target(0);
        smp_set_numprocs(1);
    }
};

TEST_F(FastKernels, EqualTheReferenceOnRandomFramesOnEveryInstructionSet)
{
    const std::vector<std::int64_t> targets = vx::simd_targets();
    ASSERT_FALSE(targets.empty());
    const long cases = from_environment("TRELLIN_DIFFERENTIAL_CASES", instrumented ? 60 : 300);
    const long seed = from_environment("TRELLIN_DIFFERENTIAL_SEED", 20261206);
    std::mt19937 rng(static_cast<unsigned>(seed));
    for (long n = 0; n < cases; ++n) {
        const Case c = random_case(rng, targets);
        vx::use_simd_target(c.target);
        const auto expected = render(c, vx::Kernels::reference);
        const auto actual = render(c, vx::Kernels::fast);
        const std::string difference = testkit::picture_difference(expected, actual, c.width);
        ASSERT_EQ(difference, "") << "case " << n << " of seed " << seed << ": " << c.describe();
    }
}

TEST_F(FastKernels, EqualTheReferenceOnFullFrames)
{
    if (instrumented) GTEST_SKIP() << "full frames are left to the uninstrumented build";
    const Setting heavy[] = {{"ChromaticAb", {1}}, {"Light Active", {1}}, {"Smoothing", {3}}, {"Edge: %s", {2}}};
    const Setting dense[] = {
        {"CellShape: %s", {3}}, {"Cell Count X", {100}}, {"Cell Count Y", {100}}, {"CellSize", {0.01}}};
    const std::vector<std::vector<Setting>> looks = {
        {}, {std::begin(heavy), std::end(heavy)}, {std::begin(dense), std::end(dense)}};
    for (const auto& look : looks) {
        const Case c{look, 1920, 1080, 4, false, 2, vx::simd_targets().front(), 7};
        const auto expected = render(c, vx::Kernels::reference);
        EXPECT_EQ(testkit::picture_difference(expected, render(c, vx::Kernels::fast), c.width), "") << c.describe();
    }
}

// The level blend's steps, found by the fast kernels' bracketed logarithm,
// against the library's own for every float area from 1 to the cap of 200,
// for a pyramid deep enough for every pair of levels and for the shallow
// ones that fold the pair onto their last level.
// The surface kernel takes a square root in single precision where the
// reference rounds the double root to single. sqrt(4^k x) is 2^k sqrt(x)
// exactly in both, so the floats of [1, 4) stand for every positive finite
// one (a subnormal is 4^k times one of them too).
TEST(SquareRoot, TheSingleRootIsTheDoubleRootRoundedForEveryFloat)
{
    const std::uint32_t first = std::bit_cast<std::uint32_t>(1.0f);
    const std::uint32_t end = std::bit_cast<std::uint32_t>(4.0f);
    std::uint32_t differ = 0;
    for (std::uint32_t bits = first; bits < end; ++bits) {
        const float x = std::bit_cast<float>(bits);
        differ += std::bit_cast<std::uint32_t>(std::sqrt(x)) !=
                  std::bit_cast<std::uint32_t>(static_cast<float>(std::sqrt(static_cast<double>(x))));
    }
    EXPECT_EQ(differ, 0u);
    for (float x : {0.0f, -0.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                    std::numeric_limits<float>::max()})
        EXPECT_EQ(std::bit_cast<std::uint32_t>(std::sqrt(x)),
                  std::bit_cast<std::uint32_t>(static_cast<float>(std::sqrt(static_cast<double>(x)))))
            << x;
}

TEST_F(FastKernels, LevelBlendEqualsTheLibraryForEveryAreaOnEveryInstructionSet)
{
    if (instrumented) GTEST_SKIP() << "the exhaustive check is left to the uninstrumented build";
    const std::uint32_t first = std::bit_cast<std::uint32_t>(1.0f) + 1;
    const std::uint32_t last = std::bit_cast<std::uint32_t>(200.0f) + 1;  // the cap and one beyond
    const std::uint32_t chunk = 1 << 16;
    std::vector<float> areas(chunk);
    std::vector<int> levels(chunk), weights(chunk), want_levels(chunk), want_weights(chunk);
    const std::vector<std::int64_t> targets = vx::simd_targets();
    for (int count : {4, 3, 2, 1}) {
        // Shallow pyramids differ only where the level number passes theirs.
        const std::uint32_t from =
            count == 4 ? first : std::bit_cast<std::uint32_t>(std::pow(4.0f, float(count)) * 0.99f);
        for (std::uint32_t bits = from; bits <= last; bits += chunk) {
            const std::uint32_t n = std::min(chunk, last - bits + 1);
            for (std::uint32_t i = 0; i < n; ++i) {
                areas[i] = std::bit_cast<float>(bits + i);
                const vx::LevelBlend b = vx::level_blend(areas[i], count);
                want_levels[i] = b.level;
                want_weights[i] = b.weight;
            }
            for (std::int64_t target : targets) {
                vx::use_simd_target(target);
                vx::fast_level_blend(areas.data(), int(n), count, levels.data(), weights.data());
                for (std::uint32_t i = 0; i < n; ++i)
                    ASSERT_TRUE(levels[i] == want_levels[i] && weights[i] == want_weights[i])
                        << "area " << areas[i] << " (bits 0x" << std::hex << (bits + i) << std::dec << "), " << count
                        << " levels, " << vx::simd_target_name(target) << ": " << levels[i] << "/" << weights[i]
                        << " for " << want_levels[i] << "/" << want_weights[i];
            }
        }
    }
}

}  // namespace
