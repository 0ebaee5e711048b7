// Renders one frame through the Windows frei0r module as a frei0r host does
// (LoadLibraryW from a folder of the host's own, f0r_init, f0r_construct,
// f0r_update) and writes the input and the output as raw RGBA bytes, for a
// comparison with what the Linux module makes of the same input
// (tests/apps/frei0r/frei0r_builds_agree.cmake).
//
//   frei0r_raw_frame MODULE FOLDER   writes FOLDER/in.rgba and FOLDER/out.rgba
#include <windows.h>
// After windows.h, which it stands on.
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "apps/frei0r/frei0r_api.h"

namespace {

constexpr unsigned width = 160;
constexpr unsigned height = 96;

template <class F>
F* entry(HMODULE library, const char* name)
{
    F* fn = reinterpret_cast<F*>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    if (fn == nullptr) std::fprintf(stderr, "frei0r_raw_frame: %s missing\n", name);
    return fn;
}

bool write_raw(const std::filesystem::path& path, const std::vector<std::uint32_t>& pixels)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size() * 4));
    return out.good();
}

}  // namespace

int main()
{
    // The arguments as wide text: the module's folder may be named in any
    // script.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        std::fprintf(stderr, "usage: frei0r_raw_frame MODULE FOLDER\n");
        return 2;
    }
    // A plain LoadLibrary: the libraries the module imports are not looked
    // for beside it.
    HMODULE library = ::LoadLibraryW(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "frei0r_raw_frame: %ls: cannot load (error %lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    auto init = entry<int()>(library, "f0r_init");
    auto construct = entry<f0r_instance_t(unsigned, unsigned)>(library, "f0r_construct");
    auto update = entry<void(f0r_instance_t, double, const std::uint32_t*, std::uint32_t*)>(library, "f0r_update");
    auto destruct = entry<void(f0r_instance_t)>(library, "f0r_destruct");
    auto deinit = entry<void()>(library, "f0r_deinit");
    if (!init || !construct || !update || !destruct || !deinit || init() != 1) return 1;

    // Colour ramps across and down, stripes and a falling alpha: enough
    // structure that every pass of the glass shows in the result.
    std::vector<std::uint32_t> in(width * height), out(width * height, 0);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const std::uint32_t r = x * 255 / (width - 1), g = y * 255 / (height - 1);
            const std::uint32_t b = ((x / 8 + y / 8) % 2) * 200 + 30, a = 255 - (x + y) % 64;
            in[y * width + x] = r | g << 8 | b << 16 | a << 24;
        }
    f0r_instance_t instance = construct(width, height);
    if (instance == nullptr) return 1;
    update(instance, 0.0, in.data(), out.data());
    destruct(instance);
    deinit();

    const std::filesystem::path folder = argv[2];
    if (!write_raw(folder / "in.rgba", in) || !write_raw(folder / "out.rgba", out)) {
        std::fprintf(stderr, "frei0r_raw_frame: cannot write into %ls\n", folder.c_str());
        return 1;
    }
    return 0;
}
