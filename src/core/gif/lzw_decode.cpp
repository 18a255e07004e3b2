// LZW decoding of one GIF image's code stream.
//
// The decoder keeps, for every code defined since the last clear, the first
// 8 bytes of its string, its length and where it was written in the output,
// so a code is one 8-byte store (a short string) or one block copy out of the
// output itself instead of a walk down a prefix chain. That works because
// every code refers to a string that already exists: a code beyond the next
// free one (or a non-root code straight after a clear) names no string, and
// ends the image as damaged instead of being given a meaning.
//
// The code stream is first gathered out of its sub-blocks into one buffer,
// so a code is one unaligned 8-byte load and a shift, whatever sub-block
// boundaries it spans.
#include "gif/lzw.h"

#include "platform/memory.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace velmar
{

const char *lzwEndText(LzwEnd end)
{
    switch (end) {
    case LzwEnd::EndCode:
        return "the end code";
    case LzwEnd::Truncated:
        return "the data ends before the end code";
    case LzwEnd::MissingEnd:
        return "a zero-length sub-block came before the end code";
    case LzwEnd::BadCode:
        return "a code beyond the next free code";
    }
    return "unknown";
}

namespace
{

constexpr unsigned kMaxCodeWidth = 12;
// Codes are at most 12 bits, so the next free code stops at 4096; the table
// holds codes 0..4095 and one entry more, which takes the definitions made
// once the table is full.
constexpr unsigned kTableEntries = 4097;
constexpr unsigned kNoMoreCodes = 4096;
// The length given to the clear and end codes: longer than any string.
constexpr uint16_t kControlLength = 0xFFFF;
// The bit reader loads 8 bytes at a time from any data position.
constexpr size_t kDataPadding = 8;

// The gathered code stream, reused between calls so a call allocates
// nothing once the buffer has grown.
struct Scratch {
    std::unique_ptr<uint8_t[]> data; // not zero-filled: every byte used is written
    size_t capacity = 0;
    size_t size = 0; // the gathered bytes and the padding after them
    bool inUse = false;
};

// The string table lives on the stack of the call (about 90 KiB): addressed
// from the stack pointer it needs no register of its own, which the decoding
// loop is short of.
struct Tables {
    // A code's first 8 bytes (all of a short string, little-endian), so a
    // short string is written without reading the output back (such reads of
    // bytes just written stall on the store); its length; and where a longer
    // string sits in the output: source[code] .. + length. Roots and other
    // short strings never need their source.
    uint64_t head[kTableEntries];
    size_t source[kTableEntries];
    uint16_t length[kTableEntries];
};

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

// Copies n bytes that all lie before dst (src + n <= dst), so the reads never
// see the writes; each size class moves its bytes with two overlapping loads.
inline void copyBefore(uint8_t *dst, const uint8_t *src, size_t n)
{
    if (n <= 8) {
        if (n >= 4) {
            uint32_t a, b;
            std::memcpy(&a, src, 4);
            std::memcpy(&b, src + n - 4, 4);
            std::memcpy(dst, &a, 4);
            std::memcpy(dst + n - 4, &b, 4);
        } else if (n >= 2) {
            uint16_t a, b;
            std::memcpy(&a, src, 2);
            std::memcpy(&b, src + n - 2, 2);
            std::memcpy(dst, &a, 2);
            std::memcpy(dst + n - 2, &b, 2);
        } else if (n == 1) {
            *dst = *src;
        }
        return;
    }
    if (n <= 16) {
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + n - 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + n - 8, &b, 8);
        return;
    }
    size_t i = 0;
    for (; i + 16 < n; i += 16) {
        uint64_t a, b;
        std::memcpy(&a, src + i, 8);
        std::memcpy(&b, src + i + 8, 8);
        std::memcpy(dst + i, &a, 8);
        std::memcpy(dst + i + 8, &b, 8);
    }
    uint64_t a, b;
    std::memcpy(&a, src + n - 16, 8);
    std::memcpy(&b, src + n - 8, 8);
    std::memcpy(dst + n - 16, &a, 8);
    std::memcpy(dst + n - 8, &b, 8);
}

// Writes the 8 bytes of v (first byte lowest); the caller wants only the
// first few, the rest are scratch that the next string overwrites (see
// OutputTail).
inline void store8(uint8_t *dst, uint64_t v)
{
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    std::memcpy(dst, &v, 8);
}

// The first 8 bytes of a string of len bytes whose first 8 (or all) are
// head, followed by the byte b.
inline uint64_t extend(uint64_t head, size_t len, unsigned b)
{
    return len < 8 ? head | uint64_t(b) << (8 * len) : head;
}

// Short strings are written with one 8-byte store, so up to 7 bytes after
// the output position are scratch until the next string covers them. The
// caller's bytes there must look untouched whenever the caller can see them
// (at a clear code and on return), so the original bytes around the output
// position are kept here, two 64-byte chunks at a time, taken before any
// scratch reaches them.
class OutputTail
{
  public:
    OutputTail(uint8_t *out, size_t size) : out_(out), size_(size) {}
    // Makes [pos, pos + 16) safe to scribble on.
    void guard(size_t pos)
    {
        if (pos + 16 > end_)
            slide(pos);
    }
    // While pos is below this, [pos, pos + 16) is safe without a call to
    // guard.
    size_t fastStop() const { return end_ >= 16 ? end_ - 15 : 0; }
    // Puts the original bytes back from pos on.
    void restore(size_t pos) const
    {
        if (pos < end_)
            std::memcpy(out_ + pos, saved_ + (pos - base_), end_ - pos);
    }

  private:
    void slide(size_t pos)
    {
        const size_t base = pos & ~size_t(63);
        size_t kept = 0;
        if (base < end_) {
            // The saved bytes are the originals even where scratch has been
            // written over them since.
            kept = end_ - base;
            std::memmove(saved_, saved_ + (base - base_), kept);
        }
        // Nothing has been written at or after the old end yet.
        const size_t end = std::min(base + sizeof saved_, size_);
        std::memcpy(saved_ + kept, out_ + base + kept, end - base - kept);
        base_ = base;
        end_ = end;
    }

    uint8_t *out_;
    size_t size_;
    size_t base_ = 0;
    size_t end_ = 0;
    uint8_t saved_[128];
};

struct Gathered {
    LzwEnd failure; // how the data ends when the codes run past it
    size_t consumedAtEnd;
};

// Concatenates the data sub-blocks that start at input[from]. They end at a
// zero length byte or at the end of the input (possibly inside a sub-block).
Gathered gatherSubBlocks(std::span<const uint8_t> input, size_t from, Scratch &s)
{
    // The lengths first, so the buffer is sized once and each sub-block is
    // one plain copy.
    size_t total = 0;
    size_t p = from;
    Gathered g{LzwEnd::Truncated, input.size()};
    while (p < input.size()) {
        const size_t n = input[p];
        if (n == 0) {
            g = {LzwEnd::MissingEnd, p + 1};
            break;
        }
        total += std::min(n, input.size() - p - 1);
        p += 1 + n;
    }
    if (s.capacity < total + kDataPadding) {
        s.data.reset();
        s.data.reset(new uint8_t[total + kDataPadding]);
        s.capacity = total + kDataPadding;
    }
    uint8_t *out = s.data.get();
    for (p = from; p < input.size();) {
        const size_t n = input[p];
        if (n == 0)
            break;
        const size_t avail = std::min(n, input.size() - p - 1);
        std::memcpy(out, input.data() + p + 1, avail);
        out += avail;
        p += 1 + n;
    }
    std::memset(out, 0, kDataPadding);
    s.size = total + kDataPadding;
    return g;
}

} // namespace

