// Label and item-name matching shared by the host's lookups.
#pragma once

#include <cctype>
#include <string>

namespace host_detail {

// True when the two texts differ at most in the case of ASCII letters.
inline bool same_text_ignoring_case(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace host_detail
