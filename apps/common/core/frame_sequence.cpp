#include "apps/common/core/frame_sequence.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <algorithm>

namespace trellin_app {

namespace {

// Parses a whole string of decimal digits (no sign) into `value`.
bool parse_count(const std::string& text, long long& value)
{
    if (text.empty()) return false;
    for (char ch : text) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// The largest frame number accepted: keeps first + step and the count clear
// of overflow, and no sequence comes near it.
constexpr long long max_frame = 999999999;

}  // namespace

std::vector<long long> FrameRange::frames() const
{
    std::vector<long long> list;
    list.reserve(static_cast<std::size_t>(count()));
    for (long long f = first; f <= last; f += step) list.push_back(f);
    return list;
}

long long FrameRange::count() const
{
    return last < first ? 0 : (last - first) / step + 1;
}

FrameRange parse_frame_range(const std::string& text)
{
    const std::string shown = "frame range \"" + text + "\"";
    std::string span = text;
    FrameRange range;
    const std::size_t x = span.find('x');
    if (x != std::string::npos) {
        if (!parse_count(span.substr(x + 1), range.step) || range.step < 1 || range.step > max_frame)
            throw SequenceError(shown + ": the step after 'x' must be a whole number from 1");
        span.resize(x);
    }
    const std::size_t dash = span.find('-');
    const std::string first = span.substr(0, dash);
    const std::string last = dash == std::string::npos ? first : span.substr(dash + 1);
    if (!parse_count(first, range.first) || !parse_count(last, range.last) || range.first > max_frame ||
        range.last > max_frame)
        throw SequenceError(shown +
                            ": expected FIRST-LAST or FIRST-LASTxSTEP with whole frame numbers from 0 "
                            "(e.g. 1-100 or 0-48x2)");
    if (range.last < range.first)
        throw SequenceError(shown + ": the range is empty (its last frame comes before its first)");
    return range;
}

FramePattern::FramePattern(std::string path) : path_(std::move(path))
{
    for (std::size_t i = 0; i < path_.size();) {
        std::size_t size = 0;
        int width = -1;
        if (path_[i] == '#') {
            while (i + size < path_.size() && path_[i + size] == '#') ++size;
            width = static_cast<int>(size);
            if (width > max_pattern_digits)
                throw SequenceError(path_ + ": a frame pattern of " + std::to_string(width) +
                                    " '#' is too wide (at most " + std::to_string(max_pattern_digits) + " digits)");
        } else if (path_[i] == '%') {
            std::size_t j = i + 1;
            std::string digits;
            while (j < path_.size() && std::isdigit(static_cast<unsigned char>(path_[j]))) digits += path_[j++];
            const bool zero_padded = digits.empty() || (digits[0] == '0' && digits.size() > 1);
            if (j >= path_.size() || path_[j] != 'd' || !zero_padded || digits.size() > 3)
                throw SequenceError(path_ + ": unknown frame pattern at \"" +
                                    path_.substr(i, std::min(j + 1 - i, std::size_t(12))) +
                                    "\" (use %d, %04d or ####)");
            size = j + 1 - i;
            width = digits.empty() ? 0 : std::stoi(digits.substr(1));
            if (width > max_pattern_digits)
                throw SequenceError(path_ + ": the frame pattern " + path_.substr(i, size) + " is too wide (at most " +
                                    std::to_string(max_pattern_digits) + " digits)");
        } else {
            ++i;
            continue;
        }
        if (width_ >= 0) throw SequenceError(path_ + ": more than one frame pattern in the name");
        at_ = i;
        size_ = size;
        width_ = width;
        i += size;
    }
}

FramePattern FramePattern::plain(std::string path)
{
    FramePattern pattern("");
    pattern.path_ = std::move(path);
    return pattern;
}

std::string FramePattern::path_for(long long frame) const
{
    if (!numbered()) return path_;
    char number[32];
    std::snprintf(number, sizeof number, "%0*lld", width_, frame);
    return path_.substr(0, at_) + number + path_.substr(at_ + size_);
}

std::optional<long long> FramePattern::frame_of(const std::string& path) const
{
    const std::size_t tail = path_.size() - at_ - size_;
    if (!numbered() || path.size() < at_ + tail + 1 || path.compare(0, at_, path_, 0, at_) != 0 ||
        path.compare(path.size() - tail, tail, path_, at_ + size_, tail) != 0)
        return std::nullopt;
    const std::string digits = path.substr(at_, path.size() - at_ - tail);
    // path_for writes exactly `width_` digits, or more without a leading zero.
    const std::size_t least = std::max<std::size_t>(static_cast<std::size_t>(width_), 1);
    if (digits.size() < least || (digits.size() > least && digits[0] == '0')) return std::nullopt;
    long long frame = 0;
    if (!parse_count(digits, frame)) return std::nullopt;
    return frame;
}

void FramePattern::check_distinct(const FrameRange& range) const
{
    if (!numbered()) return;
    const long long last = range.first + (range.count() - 1) * range.step;
    for (const long long frame : {range.first, last}) {
        const std::string name = path_for(frame);
        const std::optional<long long> back = frame_of(name);
        if (!back || *back != frame)
            throw SequenceError(path_ + ": frame " + std::to_string(frame) + " gets the name " + name +
                                ", which does not name it alone");
    }
}

bool in_range(const FrameRange& range, long long frame)
{
    return frame >= range.first && frame <= range.last && (frame - range.first) % range.step == 0;
}

std::optional<long long> first_overlap(const FramePattern& read, const FramePattern& written, const FrameRange& range)
{
    if (!read.numbered()) {
        for (long long f = range.first; f <= range.last; f += range.step) {
            if (written.path_for(f) == read.text()) return f;
        }
        return std::nullopt;
    }
    // Two names "P1 digits S1" and "P2 digits S2" can only be equal when one
    // prefix begins the other and one suffix ends the other.
    const std::string p1 = read.prefix(), p2 = written.prefix(), s1 = read.suffix(), s2 = written.suffix();
    const bool prefixes_meet = p1.compare(0, p2.size(), p2) == 0 || p2.compare(0, p1.size(), p1) == 0;
    const bool suffixes_meet = (s1.size() >= s2.size() && s1.compare(s1.size() - s2.size(), s2.size(), s2) == 0) ||
                               (s2.size() >= s1.size() && s2.compare(s2.size() - s1.size(), s1.size(), s1) == 0);
    if (!prefixes_meet || !suffixes_meet) return std::nullopt;
    for (long long f = range.first; f <= range.last; f += range.step) {
        const std::optional<long long> input = read.frame_of(written.path_for(f));
        if (input && in_range(range, *input)) return f;
    }
    return std::nullopt;
}

}  // namespace trellin_app