// Aligned to a cache line, so that where the loop falls in the instruction
// caches depends on this function alone and not on the size of the code
// linked before it (which moved its speed by a tenth).
__attribute__((aligned(64))) Result<LzwDecoded> LZWDecode(std::span<const uint8_t> input, std::span<uint8_t> out,
                                                          const std::function<void(size_t produced)> &onClear)
{
    LzwDecoded result;
    if (input.empty()) {
        result.end = LzwEnd::Truncated;
        return result;
    }
    const unsigned m = input[0];
    if (m > 8)
        return fail(QStringLiteral("LZW minimum code size %1 above 8").arg(m));

    ThreadBufferLease<Scratch> lease;
    Scratch &s = lease.get();
    const Gathered gathered = gatherSubBlocks(input, 1, s);
    const uint8_t *const data = s.data.get();
    const uint64_t totalBits = uint64_t(s.size - kDataPadding) * 8;
    // Below this a code of any width is inside the data; from it on the
    // exact test is made.
    const uint64_t safeBits = totalBits > kMaxCodeWidth ? totalBits - kMaxCodeWidth : 0;

    Tables t;
    uint64_t *const head = t.head;
    uint16_t *const length = t.length;
    size_t *const source = t.source;
    const unsigned clearCode = 1u << m;
    const unsigned endCode = clearCode + 1;
    for (unsigned i = 0; i < clearCode; ++i) {
        head[i] = i;
        length[i] = 1;
    }
    // The two control codes are always below the next free code, so the
    // common test "a code with a string" lets them through; their length
    // sends them on to the rare path, where they are told apart.
    for (const unsigned control : {clearCode, endCode}) {
        head[control] = 0;
        length[control] = kControlLength;
    }

    uint8_t *const outData = out.data();
    const size_t outSize = out.size();
    OutputTail tail(outData, outSize);
    // A short string is written with one 8-byte store while pos + 16 stays
    // inside the array (see OutputTail), ...
    const size_t roomy = outSize >= 16 ? outSize - 16 : 0;
    // ... and without a call on the tail while pos is below this.
    size_t fastStop = tail.fastStop();

    unsigned width = m + 1;
    unsigned mask = (1u << width) - 1;
    unsigned nextFree = clearCode + 2;
    uint64_t bitPos = 0;

    // The previous string: its first 8 bytes (the first byte lowest) and
    // its length; it was output at pos - prevLen.
    uint64_t prevHead = 0;
    size_t prevLen = 1;
    size_t pos = 0;      // output index, counting discarded bytes too
    size_t clearPos = 0; // output index at the last clear code
    unsigned c = 0;

    // Writes a string of at most 8 bytes whose bytes are h, where the store
    // may need the tail's help or the array ends.
    const auto writeShort = [&](uint64_t h, size_t len) {
        if (pos <= roomy) {
            tail.guard(pos);
            fastStop = tail.fastStop();
            store8(outData + pos, h);
        } else {
            for (size_t i = 0; i < len && pos + i < outSize; ++i)
                outData[pos + i] = uint8_t(h >> (8 * i));
        }
    };

    // A table just started (at the beginning or at a clear code): its first
    // code must be a root and defines nothing; a code with no string yet is
    // damage, and the image ends here with the pixels decoded so far while
    // the rest of its data is passed over to the block terminator, so that
    // the next block can still be read.
fresh:
    if (bitPos + width > totalBits)
        goto dataEnds;
    c = unsigned(load64(data + (bitPos >> 3)) >> (bitPos & 7)) & mask;
    bitPos += width;
    if (c >= clearCode) {
        if (c == clearCode)
            goto clear;
        if (c == endCode)
            goto endCode;
        goto damaged;
    }
    if (pos < outSize)
        outData[pos] = uint8_t(c);
    prevHead = c;
    prevLen = 1;
    ++pos;

    for (;;) {
        if (bitPos >= safeBits) [[unlikely]] {
            if (bitPos + width > totalBits)
                goto dataEnds;
        }
        c = unsigned(load64(data + (bitPos >> 3)) >> (bitPos & 7)) & mask;
        bitPos += width;

        size_t len;
        uint64_t h;
        const size_t prevPos = pos - prevLen;
        if (c < nextFree) [[likely]] {
            len = length[c];
            h = head[c];
            if (len <= 8 && pos < fastStop) [[likely]] {
                store8(outData + pos, h);
            } else if (len <= 8) {
                writeShort(h, len);
            } else {
                if (len == kControlLength) [[unlikely]] {
                    if (c == clearCode)
                        goto clear;
                    goto endCode;
                }
                if (pos < outSize)
                    copyBefore(outData + pos, outData + source[c], std::min(len, outSize - pos));
            }
        } else if (c == nextFree) {
            // The code being defined: the previous string and its own first
            // byte.
            len = prevLen + 1;
            h = extend(prevHead, prevLen, unsigned(prevHead & 0xFF));
            if (len <= 8) {
                if (pos < fastStop)
                    store8(outData + pos, h);
                else
                    writeShort(h, len);
            } else if (pos < outSize) {
                copyBefore(outData + pos, outData + prevPos, std::min(prevLen, outSize - pos));
                if (pos + prevLen < outSize)
                    outData[pos + prevLen] = uint8_t(prevHead & 0xFF);
            }
        } else {
            goto damaged;
        }
        // Once the table is full, the entry past its end takes the
        // definitions nobody can name, so the common path needs no test.
        head[nextFree] = extend(prevHead, prevLen, unsigned(h & 0xFF));
        length[nextFree] = uint16_t(prevLen + 1);
        source[nextFree] = prevPos;
        if (++nextFree > mask) [[unlikely]] {
            if (width < kMaxCodeWidth) {
                ++width;
                mask = mask * 2 + 1;
            } else {
                nextFree = kNoMoreCodes;
            }
        }
        prevHead = h;
        prevLen = len;
        pos += len;
    }

clear:
    if (pos - clearPos > 1 && onClear) {
        tail.restore(pos);
        onClear(std::min(pos, outSize));
    }
    width = m + 1;
    mask = (1u << width) - 1;
    nextFree = clearCode + 2;
    clearPos = pos;
    goto fresh;

endCode:
    // Whatever follows the end code up to the block terminator (normally
    // nothing) belongs to this image.
    result.end = LzwEnd::EndCode;
    result.consumed = gathered.consumedAtEnd;
    goto done;

dataEnds:
    result.end = gathered.failure;
    result.consumed = gathered.consumedAtEnd;
    goto done;

damaged:
    result.end = LzwEnd::BadCode;
    result.consumed = gathered.consumedAtEnd;

done:
    tail.restore(pos);
    result.produced = std::min(pos, outSize);
    return result;
}

} // namespace velmar
