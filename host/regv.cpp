// Settings files: reading with precise fault positions, and writing that
// never leaves a half-written file in place of a good one.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "host/platform_files.h"
#include "host/platform_process.h"
#include "host/regv.h"
#include "host/value_excerpt.h"

using nlohmann::json;

namespace {

std::string system_fault(int err)
{
    return std::strerror(err);
}

// Line and column (both from 1) of the character at byte `index` of `text`;
// the column counts UTF-8 characters, not bytes.
void line_and_column(const std::string& text, std::size_t index, std::size_t& line, std::size_t& column)
{
    if (index > text.size()) index = text.size();
    line = 1;
    column = 1;
    for (std::size_t i = 0; i < index; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    }
}

// The parser's own description of a fault, without its position prefix.
std::string parse_fault_text(const json::parse_error& e)
{
    std::string what = e.what();
    std::size_t at = what.find("parse error");
    if (at != std::string::npos) {
        std::size_t colon = what.find(": ", at);
        if (colon != std::string::npos) return what.substr(colon + 2);
    }
    return what;
}

// The decimal exponent of a number token's first significant digit ("1e400"
// 400, "0.05" -2); 0 for a zero.
long long leading_exponent(std::string_view token)
{
    std::size_t i = token.empty() || token[0] != '-' ? 0 : 1;
    long long digits_before_point = 0, index = 0, first_significant = -1;
    bool after_point = false;
    for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
        if (token[i] == '.') {
            after_point = true;
            continue;
        }
        if (!after_point) ++digits_before_point;
        if (first_significant < 0 && token[i] != '0') first_significant = index;
        ++index;
    }
    if (first_significant < 0) return 0;
    long long exponent = 0;
    bool negative = false;
    if (i < token.size()) {
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
        for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i)
            exponent = std::min<long long>(exponent * 10 + (token[i] - '0'), 1000000000);
    }
    return digits_before_point - 1 - first_significant + (negative ? -exponent : exponent);
}

// Whether a JSON number token is too large for a double (one too close to
// zero reads as 0, as the parser reads it).
bool beyond_double(std::string_view token)
{
    double v = 0.0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    (void)end;
    return ec == std::errc::result_out_of_range && leading_exponent(token) > 0;
}

// Refuses, at its line and column, the first nesting deeper than the limit
// and the first number beyond the range of doubles. One pass over the text
// and no recursion, so any depth of brackets is met safely.
void check_limits(const std::string& text, const std::string& name)
{
    auto refuse = [&](std::size_t at, const std::string& why) {
        std::size_t line = 0;
        std::size_t column = 0;
        line_and_column(text, at, line, column);
        throw RegVError(name + ": line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + why);
    };
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') ++i;
            }
        } else if (ch == '{' || ch == '[') {
            if (++depth > regv_limits::max_depth)
                refuse(i, "nested more than " + std::to_string(regv_limits::max_depth) + " levels deep");
        } else if (ch == '}' || ch == ']') {
            --depth;
        } else if (ch == '-' || (ch >= '0' && ch <= '9')) {
            std::size_t end = i;
            while (end < text.size() && text[end] != '\0' && std::strchr("0123456789+-.eE", text[end]) != nullptr)
                ++end;
            const std::string_view token(text.data() + i, end - i);
            if (beyond_double(token))
                refuse(i, "the number " + host_detail::excerpt(token) +
                              " is beyond the range of numbers (about "
                              "1.8e308 either side of 0)");
            i = end - 1;
        }
    }
}

bool write_all(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const long n = platform::write_file(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

RegV RegV::read_file(const std::string& path)
{
    bool regular = false;
    std::int64_t size = 0;
    if (platform::file_status(path, regular, size) != 0)
        throw RegVError(path + ": cannot read: " + system_fault(errno));
    // A device or a pipe may never end.
    if (!regular) throw RegVError(path + ": cannot read: not a regular file");
    if (size > regv_limits::max_file_bytes)
        throw RegVError(path + ": cannot read: larger than " + std::to_string(regv_limits::max_file_bytes >> 20) +
                        " MiB; no settings document is that large");
    std::ifstream in(platform::path_from_utf8(path), std::ios::binary);
    if (!in) throw RegVError(path + ": cannot read: " + system_fault(errno));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw RegVError(path + ": cannot read: " + system_fault(errno));
    return parse(buffer.str(), path);
}

RegV RegV::parse(const std::string& text, const std::string& name)
{
    check_limits(text, name);
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        // The parser counts the offending character as read.
        std::size_t line = 0;
        std::size_t column = 0;
        line_and_column(text, e.byte > 0 ? e.byte - 1 : 0, line, column);
        throw RegVError(name + ": line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                        parse_fault_text(e));
    } catch (const json::exception& e) {
        throw RegVError(name + ": not a settings document: " + host_detail::excerpt(e.what(), 200));
    }

    if (!doc.is_object()) throw RegVError(name + ": not a settings document (the top level is not an object)");
    auto controls = doc.find("controls");
    if (controls == doc.end()) throw RegVError(name + ": not a settings document (no \"controls\" member)");
    if (!controls->is_object()) throw RegVError(name + ": not a settings document (\"controls\" is not an object)");
    return RegV(std::move(doc));
}

void RegV::write_file(const std::string& path) const
{
    static std::atomic<unsigned> serial{0};
    const std::string text = doc.dump(2) + "\n";

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp." + std::to_string(platform::process_id()) + "." + std::to_string(serial.fetch_add(1));
        fd = platform::create_new_file(temp);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw RegVError(path + ": cannot write: " + system_fault(errno));

    bool ok = write_all(fd, text) && platform::flush_file(fd);
    int err = ok ? 0 : errno;
    if (platform::close_file(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && platform::replace_file(temp, path) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        platform::remove_file(temp);
        throw RegVError(path + ": cannot write: " + system_fault(err));
    }
}
