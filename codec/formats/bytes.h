#pragma once

// A bounds-checked cursor over a file's bytes. Every read past the end sets `ok()` false and
// yields zero, so a parser can read a whole header and test once.

#include "codec/result.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace codec {

class ByteReader {
public:
    explicit ByteReader(ByteView data, std::size_t pos = 0)
        : data_(data)
        , pos_(pos <= data.size() ? pos : data.size())
    {
        if (pos > data.size())
            ok_ = false;
    }

    bool ok() const { return ok_; }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    const std::uint8_t* here() const { return data_.data() + pos_; }
    ByteView data() const { return data_; }

    bool Seek(std::size_t pos)
    {
        if (pos > data_.size())
            return ok_ = false;
        pos_ = pos;
        return true;
    }
    bool Skip(std::size_t n)
    {
        if (n > remaining()) {
            pos_ = data_.size();
            return ok_ = false;
        }
        pos_ += n;
        return true;
    }
    /// The next n bytes, or an empty view (and ok() false) when fewer remain.
    ByteView Take(std::size_t n)
    {
        if (n > remaining()) {
            pos_ = data_.size();
            ok_ = false;
            return {};
        }
        ByteView v = data_.subspan(pos_, n);
        pos_ += n;
        return v;
    }
    std::uint8_t U8()
    {
        if (remaining() < 1)
            return Fail();
        return data_[pos_++];
    }
    std::uint16_t U16LE() { return static_cast<std::uint16_t>(Bytes<2, false>()); }
    std::uint16_t U16BE() { return static_cast<std::uint16_t>(Bytes<2, true>()); }
    std::uint32_t U32LE() { return static_cast<std::uint32_t>(Bytes<4, false>()); }
    std::uint32_t U32BE() { return static_cast<std::uint32_t>(Bytes<4, true>()); }
    std::int32_t I32LE() { return static_cast<std::int32_t>(U32LE()); }

private:
    std::uint8_t Fail()
    {
        ok_ = false;
        pos_ = data_.size();
        return 0;
    }
    template <int N, bool BigEndian> std::uint64_t Bytes()
    {
        if (remaining() < N)
            return Fail();
        std::uint64_t v = 0;
        for (int i = 0; i < N; ++i) {
            std::uint64_t b = data_[pos_ + i];
            v |= BigEndian ? b << (8 * (N - 1 - i)) : b << (8 * i);
        }
        pos_ += N;
        return v;
    }

    ByteView data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

/// Little- and big-endian appenders for writers.
inline void PutU8(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
}
inline void PutU16LE(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32LE(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    PutU16LE(out, v & 0xFFFF);
    PutU16LE(out, v >> 16);
}
inline void PutU16BE(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
inline void PutU32BE(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    PutU16BE(out, v >> 16);
    PutU16BE(out, v & 0xFFFF);
}

} // namespace codec
