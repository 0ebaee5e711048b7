// Settings carried inside pictures: the bytes of a DPX, PNG, TIFF or OpenEXR
// file through the header check, the picture library's reading of its
// metadata and the reading of the settings text it carries. Properties: no
// input crashes any of them or makes the library allocate what the header
// claims; the header check gives the same answer on the bytes and on the
// file; an answer is settings that read again, or one line saying why not.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "apps/common/picture/picture_header.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/common/core/project_file.h"
#include "fuzz/fuzz_input.h"
#include "host/regv.h"

namespace {

// The extension the file's first bytes name, so the library reads it as that format.
const char* extension_of(const std::uint8_t* data, std::size_t size)
{
    if (size >= 4 && (std::memcmp(data, "SDPX", 4) == 0 || std::memcmp(data, "XPDS", 4) == 0)) return ".dpx";
    if (size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0)) return ".tif";
    if (size >= 4 && std::memcmp(data, "\x76\x2f\x31\x01", 4) == 0) return ".exr";
    return ".png";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trellin_fuzz;
    const std::string path = "/tmp/trellin-fuzz-picture-" + std::to_string(::getpid()) + extension_of(data, size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const std::string in_memory = trellin_app::picture_header_fault(data, size);
    const std::string on_disk = trellin_app::picture_header_fault(path);
    if (in_memory != on_disk) broken("the header check differs on the file:", in_memory + " / " + on_disk);
    try {
        const nlohmann::json doc = trellin_app::read_picture_settings(path);
        if (!doc.is_object() || !doc.contains("controls") || !doc.contains("picture"))
            broken("settings were taken that are no settings document");
        RegV::parse(doc.dump(), "again");
    } catch (const trellin_app::ProjectError& e) {
        const std::string why = e.what();
        if (why.find('\n') != std::string::npos) broken("a fault of more than one line:", why);
        if (why.rfind(path + ": ", 0) != 0) broken("a fault that does not name the file:", why);
    } catch (const RegVError& e) {
        broken("taken settings do not read again:", e.what());
    }
    ::unlink(path.c_str());
    return 0;
}
