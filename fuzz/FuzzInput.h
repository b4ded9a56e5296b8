// Takes a fuzzer's bytes apart: small numbers and length-prefixed pieces from the front, the rest
// as a whole. Running out yields zeros and empty pieces, never an error.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }
    // A piece whose length (at most 255) comes first.
    std::string Piece() {
        const std::size_t length = std::min<std::size_t>(Byte(), size_ - at_);
        std::string piece(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return piece;
    }
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return rest;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
