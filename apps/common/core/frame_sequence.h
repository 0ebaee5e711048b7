// Frame ranges and numbered file names for picture sequences.
//
// A range is "A-B" (frames A to B, both included) or "A-BxSTEP" (every STEP-th
// frame from A up to B), or a single frame "A". Frame numbers are 0 or more.
//
// A file name numbers its frames with one pattern: "%d" or "%0Nd" (printf
// style, N digits with leading zeros) or a run of N '#' characters (N digits),
// N at most max_pattern_digits. A number with more digits than the pattern
// asks for is written in full, so distinct frames always get distinct names.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace trellin_app {

// A range or pattern that cannot be used. The message says why.
class SequenceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FrameRange {
    long long first = 0;
    long long last = 0;
    long long step = 1;

    // The frames of the range in order: first, first + step, ... up to last.
    std::vector<long long> frames() const;
    // How many frames frames() gives.
    long long count() const;
};

// Parses "A", "A-B" or "A-BxSTEP". Throws SequenceError for anything else, for
// a range whose last frame comes before its first (an empty range) and for a
// step below 1.
FrameRange parse_frame_range(const std::string& text);

// The widest digit field a pattern may ask for: frame numbers have at most 9
// digits, and one more leaves room for names a tool padded to 10.
inline constexpr int max_pattern_digits = 10;

// Where the frame number goes in a file name.
class FramePattern {
public:
    // Finds the pattern in `path`. Throws SequenceError when the path holds
    // more than one pattern, a '%' pattern other than %d and %0Nd, or a
    // digit field wider than max_pattern_digits.
    explicit FramePattern(std::string path);
    // `path` as one file's name, whatever it holds ('%', '#').
    static FramePattern plain(std::string path);

    // The path holds a pattern.
    bool numbered() const { return width_ >= 0; }
    // The path with the pattern replaced by `frame` (the path itself when it
    // holds no pattern).
    std::string path_for(long long frame) const;
    const std::string& text() const { return path_; }
    // The name before and after the pattern.
    std::string prefix() const { return path_.substr(0, at_); }
    std::string suffix() const { return path_.substr(at_ + size_); }
    // The frame whose name path_for gives as `path`, if any: the inverse of
    // path_for (a numbered pattern only).
    std::optional<long long> frame_of(const std::string& path) const;
    // Checks that the frames of `range` get distinct names (path_for gives
    // back its frame at both ends). Throws SequenceError naming the clash.
    void check_distinct(const FrameRange& range) const;

private:
    std::string path_;
    std::size_t at_ = 0;    // where the pattern starts
    std::size_t size_ = 0;  // its length in characters
    int width_ = -1;        // digits asked for; -1: no pattern
};

// Whether frame `frame` belongs to `range`.
bool in_range(const FrameRange& range, long long frame);

// The first frame of `range` whose name under `written` is the name of a
// frame of `range` under `read` (an output that would replace an input), or
// nothing. Takes no memory per frame, and no time per frame when the names
// around the two patterns cannot meet.
std::optional<long long> first_overlap(const FramePattern& read, const FramePattern& written, const FrameRange& range);

}  // namespace trellin_app
