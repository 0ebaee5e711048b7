// Short excerpts of values for messages: a message quotes at most a few dozen
// characters of a bad value, however large or deeply nested the value is.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace host_detail {

inline constexpr std::size_t excerpt_length = 40;

// `text` when it is at most `limit` bytes long, else its first bytes (not
// cutting a UTF-8 character) and "...".
inline std::string excerpt(std::string_view text, std::size_t limit = excerpt_length)
{
    if (text.size() <= limit) return std::string(text);
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end)) + "...";
}

namespace excerpt_detail {

// Appends a JSON value's text to `out` until it holds `limit` bytes; nested
// values below `depth` levels show as [...] or {...}. Recurses at most
// `depth` levels, whatever the value's own depth.
inline void append(const nlohmann::json& j, std::string& out, std::size_t limit, int depth)
{
    if (out.size() > limit) return;
    if (!j.is_structured()) {
        out += j.is_string() ? nlohmann::json(excerpt(j.get_ref<const std::string&>(), limit)).dump() : j.dump();
        return;
    }
    const bool object = j.is_object();
    if (depth == 0 && !j.empty()) {
        out += object ? "{...}" : "[...]";
        return;
    }
    out += object ? "{" : "[";
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (out.size() > limit) {
            out += ", ...";
            break;
        }
        if (!first) out += ", ";
        first = false;
        if (object) out += nlohmann::json(excerpt(it.key(), limit)).dump() + ": ";
        append(*it, out, limit, depth - 1);
    }
    out += object ? "}" : "]";
}

}  // namespace excerpt_detail

// A JSON value's text, cut to about `limit` bytes.
inline std::string json_excerpt(const nlohmann::json& j, std::size_t limit = excerpt_length)
{
    std::string out;
    excerpt_detail::append(j, out, limit, 3);
    return excerpt(out, limit);
}

}  // namespace host_detail
