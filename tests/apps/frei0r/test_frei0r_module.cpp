// trellin.so as a frei0r host sees it (dlopen, f0r_*), and the parameter mapping seen from a node's controls.
// test-labels: threaded
// test-links: trellin_frei0r_host
// test-builds: trellin_frei0r
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "apps/frei0r/filter_instance.h"
#include "apps/frei0r/frei0r_api.h"

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();

// The f0r_* functions of the built module.
struct Frei0r {
    void* handle = dlopen(TRELLIN_LIB_DIR "/frei0r-1/trellin.so", RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F* fn(const char* name) const
    {
        return handle ? reinterpret_cast<F*>(dlsym(handle, name)) : nullptr;
    }
    bool ready = handle != nullptr && fn<int()>("f0r_init")() == 1;
    void (*plugin_info)(f0r_plugin_info_t*) = fn<void(f0r_plugin_info_t*)>("f0r_get_plugin_info");
    void (*param_info)(f0r_param_info_t*, int) = fn<void(f0r_param_info_t*, int)>("f0r_get_param_info");
    f0r_instance_t (*construct)(unsigned, unsigned) = fn<f0r_instance_t(unsigned, unsigned)>("f0r_construct");
    void (*destruct)(f0r_instance_t) = fn<void(f0r_instance_t)>("f0r_destruct");
    void (*set)(f0r_instance_t, f0r_param_t, int) = fn<void(f0r_instance_t, f0r_param_t, int)>("f0r_set_param_value");
    void (*update)(f0r_instance_t, double, const uint32_t*,
                   uint32_t*) = fn<void(f0r_instance_t, double, const uint32_t*, uint32_t*)>("f0r_update");
};

const Frei0r& module()
{
    static const Frei0r m;
    return m;
}

int param_index(const std::string& name)
{
    for (int i = 0; i < 26; ++i) {
        f0r_param_info_t p{};
        module().param_info(&p, i);
        if (p.name == name) return i;
    }
    ADD_FAILURE() << "no parameter " << name;
    return 0;
}

void set_string(f0r_instance_t inst, int index, const char* text)
{
    module().set(inst, const_cast<char**>(&text), index);
}

TEST(Frei0rModule, DescribesTheEffectAndSurvivesWhatAHostPasses)
{
    const Frei0r& f = module();
    ASSERT_TRUE(f.ready) << dlerror();
    f0r_plugin_info_t info{};
    f.plugin_info(&info);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.num_params, 26);
    // Null pointers, sizes and indices out of range change nothing and crash nothing.
    f0r_instance_t inst = f.construct(16, 16);
    ASSERT_NE(inst, nullptr);
    f0r_param_info_t untouched{"untouched", 7, nullptr};
    f.param_info(&untouched, 26);
    EXPECT_STREQ(untouched.name, "untouched");
    double v = 0.3;
    f.set(inst, nullptr, 0);
    f.set(inst, &v, -1);
    f.update(inst, 0.0, nullptr, nullptr);
    EXPECT_EQ(f.construct(0, 16), nullptr);
    f.destruct(inst);
}

// Instances on several threads render as each does alone, whatever the host's frame time, and in place.
TEST(Frei0rModule, InstancesOnSeveralThreadsRenderAsAlone)
{
    const Frei0r& f = module();
    ASSERT_TRUE(f.ready);
    const int w = 13, h = 7;
    const char* shapes[] = {"Triangle", "Square", "Hexagon", "Dodecagon"};
    std::vector<std::uint32_t> input(std::size_t(w) * h);
    auto* bytes = reinterpret_cast<std::uint8_t*>(input.data());
    for (std::size_t i = 0; i < input.size() * 4; ++i) bytes[i] = std::uint8_t((i * 37 + i / 7) % 256);
    using Frames = std::vector<std::vector<std::uint32_t>>;  // rendered at each time, then in place
    auto render = [&](std::size_t k) {
        Frames out{input, input, input, input, input};
        f0r_instance_t inst = f.construct(w, h);
        if (inst == nullptr) return out;
        set_string(inst, param_index("CellShape"), shapes[k]);
        double count = 0.0;  // one cell across
        f.set(inst, &count, param_index("Cell Count X"));
        const double times[] = {0.0, 1234.5, -1.0, nan_value};
        for (int t = 0; t < 4; ++t) f.update(inst, times[t], input.data(), out[t].data());
        f.update(inst, 0.0, out[4].data(), out[4].data());
        f.destruct(inst);
        return out;
    };
    std::vector<Frames> alone, together(4);
    for (std::size_t k = 0; k < 4; ++k) alone.push_back(render(k));
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < 4; ++k) threads.emplace_back([&, k] { together[k] = render(k); });
    for (auto& t : threads) t.join();
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NE(alone[k][0], input);
        EXPECT_EQ(alone[k], Frames(5, alone[k][0])) << shapes[k];
        EXPECT_EQ(together[k], alone[k]) << shapes[k];
    }
}

// The mapping through the module's own instance class (the code the entry points call).
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
    const CWidget& control(int i) const { return *instance->node().control(effect->parameters[i].control_index); }
    const CNumeric& numeric(int index) const { return static_cast<const CNumeric&>(control(index)); }
    double set(int index, double v)
    {
        instance->set_parameter(index, &v);
        return numeric(index).value;
    }

    const trellin_frei0r::Effect* effect = nullptr;
    std::unique_ptr<trellin_frei0r::FilterInstance> instance;
};

TEST_F(Frei0rMapping, NumericEndsClampingAndNaN)
{
    for (int i = 0; i < 26; ++i) {
        if (control(i).kind() != ControlKind::numeric) continue;
        const CNumeric& c = numeric(i);
        // Handing back what the instance reports keeps the default exactly.
        double u = -1;
        instance->get_parameter(i, &u);
        EXPECT_EQ(set(i, u), c.default_value) << c.label();
        EXPECT_EQ(set(i, 1.0), c.maximum) << c.label();
        EXPECT_EQ(set(i, -2.5), c.minimum) << c.label();
        EXPECT_EQ(set(i, nan_value), c.minimum) << c.label() << " changed by NaN";
    }
    EXPECT_EQ(set(param_index("Cell Count X"), 0.5), 51.0);  // 50.5 on 1..100: whole numbers only
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

    // An unknown item name leaves the option as it was, with one warning for the name.
    const int edge = param_index("Edge");
    testing::internal::CaptureStderr();
    for (const char* name : {"WRAP", "Mirror", "Mirror", "Wrp", "", static_cast<const char*>(nullptr)}) {
        instance->set_parameter(edge, &name);
        EXPECT_EQ(static_cast<const COption&>(control(edge)).index, 2) << (name ? name : "null");
    }
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 2) << warnings;
    EXPECT_NE(warnings.find("Edge: unknown item \"Mirror\"; it stays"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("\"Wrp\" (did you mean \"Wrap\"?)"), std::string::npos) << warnings;

    // Colour: NaN leaves a channel as it was, the others are clamped.
    const int light = param_index("Light");
    f0r_param_color_t colour{-1.0f, std::numeric_limits<float>::quiet_NaN(), 3.0f};
    instance->set_parameter(light, &colour);
    const auto& rgba = static_cast<const CColor&>(control(light)).rgba;
    EXPECT_EQ((std::vector<double>{rgba[0], rgba[1], rgba[2]}), (std::vector<double>{0.0, 1.0, 1.0}));
}

}  // namespace
