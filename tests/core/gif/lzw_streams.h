#pragma once
// Building code streams by hand for the LZW tests: codes packed least
// significant bit first, and the sub-block framing around them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace velmar::test
{

// Packs codes into bytes, each code with the width given, lowest bit first.
class CodeWriter
{
  public:
    CodeWriter &put(unsigned code, unsigned width)
    {
        for (unsigned i = 0; i < width; ++i) {
            if (nBits_ % 8 == 0)
                bytes_.push_back(0);
            if (code >> i & 1)
                bytes_.back() |= uint8_t(1u << (nBits_ % 8));
            ++nBits_;
        }
        return *this;
    }
    // {code, width} pairs.
    CodeWriter &put(std::initializer_list<std::pair<unsigned, unsigned>> codes)
    {
        for (auto [code, width] : codes)
            put(code, width);
        return *this;
    }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t nBits_ = 0;
};

// Writes codes with the widths a decoder reads them at, following the
// decoder's table: one definition per code except the first after a clear,
// the width grows when the next free code reaches 2^width, up to 12 bits.
// Only for streams whose codes never skip ahead of the next free code.
class TrackingCodeWriter
{
  public:
    explicit TrackingCodeWriter(unsigned minCodeSize) : m_(minCodeSize) { reset(); }
    TrackingCodeWriter &put(unsigned code)
    {
        w_.put(code, width_);
        if (code == clearCode()) {
            reset();
        } else if (code != clearCode() + 1) {
            if (!fresh_ && nextFree_ < 4096) {
                ++nextFree_;
                if (nextFree_ >= (1u << width_) && width_ < 12)
                    ++width_;
            }
            fresh_ = false;
        }
        return *this;
    }
    unsigned clearCode() const { return 1u << m_; }
    unsigned nextFree() const { return nextFree_; }
    unsigned width() const { return width_; }
    const std::vector<uint8_t> &bytes() const { return w_.bytes(); }

  private:
    void reset()
    {
        nextFree_ = clearCode() + 2;
        width_ = m_ + 1;
        fresh_ = true;
    }
    unsigned m_;
    unsigned nextFree_ = 0;
    unsigned width_ = 0;
    bool fresh_ = true;
    CodeWriter w_;
};

// The minimum code size byte, the data cut into sub-blocks of at most
// blockSize bytes, and (when asked) the zero-length terminator.
inline std::vector<uint8_t> imageData(unsigned minCodeSize, const std::vector<uint8_t> &codeBytes,
                                      size_t blockSize = 255, bool terminator = true)
{
    std::vector<uint8_t> v{uint8_t(minCodeSize)};
    for (size_t i = 0; i < codeBytes.size(); i += blockSize) {
        const size_t n = std::min(blockSize, codeBytes.size() - i);
        v.push_back(uint8_t(n));
        v.insert(v.end(), codeBytes.begin() + long(i), codeBytes.begin() + long(i + n));
    }
    if (terminator)
        v.push_back(0);
    return v;
}

// Strips the sub-block framing of an encoder's output (no terminator):
// returns the concatenated data, or an empty vector when a length byte is 0
// or runs past the end.
inline std::vector<uint8_t> unframe(const std::vector<uint8_t> &blocks)
{
    std::vector<uint8_t> data;
    size_t p = 0;
    while (p < blocks.size()) {
        const size_t n = blocks[p];
        if (n == 0 || p + 1 + n > blocks.size())
            return {};
        data.insert(data.end(), blocks.begin() + long(p + 1), blocks.begin() + long(p + 1 + n));
        p += 1 + n;
    }
    return data;
}

} // namespace velmar::test
