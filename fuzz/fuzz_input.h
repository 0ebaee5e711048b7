// Taking a fuzzer's bytes apart: numbers, text lines and the rest, with
// defaults once the bytes run out, so that every input means something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

namespace trellin_fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // A number from 0 to 1 from two bytes.
    double unit()
    {
        const unsigned hi = byte(), lo = byte();
        return double((hi << 8) | lo) / 65535.0;
    }
    // The text up to the next newline (or the end).
    std::string line()
    {
        std::string text;
        while (at_ < size_ && data_[at_] != '\n') text += static_cast<char>(data_[at_++]);
        if (at_ < size_) ++at_;
        return text;
    }
    std::string rest()
    {
        std::string text(reinterpret_cast<const char*>(data_) + at_, size_ - at_);
        at_ = size_;
        return text;
    }
    std::size_t left() const { return size_ - at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A property of the code under test does not hold: report and stop, so that
// the fuzzer keeps the input.
[[noreturn]] inline void broken(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "property broken: %s %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace trellin_fuzz
