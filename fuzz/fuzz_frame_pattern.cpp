// Frame ranges and numbered names: the first line of the input is a range
// ("1-100x2"), the second a file name with a pattern ("out.%04d.png").
// Properties: no text crashes the parsers; distinct frames of the range get
// distinct names, and each name leads back to its frame; a pattern's outputs
// are found to replace its own inputs.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "apps/common/core/frame_sequence.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trellin_app;
    using trellin_fuzz::broken;
    trellin_fuzz::FuzzInput input(data, size);
    const std::string range_text = input.line();
    const std::string name = input.line();
    FrameRange range;
    std::optional<FramePattern> pattern;
    try {
        range = parse_frame_range(range_text);
        pattern.emplace(name);
    } catch (const SequenceError&) {
        return 0;
    }
    if (range.count() < 1 || range.first > range.last) broken("an empty range was taken:", range_text);
    if (!pattern->numbered()) {
        if (pattern->path_for(range.first) != name) broken("a name without a pattern changed");
        return 0;
    }
    try {
        pattern->check_distinct(range);
    } catch (const SequenceError& e) {
        broken("distinct frames share a name:", e.what());
    }
    // The first, second and last frames (as many of them as there are).
    const long long last = range.first + (range.count() - 1) * range.step;
    std::vector<long long> frames{range.first};
    if (range.count() > 1) frames.push_back(range.first + range.step);
    if (range.count() > 2) frames.push_back(last);
    std::vector<std::string> names;
    for (const long long frame : frames) {
        const std::string path = pattern->path_for(frame);
        const std::optional<long long> back = pattern->frame_of(path);
        if (!back || *back != frame) broken("a name does not lead back to its frame:", path);
        for (const std::string& other : names) {
            if (other == path) broken("two frames share a name:", path);
        }
        names.push_back(path);
    }
    const std::optional<long long> overlap = first_overlap(*pattern, *pattern, range);
    if (!overlap || *overlap != range.first) broken("writing over the inputs was not found");
    return 0;
}
