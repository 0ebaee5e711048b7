#include "support/picture_diff.h"

#include <cstdlib>
#include <sstream>

namespace testkit {

std::string picture_difference(const std::vector<std::uint16_t>& expected, const std::vector<std::uint16_t>& actual,
                               int width, int channels)
{
    if (expected.size() != actual.size()) {
        std::ostringstream out;
        out << "sizes differ: " << expected.size() << " samples expected, " << actual.size() << " given";
        return out.str();
    }
    std::size_t count = 0, first = 0, largest = 0;
    int largest_difference = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const int d = std::abs(int(actual[i]) - int(expected[i]));
        if (d == 0) continue;
        if (count++ == 0) first = i;
        if (d > largest_difference) {
            largest_difference = d;
            largest = i;
        }
    }
    if (count == 0) return "";
    const auto where = [&](std::size_t i) {
        const std::size_t pixel = i / std::size_t(channels);
        std::ostringstream at;
        at << "(" << pixel % std::size_t(width) << ", " << pixel / std::size_t(width) << ") channel "
           << i % std::size_t(channels) << ": expected " << expected[i] << ", got " << actual[i];
        return at.str();
    };
    std::ostringstream out;
    out << count << " of " << expected.size() << " samples differ; first at " << where(first) << "; largest at "
        << where(largest);
    return out.str();
}

}  // namespace testkit
