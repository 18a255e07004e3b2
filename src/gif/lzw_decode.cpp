// LZW decoding of one GIF image's code stream.
//
// Two decoders share one state. The fast one keeps, for every code defined
// since the last clear, where its string was written in the output and how
// long it is, so a code is one block copy out of the output itself instead of
// a walk down the prefix chain. That works only while every code refers to
// strings that already exist. A damaged stream can send a code beyond the next
// free one (or a non-root code straight after a clear); from then on table
// entries can point at codes defined later, so the string of a code can change
// after it was defined. For those stretches the exact chain-walking decoder
// takes over, up to the next clear code, and produces the same bytes the
// table semantics define, including the string-length failure on a cycle.
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
    case LzwStatus::StringTooLong:
        return "a string longer than the decode stack";
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
// The chain-walking decoder expands a string on a stack of this many entries;
// a longer string (only possible through a prefix cycle in a damaged table)
// is a failure.
constexpr unsigned kStackEntries = 4097;
// The bit reader loads 8 bytes at a time from any data position.
constexpr size_t kDataPadding = 8;

struct SubBlock {
    size_t dataStart;   // index of its first byte in the gathered data
    size_t inputOffset; // offset of its first data byte in the input
};

struct Scratch {
    std::vector<uint8_t> data;
    std::vector<SubBlock> blocks;
    // Table for the chain-walking decoder: entries above the roots that are
    // not defined since the last clear read as prefix 0, suffix 0.
    uint16_t prefix[kTableEntries];
    uint8_t suffix[kTableEntries];
    // Table for the fast decoder: the string of a defined code sits at
    // out[offset .. offset + length), and its first byte is kept apart because
    // that part of the output may have been discarded.
    size_t offset[kTableEntries];
    uint16_t length[kTableEntries];
    uint8_t first[kTableEntries];
    uint8_t stack[kStackEntries];
};

