// trellin.so as a frei0r host sees it (dlopen, f0r_* functions), and the
// parameter mapping seen from the controls of an instance's node.
// test-labels: threaded
// test-links: trellin_frei0r_host
// test-builds: trellin_frei0r
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "apps/common/sample_convert.h"
#include "apps/frei0r/filter_instance.h"
#include "apps/frei0r/frei0r_api.h"
#include "node/control_table.h"
#include "support/node_runner.h"

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();

// The f0r_* functions of the built module.
struct Frei0r {
    void* handle = dlopen(TRELLIN_LIB_DIR "/frei0r-1/trellin.so", RTLD_NOW | RTLD_LOCAL);
    template <class F> F* fn(const char* name) const { return handle ? reinterpret_cast<F*>(dlsym(handle, name)) : nullptr; }
    int (*init)() = fn<int()>("f0r_init");
    void (*plugin_info)(f0r_plugin_info_t*) = fn<void(f0r_plugin_info_t*)>("f0r_get_plugin_info");
    void (*param_info)(f0r_param_info_t*, int) = fn<void(f0r_param_info_t*, int)>("f0r_get_param_info");
    f0r_instance_t (*construct)(unsigned, unsigned) = fn<f0r_instance_t(unsigned, unsigned)>("f0r_construct");
    void (*destruct)(f0r_instance_t) = fn<void(f0r_instance_t)>("f0r_destruct");
    void (*set)(f0r_instance_t, f0r_param_t, int) = fn<void(f0r_instance_t, f0r_param_t, int)>("f0r_set_param_value");
    void (*get)(f0r_instance_t, f0r_param_t, int) = fn<void(f0r_instance_t, f0r_param_t, int)>("f0r_get_param_value");
    void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*) =
        fn<void(f0r_instance_t, double, const uint32_t*, uint32_t*)>("f0r_update");
};

const Frei0r& module()
{
    static const Frei0r m;
    return m;
}

// The value controls in the panel's reading order.
std::vector<const vx::ControlRow*> panel_order()
{
    std::vector<const vx::ControlRow*> rows;
    for (const vx::ControlRow& r : vx::control_table)
        if (r.kind != ControlKind::label) rows.push_back(&r);
    std::stable_sort(rows.begin(), rows.end(), [](auto* a, auto* b) {
        return a->panel_row != b->panel_row ? a->panel_row < b->panel_row : a->panel_column < b->panel_column;
    });
    return rows;
}

std::string param_name(const vx::ControlRow& r) { return std::string(r.label).substr(0, std::string(r.label).find(": %s")); }

int param_index(const std::string& name)
{
    const auto rows = panel_order();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (param_name(*rows[i]) == name) return int(i);
    ADD_FAILURE() << "no parameter " << name;
    return 0;
}

// An 8-bit RGBA frame with every sample different from its neighbours.
std::vector<std::uint32_t> test_frame(int w, int h, unsigned seed)
{
    std::vector<std::uint32_t> frame(std::size_t(w) * h);
    auto* bytes = reinterpret_cast<std::uint8_t*>(frame.data());
    for (std::size_t i = 0; i < frame.size() * 4; ++i) bytes[i] = std::uint8_t((i * 37 + seed * 101 + i / 7) % 256);
    return frame;
}

// What a node rendered in this process gives for the frame (8-bit x 257 in, to_8bit out).
std::vector<std::uint32_t> expected_frame(const std::vector<std::uint32_t>& in, int w, int h,
                                          const testkit::Settings& settings)
{
    testkit::HostImage image(w, h, 4);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(in.data());
    for (std::size_t i = 0; i < image.samples.size(); ++i) image.samples[i] = trellin_app::from_8bit(bytes[i]);
    auto node = testkit::make_node(settings);
    const std::vector<std::uint16_t> out = testkit::render(*node, image);
    std::vector<std::uint32_t> frame(in.size());
    auto* dst = reinterpret_cast<std::uint8_t*>(frame.data());
    for (std::size_t i = 0; i < out.size(); ++i) dst[i] = trellin_app::to_8bit(out[i]);
    return frame;
}

void set_string(f0r_instance_t inst, int index, const char* text) { module().set(inst, const_cast<char**>(&text), index); }

TEST(Frei0rModule, DescribesTheEffectInPanelOrderAndSurvivesWhatAHostPasses)
{
    const Frei0r& f = module();
    ASSERT_NE(f.handle, nullptr) << dlerror();
    ASSERT_EQ(f.init(), 1);
    f0r_plugin_info_t info{};
    f.plugin_info(&info);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    ASSERT_EQ(info.num_params, 26);
    const auto rows = panel_order();
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t p{};
        f.param_info(&p, i);
        EXPECT_EQ(p.name, param_name(*rows[std::size_t(i)]));
    }
    // Null pointers, sizes and indices out of range change nothing and crash nothing.
    f0r_instance_t inst = f.construct(16, 16);
    ASSERT_NE(inst, nullptr);
    f0r_param_info_t untouched{"untouched", 7, nullptr};
    f.param_info(&untouched, 26);
    f.param_info(nullptr, 0);
    EXPECT_STREQ(untouched.name, "untouched");
    double v = 0.3;
    f.set(inst, nullptr, 0);
    f.set(inst, &v, -1);
    f.set(nullptr, &v, 1);
    f.get(inst, nullptr, 1);
    set_string(inst, 0, nullptr);
    f.update(inst, 0.0, nullptr, nullptr);
    f.update(nullptr, 0.0, nullptr, nullptr);
    f.destruct(nullptr);
    EXPECT_EQ(f.construct(0, 16), nullptr);
    EXPECT_EQ(f.construct(1u << 20, 16), nullptr);
    f.destruct(inst);
}

