#include "apps/common/core/look_library.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "apps/common/core/nearest_name.h"
#include "apps/common/core/project_file.h"
#include "host/platform_files.h"
#include "host/regv.h"
#include "host/text_match.h"

namespace fs = std::filesystem;

namespace trellin_app {

namespace {

constexpr char look_extension[] = ".json";

// The look file's "summary", or nothing when the file cannot be read; a
// broken look still lists, and restoring it reports the fault in full.
std::string summary_of(const std::string& path)
{
    try {
        const RegV reg = RegV::read_file(path);
        const auto summary = reg.doc.find("summary");
        if (summary != reg.doc.end() && summary->is_string()) return summary->get<std::string>();
    } catch (const RegVError&) {
    }
    return {};
}

}  // namespace

std::string look_folder(const std::string& base_dir)
{
    return platform::path_to_utf8(
        (platform::path_from_utf8(base_dir) / ".." / "share" / "trellin" / "looks").lexically_normal());
}

std::vector<LookEntry> list_looks(const std::string& base_dir)
{
    return list_looks_in(look_folder(base_dir));
}

std::vector<LookEntry> list_looks_in(const std::string& folder)
{
    std::vector<LookEntry> looks;
    std::error_code ec;
    // Names are UTF-8 on every system (wide on Windows, where a narrow
    // path would be read in the system's code page).
    for (fs::directory_iterator it(platform::path_from_utf8(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& file = it->path();
        if (file.extension() != look_extension || !it->is_regular_file(ec)) continue;
        const std::string path = platform::path_to_utf8(file);
        looks.push_back({platform::path_to_utf8(file.stem()), summary_of(path), path});
    }
    std::sort(looks.begin(), looks.end(), [](const LookEntry& a, const LookEntry& b) { return a.name < b.name; });
    return looks;
}

LookEntry find_look(const std::string& name, const std::string& base_dir)
{
    const std::vector<LookEntry> looks = list_looks(base_dir);
    for (const LookEntry& look : looks)
        if (host_detail::same_text_ignoring_case(look.name, name)) return look;
    if (looks.empty())
        throw ProjectError("no look called \"" + name + "\": no looks found in " + look_folder(base_dir));
    std::string known;
    std::vector<std::string> names;
    for (const LookEntry& look : looks) {
        known += (known.empty() ? "" : ", ") + look.name;
        names.push_back(look.name);
    }
    throw ProjectError("no look called \"" + name + "\"" + did_you_mean(name, names) + " (known looks: " + known + ")");
}

}  // namespace trellin_app
