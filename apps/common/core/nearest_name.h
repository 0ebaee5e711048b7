// "Did you mean ...?": the known name closest to a mistyped one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trellin_app {

// The name of `known` closest to `given`, compared without regard to the case
// of ASCII letters by edit distance (a letter added, dropped, changed, or two
// neighbours swapped counts one edit). Only a close name is returned: at most
// one edit for names up to five characters, one more for every further three.
// On a tie the earlier name of `known` wins. "" when no name is that close.
std::string nearest_name(std::string_view given, const std::vector<std::string>& known);

// " (did you mean \"NAME\"?)" for the nearest name, or "" when there is none.
std::string did_you_mean(std::string_view given, const std::vector<std::string>& known);

}  // namespace trellin_app
