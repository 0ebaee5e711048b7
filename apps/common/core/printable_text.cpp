#include "apps/common/core/printable_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace trellin_app {

namespace {

// The length of the UTF-8 character at `at` (1 to 4), or 0 when the bytes
// there are not one.
std::size_t utf8_length(std::string_view text, std::size_t at)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t n = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
        code = code << 6 | (byte(at + i) & 0x3Fu);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string printable(std::string_view text, std::size_t limit, bool keep_newlines)
{
    std::string out;
    out.reserve(std::min(text.size(), limit) + 3);
    char escape[8];
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        const std::size_t n = utf8_length(text, at);
        std::string_view piece;
        if (n == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            piece = escape;
        } else if ((c < 0x20 && !(keep_newlines && c == '\n')) || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            piece = escape;
        } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            // C1 controls: U+0080 to U+009F.
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(text[at + 1]));
            piece = escape;
        } else {
            piece = text.substr(at, n);
        }
        if (out.size() + piece.size() > limit) {
            out += "...";
            return out;
        }
        out += piece;
        at += n == 0 ? 1 : n;
    }
    return out;
}

std::string one_line(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace trellin_app
