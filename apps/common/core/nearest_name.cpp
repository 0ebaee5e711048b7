#include "apps/common/core/nearest_name.h"

#include <algorithm>
#include <cctype>

namespace trellin_app {

namespace {

char folded(char ch)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
}

// Edits allowed between a name of `length` characters and a known one.
std::size_t allowed_edits(std::size_t length)
{
    return length <= 5 ? 1 : 1 + (length - 3) / 3;
}

// Edit distance with adjacent swaps (optimal string alignment), giving up as
// soon as every path costs more than `limit` (then limit + 1).
std::size_t distance(std::string_view a, std::string_view b, std::size_t limit)
{
    const std::size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > limit) return limit + 1;
    std::vector<std::size_t> before(m + 1), previous(m + 1), current(m + 1);
    for (std::size_t j = 0; j <= m; ++j) previous[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        current[0] = i;
        std::size_t row_best = current[0];
        for (std::size_t j = 1; j <= m; ++j) {
            const bool same = folded(a[i - 1]) == folded(b[j - 1]);
            std::size_t d = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && folded(a[i - 1]) == folded(b[j - 2]) && folded(a[i - 2]) == folded(b[j - 1]))
                d = std::min(d, before[j - 2] + 1);
            current[j] = d;
            row_best = std::min(row_best, d);
        }
        if (row_best > limit) return limit + 1;
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

}  // namespace

std::string nearest_name(std::string_view given, const std::vector<std::string>& known)
{
    // Nothing sensible is that long; the bound also keeps the work small.
    if (given.empty() || given.size() > 200) return {};
    const std::size_t limit = allowed_edits(given.size());
    const std::string* best = nullptr;
    std::size_t best_distance = limit + 1;
    for (const std::string& name : known) {
        const std::size_t d = distance(given, name, std::min(limit, best_distance));
        if (d < best_distance) {
            best_distance = d;
            best = &name;
        }
    }
    return best != nullptr ? *best : std::string();
}

std::string did_you_mean(std::string_view given, const std::vector<std::string>& known)
{
    const std::string name = nearest_name(given, known);
    return name.empty() ? std::string() : " (did you mean \"" + name + "\"?)";
}

}  // namespace trellin_app