// Each thread's instance renders what a node here renders with its settings,
// whatever the host's frame time, and in place on the last frame.
TEST(Frei0rModule, InstancesOnSeveralThreadsRenderIndependently)
{
    const Frei0r& f = module();
    ASSERT_NE(f.handle, nullptr);
    const int w = 13, h = 7;
    const char* shapes[] = {"Triangle", "Square", "Hexagon", "Dodecagon"};
    std::vector<std::vector<std::uint32_t>> inputs, expected, results(4), in_place(4);
    for (unsigned k = 0; k < 4; ++k) {
        inputs.push_back(test_frame(w, h, k));
        expected.push_back(expected_frame(inputs.back(), w, h, {{"CellShape", shapes[k]}, {"Cell Count X", "1"}}));
    }
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < 4; ++k) {
        threads.emplace_back([&, k] {
            f0r_instance_t inst = f.construct(w, h);
            if (inst == nullptr) return;
            set_string(inst, param_index("CellShape"), shapes[k]);
            double count = 0.0;  // one cell across
            f.set(inst, &count, param_index("Cell Count X"));
            results[k].resize(inputs[k].size());
            for (double t : {0.0, 1234.5, -1.0, nan_value}) f.update(inst, t, inputs[k].data(), results[k].data());
            in_place[k] = inputs[k];
            f.update(inst, 0.0, in_place[k].data(), in_place[k].data());
            f.destruct(inst);
        });
    }
    for (auto& t : threads) t.join();
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NE(expected[k], inputs[k]);
        EXPECT_EQ(results[k], expected[k]) << shapes[k];
        EXPECT_EQ(in_place[k], expected[k]) << shapes[k];
    }
    EXPECT_NE(expected[1], expected[2]);
}

// The mapping seen from the node's controls, through the module's own
// instance class (the same code the entry points call).
class Frei0rMapping : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("TRELLIN_MODULE", TRELLIN_BIN_DIR "/TrellinVx.node", 1); }
    void SetUp() override
    {
        effect = trellin_frei0r::effect();
        ASSERT_NE(effect, nullptr);
        instance = trellin_frei0r::FilterInstance::create(*effect, 8, 8);
        ASSERT_NE(instance, nullptr);
    }
    const CWidget& control(int index) const
    {
        return *instance->node().control(effect->parameters[std::size_t(index)].control_index);
    }
    double numeric(int index) const { return static_cast<const CNumeric&>(control(index)).value; }
    double set(int index, double v)
    {
        instance->set_parameter(index, &v);
        return numeric(index);
    }

    const trellin_frei0r::Effect* effect = nullptr;
    std::unique_ptr<trellin_frei0r::FilterInstance> instance;
};

TEST_F(Frei0rMapping, NumericEndsClampingAndNaN)
{
    const auto rows = panel_order();
    for (int i = 0; i < 26; ++i) {
        const vx::ControlRow& r = *rows[std::size_t(i)];
        if (r.kind != ControlKind::numeric) continue;
        // Handing back what the instance reports keeps the default exactly.
        double u = -1;
        instance->get_parameter(i, &u);
        EXPECT_EQ(set(i, u), r.value[0]) << r.label;
        EXPECT_EQ(set(i, 1.0), r.maximum) << r.label;
        EXPECT_EQ(set(i, -2.5), r.minimum) << r.label;
        EXPECT_EQ(set(i, nan_value), r.minimum) << r.label << " changed by NaN";
        EXPECT_EQ(set(i, std::numeric_limits<double>::infinity()), r.maximum) << r.label;
        instance->get_parameter(i, &u);
        EXPECT_EQ(u, 1.0);
    }
    EXPECT_EQ(set(param_index("Light_X"), 0.5), 0.0);
    EXPECT_EQ(set(param_index("Cell Count X"), 0.5), 51.0);  // 50.5 on 1..100: whole numbers only
    EXPECT_EQ(set(param_index("Smoothing"), 0.34), 3.0);
}

TEST_F(Frei0rMapping, SwitchesItemsAndColour)
{
    const int active = param_index("Light Active");
    auto state = [&](double v) {
        instance->set_parameter(active, &v);
        return static_cast<const CBoolean&>(control(active)).state;
    };
    EXPECT_EQ((std::vector<bool>{state(0.5), state(nan_value), state(0.49), state(7.0)}),
              (std::vector<bool>{true, true, false, true}));

    const int edge = param_index("Edge");
    for (const char* name : {"WRAP", "Mirror", "", "Wrap ", static_cast<const char*>(nullptr)}) {
        instance->set_parameter(edge, &name);
        EXPECT_EQ(static_cast<const COption&>(control(edge)).index, 2) << (name ? name : "null");
    }
    char* reported = nullptr;
    instance->get_parameter(edge, &reported);
    EXPECT_STREQ(reported, "Wrap");

    // Colour: NaN leaves a channel as it was, the others are clamped.
    const int light = param_index("Light");
    f0r_param_color_t colour{-1.0f, std::numeric_limits<float>::quiet_NaN(), 3.0f};
    instance->set_parameter(light, &colour);
    const auto& rgba = static_cast<const CColor&>(control(light)).rgba;
    EXPECT_EQ((std::vector<double>{rgba[0], rgba[1], rgba[2]}), (std::vector<double>{0.0, 1.0, 1.0}));
}

}  // namespace
