// The OpenFX tests' one host, with the bundle loaded as hosts load it, and
// the helpers that hand it pictures and read its output back, both as
// top-first RGBA.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/ofx_test_host.h"

namespace ofx_bundle {

using ofxtest::Effect;
using ofxtest::ImageLayout;
using ofxtest::Param;
using ofxtest::PropertySet;

inline const std::string bundle = std::string(TRELLIN_BIN_DIR) + "/../OFX/Plugins/Trellin.ofx.bundle";

// Images of w x h pixels in `depth`, their lower left corner at (x, y).
inline ImageLayout layout_of(int w, int h, const char* depth = kOfxBitDepthShort, int x = 0, int y = 0)
{
    ImageLayout l;
    l.depth = depth;
    l.bounds = {x, y, x + w, y + h};
    return l;
}

// The one host of the test program, with the bundle loaded.
inline ofxtest::TestHost& host()
{
    static ofxtest::TestHost h;
    static const bool loaded = [] {
        std::string error;
        const bool ok = h.load(bundle, error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    EXPECT_TRUE(loaded);
    return h;
}

// Fills source images from a top-first RGBA picture of the layout's size.
template <class T>
void give_picture(Effect& e, const std::vector<T>& top_first)
{
    e.clips[kOfxImageEffectSimpleSourceClipName]->fill = [top_first](ofxtest::Image& image, double) {
        const ImageLayout& l = image.layout;
        for (int t = 0; t < l.height(); ++t)
            std::memcpy(image.pixel(l.bounds.x1, l.bounds.y2 - 1 - t),
                        top_first.data() + std::size_t(t) * std::size_t(l.width()) * 4,
                        std::size_t(l.width()) * 4 * sizeof(T));
    };
}

// The last output image as a top-first RGBA picture.
template <class T>
std::vector<T> output_picture(Effect& e)
{
    ofxtest::Image& image = *e.clips[kOfxImageEffectOutputClipName]->last;
    const ImageLayout& l = image.layout;
    std::vector<T> out(std::size_t(l.width()) * std::size_t(l.height()) * 4);
    for (int t = 0; t < l.height(); ++t)
        std::memcpy(out.data() + std::size_t(t) * std::size_t(l.width()) * 4,
                    image.pixel(l.bounds.x1, l.bounds.y2 - 1 - t), std::size_t(l.width()) * 4 * sizeof(T));
    return out;
}

inline void set_param(Effect& e, const std::string& name, std::vector<double> value)
{
    Param* p = e.params.find(name);
    ASSERT_NE(p, nullptr) << name;
    p->value = std::move(value);
}

}  // namespace ofx_bundle
