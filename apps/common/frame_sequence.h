// Frame ranges and numbered file names for picture sequences.
//
// A range is "A-B" (frames A to B, both included) or "A-BxSTEP" (every STEP-th
// frame from A up to B), or a single frame "A". Frame numbers are 0 or more.
//
// A file name numbers its frames with one pattern: "%d" or "%0Nd" (printf
// style, N digits with leading zeros) or a run of N '#' characters (N digits).
// A number with more digits than the pattern asks for is written in full.
#pragma once

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

// Where the frame number goes in a file name.
class FramePattern {
public:
    // Finds the pattern in `path`. Throws SequenceError when the path holds
    // more than one pattern, or a '%' pattern other than %d and %0Nd.
    explicit FramePattern(std::string path);

    // The path holds a pattern.
    bool numbered() const { return width_ >= 0; }
    // The path with the pattern replaced by `frame` (the path itself when it
    // holds no pattern).
    std::string path_for(long long frame) const;
    const std::string& text() const { return path_; }

private:
    std::string path_;
    std::size_t at_ = 0;    // where the pattern starts
    std::size_t size_ = 0;  // its length in characters
    int width_ = -1;        // digits asked for; -1: no pattern
};

}  // namespace trellin_app
