// LZW encoding of one GIF image.
//
// The string table is a trie: a string extended by one pixel is a child of
// the string. Each (string, pixel) pair has at most one child, so any lookup
// that finds it yields the same codes as walking child lists. Two lookups
// stand in for the walk here:
// - a hash table keyed by (code, pixel), small enough (64 KiB) to stay in
//   the near caches, cleared with the code table;
// - for runs of one colour, the strings "c", "c c", "c c c", ... of each
//   colour c by length: they are always defined in order of length, so a
//   string that starts a run can jump straight to the longest one the run
//   covers, instead of stepping through the table once per pixel. Flat
//   pictures spend most of their pixels in such runs.
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
// Four times the codes a table can hold, so probes stay short.
constexpr unsigned kHashBits = 14;
constexpr unsigned kHashSize = 1u << kHashBits;

// Reused between calls; reached through plain pointers, since addressing a
// thread-local object costs the encoding loop a register in
// position-independent code.
struct Scratch {
    // runCode[n * 256 + c]: the code of n pixels of colour c (n >= 1); valid
    // for n up to runLength[c]. Length-major, so the short runs of all
    // colours share a few cache lines.
    std::vector<uint16_t> runCode = std::vector<uint16_t>(256 * kMaxCodes);
    // The packed codes before they are cut into sub-blocks.
    std::vector<uint8_t> packed;
};

Scratch &scratch()
{
    static thread_local Scratch s;
    return s;
}

inline uint32_t slotOf(uint32_t key)
{
    return (key * 0x9E3779B1u) >> (32 - kHashBits);
}

// How many of the first max bytes at p equal c.
inline size_t runOf(const uint8_t *p, uint8_t c, size_t max)
{
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t pattern = 0x0101010101010101ull * c;
        for (; i + 8 <= max; i += 8) {
            uint64_t v;
            std::memcpy(&v, p + i, 8);
            if (const uint64_t diff = v ^ pattern)
                return i + size_t(std::countr_zero(diff) / 8);
        }
    }
    while (i < max && p[i] == c)
        ++i;
    return i;
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

Result<void> LZWEncode(std::span<const uint8_t> pixels, int minCodeSize, std::vector<uint8_t> &out,
                       LzwEncodeOptions options)
{
    if (pixels.empty())
        return fail(QStringLiteral("LZW: no pixels to encode"));
    if (minCodeSize < 2 || minCodeSize > 8)
        return fail(QStringLiteral("LZW minimum code size %1 outside 2..8").arg(minCodeSize));
    const unsigned m = unsigned(minCodeSize);
    const unsigned clearCode = 1u << m;
    const unsigned endCode = clearCode + 1;
    // With deferral no count of codes clears the table (0 is never the next
    // free code); at kMaxCodes the table is full and stays as it is.
    const unsigned clearAt = options.deferClear ? 0 : kClearCodeAt;
    if (m < 8) {
        uint8_t any = 0;
        for (uint8_t p : pixels)
            any |= p;
        if (any >> m)
            return fail(QStringLiteral("LZW: a pixel does not fit code size %1").arg(m));
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
    uint16_t *const runCode = s.runCode.data();
    // Entries (key << 12) | code with key = (string code << 8) | pixel; 0 is
    // empty (a real entry's code is at least 6). On the stack, for the
    // reason above.
    uint32_t hash[kHashSize];
    uint16_t runLength[256];

    unsigned width = m + 1;
    unsigned limit = 1u << width;
    unsigned nextFree = clearCode + 2;
    auto restart = [&] {
        std::memset(hash, 0, sizeof hash);
        for (unsigned c = 0; c < clearCode; ++c) {
            runCode[256 + c] = uint16_t(c);
            runLength[c] = 1;
        }
        width = m + 1;
        limit = 1u << width;
        nextFree = clearCode + 2;
    };
    restart();

    if (options.leadingClear)
        bits.put(clearCode, width);
    const uint8_t *p = pixels.data();
    const uint8_t *const end = p + n;
    unsigned w = *p++;
    for (;;) {
        // w is a single pixel here, the start of a string: when a run of
        // its colour follows, go to the longest run string it covers.
        if (p < end && *p == w && runLength[w] > 1) {
            const size_t r = runOf(p, uint8_t(w), std::min(size_t(end - p), size_t(runLength[w] - 1)));
            p += r;
            w = runCode[(1 + r) * 256 + w];
        }
        unsigned k;
        uint32_t key, slot;
        for (;;) {
            if (p == end)
                goto endOfPixels;
            k = *p++;
            key = (w << 8) | k;
            slot = slotOf(key);
            uint32_t e;
            while ((e = hash[slot]) != 0 && (e >> 12) != key)
                slot = (slot + 1) & (kHashSize - 1);
            if (e == 0)
                break;
            w = e & 0xFFF;
        }
        bits.put(w, width);
        w = k;
        if (nextFree == kMaxCodes)
            continue; // a full table, kept (deferClear)
        hash[slot] = (key << 12) | nextFree;
        if (runCode[runLength[k] * 256u + k] == key >> 8) {
            // The string was the longest run of k: this is the next one.
            ++runLength[k];
            runCode[runLength[k] * 256u + k] = uint16_t(nextFree);
        }
        ++nextFree;
        if (nextFree > limit) {
            ++width;
            limit <<= 1;
        }
        if (nextFree == clearAt) {
            bits.put(clearCode, width);
            restart();
        }
    }
endOfPixels:
    // The end code goes the way of any pixel that extends nothing: the
    // string so far is emitted, "string + end code" takes the next free code
    // (it can never match), and the end code follows with the width that
    // definition left, after a clear code when it filled the table.
    bits.put(w, width);
    const unsigned afterEnd = nextFree + 1;
    if (afterEnd > limit && width < 12)
        ++width;
    if (afterEnd == clearAt) {
        bits.put(clearCode, width);
        width = m + 1;
    }
    bits.put(endCode, width);

    const size_t packedSize = bits.finish();
    const uint8_t *src = s.packed.data();
    out.reserve(out.size() + packedSize + (packedSize + kSubBlockMax - 1) / kSubBlockMax);
    for (size_t i = 0; i < packedSize; i += kSubBlockMax) {
        const size_t len = std::min(kSubBlockMax, packedSize - i);
        out.push_back(uint8_t(len));
        out.insert(out.end(), src + i, src + i + len);
    }
    return {};
}

} // namespace velmar
