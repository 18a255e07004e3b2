// LZW encoding of one GIF image.
//
// The string table is a trie: a string extended by one pixel is a child of
// the string. Each (string, pixel) pair has at most one child, so any lookup
// that finds it yields the same codes as walking child lists; here it is a
// dense table indexed by code and pixel, one load per pixel. The table lives
// between calls and is cleared entry by entry (only the entries defined), so
// a small image does not pay for clearing the whole table.
#include "gif/lzw.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmar
{

namespace
{

// The table is restarted with a clear code once the code 4092 has been
// defined, so codes never need more than 12 bits.
constexpr unsigned kClearCodeAt = 4093;
constexpr unsigned kMaxCodes = 4096;
constexpr size_t kSubBlockMax = 255;

struct Scratch {
    // child[(code << m) | pixel]: the code of the string "code + pixel", or 0
    // when it is not in the table (no defined code is 0). Kept all zero
    // between calls.
    std::vector<uint16_t> child = std::vector<uint16_t>(kMaxCodes << 8, 0);
    // Where each defined code sits in child, to clear it again.
    uint32_t slotOf[kMaxCodes];
    // The packed codes before they are cut into sub-blocks.
    std::vector<uint8_t> packed;
};

Scratch &scratch()
{
    static thread_local Scratch s;
    return s;
}

// Codes packed least significant bit first. Every put stores 8 bytes and
// advances by the whole bytes completed, so the buffer needs 8 bytes of slack.
class BitWriter
{
  public:
    explicit BitWriter(uint8_t *dst) : dst_(dst) {}
    void put(unsigned code, unsigned width)
    {
        acc_ |= uint64_t(code) << nBits_;
        nBits_ += width;
        uint64_t v = acc_;
        if constexpr (std::endian::native == std::endian::big)
            v = __builtin_bswap64(v);
        std::memcpy(dst_ + pos_, &v, 8);
        pos_ += nBits_ >> 3;
        acc_ >>= nBits_ & ~7u;
        nBits_ &= 7;
    }
    // Bytes written, counting a last partial byte.
    size_t finish() const { return pos_ + (nBits_ > 0 ? 1 : 0); }

  private:
    uint8_t *dst_;
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    unsigned nBits_ = 0;
};

} // namespace

bool LZWEncode(std::span<const uint8_t> pixels, int minCodeSize, std::vector<uint8_t> &out)
{
    if (pixels.empty() || minCodeSize < 2 || minCodeSize > 8)
        return false;
    const unsigned m = unsigned(minCodeSize);
    const unsigned clearCode = 1u << m;
    const unsigned endCode = clearCode + 1;
    if (m < 8) {
        uint8_t any = 0;
        for (uint8_t p : pixels)
            any |= p;
        if (any >> m)
            return false;
    }

    Scratch &s = scratch();
    const size_t n = pixels.size();
    // At most one code per pixel, plus the first clear, the end code and a
    // clear per 3835 definitions, each at most 12 bits.
    const size_t maxCodes = n + 3 + n / (kClearCodeAt - 258);
    const size_t packedBound = (maxCodes * 12 + 7) / 8 + 8;
    if (s.packed.size() < packedBound)
        s.packed.resize(packedBound);
    BitWriter bits(s.packed.data());
    uint16_t *const child = s.child.data();

    unsigned width = m + 1;
    unsigned limit = 1u << width;
    unsigned nextFree = clearCode + 2;
    auto restart = [&] {
        for (unsigned code = clearCode + 2; code < nextFree; ++code)
            child[s.slotOf[code]] = 0;
        width = m + 1;
        limit = 1u << width;
        nextFree = clearCode + 2;
    };

    bits.put(clearCode, width);
    const uint8_t *p = pixels.data();
    const uint8_t *const end = p + n;
    unsigned w = *p++;
    while (p < end) {
        const unsigned k = *p++;
        const uint32_t slot = (w << m) | k;
        const unsigned c = child[slot];
        if (c != 0) {
            w = c;
            continue;
        }
        bits.put(w, width);
        child[slot] = uint16_t(nextFree);
        s.slotOf[nextFree] = slot;
        ++nextFree;
        if (nextFree > limit) {
            ++width;
            limit <<= 1;
        }
        w = k;
        if (nextFree == kClearCodeAt) {
            bits.put(clearCode, width);
            restart();
        }
    }
    // The end code goes the way of any pixel that extends nothing: the
    // string so far is emitted, "string + end code" takes the next free code
    // (it can never match), and the end code follows with the width that
    // definition left, after a clear code when it filled the table.
    bits.put(w, width);
    const unsigned afterEnd = nextFree + 1;
    if (afterEnd > limit)
        ++width;
    if (afterEnd == kClearCodeAt) {
        bits.put(clearCode, width);
        width = m + 1;
    }
    bits.put(endCode, width);
    restart(); // leaves the table clear for the next call

    const size_t packedSize = bits.finish();
    const uint8_t *src = s.packed.data();
    out.reserve(out.size() + packedSize + (packedSize + kSubBlockMax - 1) / kSubBlockMax);
    for (size_t i = 0; i < packedSize; i += kSubBlockMax) {
        const size_t len = std::min(kSubBlockMax, packedSize - i);
        out.push_back(uint8_t(len));
        out.insert(out.end(), src + i, src + i + len);
    }
    return true;
}

} // namespace velmar
