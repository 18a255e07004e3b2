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

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmar
{

const char *lzwStatusText(LzwStatus status)
{
    switch (status) {
    case LzwStatus::Ok:
        return "ok";
    case LzwStatus::Truncated:
        return "the data ends before the end code";
    case LzwStatus::BadCodeSize:
        return "LZW minimum code size above 8";
    case LzwStatus::MissingEnd:
        return "a zero-length sub-block came before the end code";
    case LzwStatus::BadCode:
        return "a code beyond the next free code";
    }
    return "unknown";
}

namespace
{

constexpr unsigned kMaxCodeWidth = 12;
// Codes are at most 12 bits, so the next free code stops at 4096 and the
// table holds codes 0..4096.
constexpr unsigned kTableEntries = 4097;
constexpr unsigned kNoMoreCodes = 4096;
// The bit reader loads 8 bytes at a time from any data position.
constexpr size_t kDataPadding = 8;

struct SubBlock {
    size_t dataStart;   // index of its first byte in the gathered data
    size_t inputOffset; // offset of its first data byte in the input
};

// The gathered code stream, reused between calls so a call allocates
// nothing once the buffer has grown.
struct Scratch {
    std::vector<uint8_t> data;
    std::vector<SubBlock> blocks;
    bool inUse = false;
};

// The thread's shared buffer, or for a call made from inside another (an
// onClear that decodes something else) a buffer of its own.
class ScratchLease
{
  public:
    ScratchLease() : shared_(sharedScratch()), s_(shared_.inUse ? own_ : shared_) { s_.inUse = true; }
    ~ScratchLease() { s_.inUse = false; }
    ScratchLease(const ScratchLease &) = delete;
    ScratchLease &operator=(const ScratchLease &) = delete;
    Scratch &get() { return s_; }

  private:
    static Scratch &sharedScratch()
    {
        static thread_local Scratch s;
        return s;
    }
    Scratch &shared_;
    Scratch own_;
    Scratch &s_;
};

// The string table lives on the stack of the call (about 90 KiB): addressed
// from the stack pointer it needs no register of its own, which the decoding
// loop is short of.
struct Tables {
    // A code's first 8 bytes (all of a short
    // string, little-endian), so a short string is written without reading
    // the output back (such reads of bytes just written stall on the store);
    // its length; and where a longer string sits: source[code] .. + length
    // (in the output, or in rootBytes for a root).
    uint64_t head[kTableEntries];
    const uint8_t *source[kTableEntries];
    uint16_t length[kTableEntries];
    // Each root's one-byte string, the source of a root near the end of the
    // array.
    uint8_t rootBytes[256];
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
    LzwStatus failure; // how the data ends when the codes run past it
    size_t consumedAtEnd;
};

// Concatenates the data sub-blocks that start at input[from]. They end at a
// zero length byte or at the end of the input (possibly inside a sub-block).
Gathered gatherSubBlocks(std::span<const uint8_t> input, size_t from, Scratch &s)
{
    s.data.clear();
    s.blocks.clear();
    size_t p = from;
    Gathered g{LzwStatus::Truncated, input.size()};
    while (p < input.size()) {
        const size_t n = input[p];
        if (n == 0) {
            g = {LzwStatus::MissingEnd, p + 1};
            break;
        }
        const size_t avail = std::min(n, input.size() - p - 1);
        s.blocks.push_back({s.data.size(), p + 1});
        s.data.insert(s.data.end(), input.begin() + p + 1, input.begin() + p + 1 + avail);
        p += 1 + n;
    }
    s.data.insert(s.data.end(), kDataPadding, 0);
    return g;
}

size_t inputOffsetOf(const Scratch &s, size_t dataIndex)
{
    auto it = std::upper_bound(s.blocks.begin(), s.blocks.end(), dataIndex,
                               [](size_t i, const SubBlock &b) { return i < b.dataStart; });
    const SubBlock &b = *(it - 1);
    return b.inputOffset + (dataIndex - b.dataStart);
}

} // namespace

LzwDecodeResult LZWDecode(std::span<const uint8_t> input, std::span<uint8_t> out,
                          const std::function<void(size_t produced)> &onClear)
{
    LzwDecodeResult result;
    if (input.empty()) {
        result.status = LzwStatus::Truncated;
        return result;
    }
    const unsigned m = input[0];
    if (m > 8) {
        result.status = LzwStatus::BadCodeSize;
        result.consumed = 1;
        return result;
    }

    ScratchLease lease;
    Scratch &s = lease.get();
    const Gathered gathered = gatherSubBlocks(input, 1, s);
    const uint8_t *data = s.data.data();
    const uint64_t totalBits = uint64_t(s.data.size() - kDataPadding) * 8;

    Tables t;
    uint64_t *const head = t.head;
    uint16_t *const length = t.length;
    const uint8_t **const source = t.source;
    uint8_t *const rootBytes = t.rootBytes;
    const unsigned clearCode = 1u << m;
    const unsigned endCode = clearCode + 1;
    for (unsigned i = 0; i < 256; ++i)
        rootBytes[i] = uint8_t(i);
    for (unsigned i = 0; i < clearCode; ++i) {
        head[i] = i;
        length[i] = 1;
        source[i] = rootBytes + i;
    }

    uint8_t *const outData = out.data();
    const size_t outSize = out.size();
    OutputTail tail(outData, outSize);

    unsigned width = m + 1;
    unsigned limit = 1u << width;
    unsigned mask = limit - 1;
    unsigned nextFree = clearCode + 2;
    uint64_t bitPos = 0;

    unsigned prevFirst = 0; // first byte of the previous string
    size_t prevPos = 0;     // where the previous string was output
    size_t prevLen = 1;
    uint64_t prevHead = 0;
    size_t pos = 0;      // output index, counting discarded bytes too
    size_t clearPos = 0; // output index at the last clear code

    // Fresh: no code yet since the start or the last clear; such a code
    // defines nothing. Fast: the codes since the clear have built the table.
    enum class Mode { Fresh, Fast } mode = Mode::Fresh;
    // A code that names no string yet: the image ends here with the pixels
    // decoded so far, and the rest of its data is passed over to the block
    // terminator so that the next block can still be read.
    const auto damaged = [&](LzwDecodeResult &r) {
        r.status = LzwStatus::BadCode;
        r.consumed = gathered.consumedAtEnd;
    };

    for (;;) {
        if (bitPos + width > totalBits) {
            result.status = gathered.failure;
            result.consumed = gathered.consumedAtEnd;
            break;
        }
        const unsigned c = unsigned(load64(data + (bitPos >> 3)) >> (bitPos & 7)) & mask;
        bitPos += width;

        if (c - clearCode <= 1) {
            if (c == endCode) {
                // The byte after the end code (normally the block
                // terminator) is taken as it stands, whatever it is.
                const size_t lastByte = inputOffsetOf(s, size_t((bitPos - 1) >> 3));
                result.status = LzwStatus::Ok;
                result.consumed = std::min(lastByte + 2, input.size());
                break;
            }
            if (pos - clearPos > 1 && onClear) {
                tail.restore(pos);
                onClear(std::min(pos, outSize));
            }
            width = m + 1;
            limit = 1u << width;
            mask = limit - 1;
            nextFree = clearCode + 2;
            clearPos = pos;
            mode = Mode::Fresh;
            continue;
        }

        if (mode == Mode::Fast) {
            size_t len;
            uint64_t h;
            if (c < nextFree) {
                len = length[c];
                h = head[c];
                if (len <= 8 && pos + 16 <= outSize) {
                    tail.guard(pos);
                    store8(outData + pos, h);
                } else if (pos < outSize)
                    copyBefore(outData + pos, source[c], std::min(len, outSize - pos));
            } else if (c == nextFree) {
                // The code being defined: the previous string and its own
                // first byte.
                len = prevLen + 1;
                h = extend(prevHead, prevLen, prevFirst);
                if (len <= 8 && pos + 16 <= outSize) {
                    tail.guard(pos);
                    store8(outData + pos, h);
                } else if (pos < outSize) {
                    copyBefore(outData + pos, outData + prevPos, std::min(prevLen, outSize - pos));
                    if (pos + prevLen < outSize)
                        outData[pos + prevLen] = uint8_t(prevFirst);
                }
            } else {
                damaged(result);
                break;
            }
            const unsigned firstByte = unsigned(h & 0xFF);
            if (nextFree < kNoMoreCodes) {
                head[nextFree] = extend(prevHead, prevLen, firstByte);
                length[nextFree] = uint16_t(prevLen + 1);
                // Past the array the string is never copied from (it would
                // only be needed further past the array).
                source[nextFree] = outData + std::min(prevPos, outSize);
                ++nextFree;
                if (nextFree >= limit && width < kMaxCodeWidth) {
                    ++width;
                    limit <<= 1;
                    mask = limit - 1;
                }
            }
            prevFirst = firstByte;
            prevHead = h;
            prevPos = pos;
            prevLen = len;
            pos += len;
            continue;
        }

        // Fresh: the first code since the start or the clear must be a
        // root; a code with no string yet is damage.
        if (c >= clearCode) {
            damaged(result);
            break;
        }
        if (pos < outSize)
            outData[pos] = uint8_t(c);
        prevFirst = c;
        prevHead = c;
        prevPos = pos;
        prevLen = 1;
        ++pos;
        mode = Mode::Fast;
    }
    tail.restore(pos);
    result.produced = std::min(pos, outSize);
    return result;
}

} // namespace velmar