Scratch &scratch()
{
    // One decode at a time per thread; the table and the data buffer are
    // reused so a call allocates nothing once the buffer has grown.
    static thread_local Scratch s;
    return s;
}

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

    Scratch &s = scratch();
    const Gathered gathered = gatherSubBlocks(input, 1, s);
    const uint8_t *data = s.data.data();
    const uint64_t totalBits = uint64_t(s.data.size() - kDataPadding) * 8;

    const unsigned clearCode = 1u << m;
    const unsigned endCode = clearCode + 1;
    for (unsigned i = 0; i < clearCode; ++i) {
        s.prefix[i] = 0;
        s.suffix[i] = uint8_t(i);
        s.first[i] = uint8_t(i);
        s.length[i] = 1;
    }
    std::fill(s.prefix + clearCode, s.prefix + kTableEntries, uint16_t(0));
    std::fill(s.suffix + clearCode, s.suffix + kTableEntries, uint8_t(0));

    uint8_t *const outData = out.data();
    const size_t outSize = out.size();

    unsigned width = m + 1;
    unsigned limit = 1u << width;
    unsigned mask = limit - 1;
    unsigned nextFree = clearCode + 2;
    uint64_t bitPos = 0;

    unsigned prev = 0;      // previous code (0 before the first one)
    unsigned prevFirst = 0; // first byte of the previous string
    size_t prevPos = 0;     // where the previous string was output
    size_t prevLen = 1;
    size_t pos = 0;      // output index, counting discarded bytes too
    size_t clearPos = 0; // output index at the last clear code
    bool fresh = true;   // no code since the start or the last clear
    bool exact = false;  // the chain-walking decoder is in charge

    for (;;) {
        if (bitPos + width > totalBits) {
            result.status = gathered.failure;
            result.consumed = gathered.consumedAtEnd;
            break;
        }
        const unsigned c = unsigned(load64(data + (bitPos >> 3)) >> (bitPos & 7)) & mask;
        bitPos += width;

        if (c == clearCode) {
            if (pos - clearPos > 1 && onClear)
                onClear(std::min(pos, outSize));
            width = m + 1;
            limit = 1u << width;
            mask = limit - 1;
            nextFree = clearCode + 2;
            clearPos = pos;
            fresh = true;
            exact = false;
            continue;
        }
        if (c == endCode) {
            // The byte after the end code (normally the block terminator) is
            // taken as it stands, whatever it is.
            const size_t lastByte = inputOffsetOf(s, size_t((bitPos - 1) >> 3));
            result.status = LzwStatus::Ok;
            result.consumed = std::min(lastByte + 2, input.size());
            break;
        }

        if (!exact && (c < nextFree || (c == nextFree && !fresh))) {
            size_t len;
            unsigned firstByte;
            if (c < clearCode) {
                len = 1;
                firstByte = c;
                if (pos < outSize)
                    outData[pos] = uint8_t(c);
            } else if (c < nextFree) {
                len = s.length[c];
                firstByte = s.first[c];
                if (pos < outSize)
                    copyBefore(outData + pos, outData + s.offset[c], std::min(len, outSize - pos));
            } else {
                // The code being defined: the previous string and its own
                // first byte.
                len = prevLen + 1;
                firstByte = prevFirst;
                if (pos < outSize) {
                    copyBefore(outData + pos, outData + prevPos, std::min(prevLen, outSize - pos));
                    if (pos + prevLen < outSize)
                        outData[pos + prevLen] = uint8_t(prevFirst);
                }
            }
            if (!fresh && nextFree < kNoMoreCodes) {
                s.prefix[nextFree] = uint16_t(prev);
                s.suffix[nextFree] = uint8_t(firstByte);
                s.first[nextFree] = uint8_t(prevFirst);
                s.length[nextFree] = uint16_t(prevLen + 1);
                s.offset[nextFree] = prevPos;
                ++nextFree;
                if (nextFree >= limit && width < kMaxCodeWidth) {
                    ++width;
                    limit <<= 1;
                    mask = limit - 1;
                }
            }
            prev = c;
            prevFirst = firstByte;
            prevPos = pos;
            prevLen = len;
            pos += len;
            fresh = false;
            continue;
        }

        if (!exact) {
            // A code beyond the next free one, or a non-root code with no
            // previous string since the clear. Entries above the next free
            // code read as empty from here on.
            std::fill(s.prefix + nextFree, s.prefix + kTableEntries, uint16_t(0));
            std::fill(s.suffix + nextFree, s.suffix + kTableEntries, uint8_t(0));
            exact = true;
        }
        unsigned sp = 0;
        unsigned x = c;
        if (c >= nextFree) {
            s.stack[sp++] = uint8_t(prevFirst);
            x = prev;
        }
        while (x > clearCode && sp < kStackEntries) {
            s.stack[sp++] = s.suffix[x];
            x = s.prefix[x];
        }
        if (sp == kStackEntries) {
            // Only a prefix cycle makes a string this long. The input is
            // consumed up to the code that failed.
            result.status = LzwStatus::StringTooLong;
            result.consumed = inputOffsetOf(s, size_t((bitPos - 1) >> 3)) + 1;
            break;
        }
        s.stack[sp++] = uint8_t(x);
        const unsigned firstByte = x;
        while (sp > 0) {
            --sp;
            if (pos < outSize)
                outData[pos] = s.stack[sp];
            ++pos;
        }
        if (pos - clearPos > 1 && nextFree < kNoMoreCodes) {
            s.prefix[nextFree] = uint16_t(prev);
            s.suffix[nextFree] = uint8_t(firstByte);
            ++nextFree;
            if (nextFree >= limit && width < kMaxCodeWidth) {
                ++width;
                limit <<= 1;
                mask = limit - 1;
            }
        }
        prev = c;
        prevFirst = firstByte;
        fresh = false;
    }
    result.produced = std::min(pos, outSize);
    return result;
}

} // namespace velmar
