// Renders the frames of ofx_agreement_frames.h through the OpenFX bundle as
// a Windows host does (the tests' OpenFX host, which loads
// Contents\Win64\Trellin.ofx with a plain LoadLibraryW from a folder of its
// own) and writes each depth's source and output as raw RGBA, for a
// comparison with what the Linux trellin render makes of the same sources
// (tests/apps/ofx/ofx_builds_agree.cmake).
//
//   ofx_raw_frames BUNDLE FOLDER   writes FOLDER/in-DEPTH.raw and FOLDER/out-DEPTH.raw
#include <windows.h>
// After windows.h, which it stands on.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/ofx_agreement_frames.h"
#include "support/ofx_test_host.h"

namespace {

namespace agree = ofx_agreement;

std::string utf8(const wchar_t* text)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? std::size_t(n) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

bool write_raw(const std::filesystem::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return out.good();
}

// One depth's frame: the source in, the output's samples out (rows top
// first). Rows padded or stored top first as hosts may hand them.
bool render(ofxtest::TestHost& host, const agree::Depth& depth, const std::vector<unsigned char>& in,
            std::vector<unsigned char>& out)
{
    ofxtest::ImageLayout l;
    l.depth = depth.ofx_depth;
    l.bounds = {4, -3, 4 + agree::width, -3 + agree::height};
    l.row_padding = depth.bytes == 2 ? 0 : 3 * depth.bytes;
    l.reversed = depth.bytes == 1;
    auto e = host.create(l);
    if (!e) {
        std::fprintf(stderr, "ofx_raw_frames: %s bits: no instance\n", depth.name);
        return false;
    }
    for (const agree::Setting& s : agree::settings) e->params.find(s.param)->value = {s.value};
    const std::size_t row = std::size_t(agree::width) * 4 * std::size_t(depth.bytes);
    e->clips[kOfxImageEffectSimpleSourceClipName]->fill = [&in, row](ofxtest::Image& image, double) {
        const ofxtest::ImageLayout& il = image.layout;
        for (int t = 0; t < il.height(); ++t)
            std::memcpy(image.pixel(il.bounds.x1, il.bounds.y2 - 1 - t), in.data() + std::size_t(t) * row, row);
    };
    const OfxStatus status = host.render(*e, 0.0);
    if (status != kOfxStatOK) {
        std::fprintf(stderr, "ofx_raw_frames: %s bits: the render returned %d\n", depth.name, status);
        for (const std::string& m : host.messages()) std::fprintf(stderr, "  %s\n", m.c_str());
        host.destroy(e);
        return false;
    }
    ofxtest::Image& image = *e->clips[kOfxImageEffectOutputClipName]->last;
    out.resize(row * std::size_t(agree::height));
    for (int t = 0; t < agree::height; ++t)
        std::memcpy(out.data() + std::size_t(t) * row, image.pixel(l.bounds.x1, l.bounds.y2 - 1 - t), row);
    host.destroy(e);
    return true;
}

}  // namespace

int main()
{
    // The arguments as wide text: the bundle's folder may be named in any
    // script.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        std::fprintf(stderr, "usage: ofx_raw_frames BUNDLE FOLDER\n");
        return 2;
    }
    ofxtest::TestHost host;
    std::string error;
    if (!host.load(utf8(argv[1]), error)) {
        std::fprintf(stderr, "ofx_raw_frames: %s\n", error.c_str());
        return 1;
    }
    // The looks, found relative to the plug-in's own file.
    const ofxtest::Param* look = host.descriptor.params.find("Look");
    const std::vector<std::string> looks =
        look != nullptr ? look->props.strings(kOfxParamPropChoiceOption) : std::vector<std::string>();
    if (std::find(looks.begin(), looks.end(), "pebbles") == looks.end()) {
        std::fprintf(stderr, "ofx_raw_frames: the Look parameter lists no looks of the bundle\n");
        return 1;
    }
    const std::filesystem::path folder(argv[2]);
    for (const agree::Depth& depth : agree::depths) {
        const std::vector<unsigned char> in = agree::source_picture(depth);
        std::vector<unsigned char> out;
        if (!render(host, depth, in, out)) return 1;
        if (!write_raw(folder / agree::file_name("in", depth), in) ||
            !write_raw(folder / agree::file_name("out", depth), out)) {
            std::fprintf(stderr, "ofx_raw_frames: cannot write in %s\n", utf8(argv[2]).c_str());
            return 1;
        }
    }
    return 0;
}
