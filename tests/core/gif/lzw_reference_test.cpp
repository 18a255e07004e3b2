// The codec against plain, slow implementations of the same table rules:
// a decoder that reads one byte at a time through the sub-block counter and
// expands every code on a stack, and an encoder that walks child lists and
// writes bytes at explicit positions, reserving each length byte ahead. The
// real codec uses other structures (block copies, a dense child table, a bit
// buffer) and must give exactly the same bytes on any input, damaged or not.
#include "core/gif/lzw_streams.h"
#include "gif/lzw.h"

#include "support/fuzzchecks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmar;
using velmar::test::imageData;
using velmar::test::TrackingCodeWriter;

namespace
{

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kSentinel = 0x5A;

using Outcome = velmar::test::Decoded;

Outcome slowDecode(const Bytes &file, size_t outSize)
{
    return velmar::test::plainDecode(file, outSize, kSentinel);
}

Bytes slowEncode(const Bytes &pixels, unsigned m)
{
    struct Entry {
        uint16_t suffix, prefix, next, child;
    };
    std::vector<Entry> t(4097);
    const unsigned clear = 1u << m, end = clear + 1;
    unsigned width = m + 1, limit = 1u << width, nextFree = clear + 2;
    auto init = [&] {
        for (unsigned i = 0; i < 4097; ++i)
            t[i] = {uint16_t(i <= clear ? i : 0), 0, 0, 0};
    };
    init();

    Bytes file;
    auto writeAt = [&](size_t where, uint8_t v) {
        if (file.size() <= where)
            file.resize(where + 1);
        file[where] = v;
    };
    size_t lengthPos = 0, next = 1, count = 0;
    unsigned bitPos = 0;
    uint8_t cur = 0;
    auto putCode = [&](unsigned code) {
        for (unsigned l = 0; l < width; ++l) {
            if (code >> l & 1)
                cur |= uint8_t(1u << bitPos);
            else
                cur &= uint8_t(255 - (1u << bitPos));
            if (++bitPos == 8) {
                writeAt(next++, cur);
                cur = 0;
                bitPos = 0;
                if (++count == 255) {
                    writeAt(lengthPos, 255);
                    lengthPos = next++;
                    count = 0;
                }
            }
        }
    };

    putCode(clear);
    unsigned w = pixels[0];
    size_t index = 1;
    for (;;) {
        unsigned k;
        ++index;
        k = index > pixels.size() ? end : pixels[index - 1];
        bool matched = false;
        for (unsigned e = t[w].child; e != 0; e = t[e].next) {
            if (t[e].suffix == k) {
                w = e;
                matched = true;
                break;
            }
        }
        if (matched)
            continue;
        putCode(w);
        if (nextFree < 4093) {
            t[nextFree] = {uint16_t(k), uint16_t(w), t[w].child, 0};
            t[w].child = uint16_t(nextFree);
            if (++nextFree > limit) {
                ++width;
                limit <<= 1;
            }
        }
        w = k;
        if (nextFree == 4093) {
            putCode(clear);
            width = m + 1;
            limit = 1u << width;
            init();
            nextFree = clear + 2;
        }
        if (k == end) {
            putCode(w);
            if (bitPos > 0) {
                writeAt(next++, cur);
                ++count;
            }
            if (count > 0)
                writeAt(lengthPos, uint8_t(count));
            else
                next = lengthPos;
            file.resize(next);
            return file;
        }
    }
}

uint32_t nextRandom(uint32_t &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

Bytes randomPixels(uint32_t &rng, size_t n, unsigned m)
{
    Bytes v(n);
    const unsigned colors = 1u << m;
    switch (nextRandom(rng) % 3) {
    case 0: // noise
        for (auto &b : v)
            b = uint8_t(nextRandom(rng) % colors);
        break;
    case 1: // runs of random length
        for (size_t i = 0; i < n;) {
            const size_t len = std::min<size_t>(1 + nextRandom(rng) % 64, n - i);
            std::fill_n(v.begin() + long(i), len, uint8_t(nextRandom(rng) % colors));
            i += len;
        }
        break;
    default: // few colours, short repeats
        for (size_t i = 0; i < n; ++i)
            v[i] = uint8_t((nextRandom(rng) % 4 == 0 ? nextRandom(rng) : i / 3) % colors);
        break;
    }
    return v;
}

void expectSameDecode(const Bytes &input, size_t outSize, const std::string &what)
{
    const Outcome want = slowDecode(input, outSize);
    Outcome got;
    got.out.assign(outSize, kSentinel);
    const Result<LzwDecoded> r = LZWDecode(input, got.out, [&](size_t n) { got.clears.push_back(n); });
    ASSERT_EQ(r.ok(), !want.refused) << what;
    if (!r.ok())
        return;
    ASSERT_EQ(r->end, want.end) << what;
    ASSERT_EQ(r->consumed, want.consumed) << what;
    ASSERT_EQ(r->produced, want.produced) << what;
    ASSERT_EQ(got.clears, want.clears) << what;
    ASSERT_TRUE(got.out == want.out) << what << ": output differs";
}

TEST(LzwAgainstSlowCodec, EncoderGivesTheSameBytesAsChildListWalking)
{
    uint32_t rng = 12345;
    for (int round = 0; round < 300; ++round) {
        const unsigned m = 2 + nextRandom(rng) % 7;
        const size_t n = 1 + nextRandom(rng) % (round % 10 == 0 ? 60000 : 3000);
        const Bytes pixels = randomPixels(rng, n, m);
        Bytes got;
        ASSERT_TRUE(LZWEncode(pixels, int(m), got));
        ASSERT_TRUE(got == slowEncode(pixels, m)) << "round " << round << ", " << n << " pixels, code size " << m;
    }
}

TEST(LzwAgainstSlowCodec, EncoderMatchesAcrossManyClearCodes)
{
    uint32_t rng = 99;
    Bytes pixels(300000);
    for (auto &b : pixels)
        b = uint8_t(nextRandom(rng));
    Bytes got;
    ASSERT_TRUE(LZWEncode(pixels, 8, got));
    EXPECT_TRUE(got == slowEncode(pixels, 8));

    // Long runs of few colours, as in flat pictures: the run strings grow
    // to hundreds of pixels between clears.
    pixels.clear();
    while (pixels.size() < 400000)
        pixels.insert(pixels.end(), 1 + nextRandom(rng) % 3000, uint8_t(nextRandom(rng) % 5));
    for (int m : {3, 8}) {
        got.clear();
        ASSERT_TRUE(LZWEncode(pixels, m, got));
        EXPECT_TRUE(got == slowEncode(pixels, unsigned(m))) << "code size " << m;
    }
}

TEST(LzwAgainstSlowCodec, DecoderAgreesOnValidStreamsWithAnyArraySize)
{
    uint32_t rng = 777;
    for (int round = 0; round < 200; ++round) {
        const unsigned m = 2 + nextRandom(rng) % 7;
        const size_t n = 1 + nextRandom(rng) % 5000;
        const Bytes pixels = randomPixels(rng, n, m);
        Bytes input{uint8_t(m)};
        ASSERT_TRUE(LZWEncode(pixels, int(m), input));
        input.push_back(0);
        // Arrays larger and smaller than the image.
        const size_t outSize = nextRandom(rng) % 2 ? n + 257 : nextRandom(rng) % (n + 1);
        expectSameDecode(input, outSize, "round " + std::to_string(round));
    }
}

TEST(LzwAgainstSlowCodec, DecoderAgreesOnDamagedStreams)
{
    uint32_t rng = 4242;
    for (int round = 0; round < 3000; ++round) {
        const unsigned m = 2 + nextRandom(rng) % 7;
        const Bytes pixels = randomPixels(rng, 1 + nextRandom(rng) % 3000, m);
        Bytes input{uint8_t(m)};
        ASSERT_TRUE(LZWEncode(pixels, int(m), input));
        input.push_back(0);
        input.push_back(0x3B);
        // Flip bits, overwrite bytes (length bytes included), or cut it.
        const unsigned damage = 1 + nextRandom(rng) % 4;
        for (unsigned i = 0; i < damage; ++i) {
            const size_t where = 1 + nextRandom(rng) % (input.size() - 1);
            switch (nextRandom(rng) % 3) {
            case 0:
                input[where] ^= uint8_t(1u << (nextRandom(rng) % 8));
                break;
            case 1:
                input[where] = uint8_t(nextRandom(rng));
                break;
            default:
                input.resize(where);
                break;
            }
            if (input.size() < 2)
                break;
        }
        const size_t outSize = pixels.size() + 257 - (nextRandom(rng) % 2) * (pixels.size() / 2);
        expectSameDecode(input, outSize, "round " + std::to_string(round));
    }
}

TEST(LzwAgainstSlowCodec, DecoderAgreesOnRandomCodes)
{
    // Codes drawn near the next free code, with clears and early end codes,
    // at every code size the decoder accepts (0 and 1 included), so codes
    // beyond the next free one, non-roots after a clear and prefix cycles
    // all occur.
    uint32_t rng = 31337;
    for (int round = 0; round < 3000; ++round) {
        const unsigned m = nextRandom(rng) % 9;
        TrackingCodeWriter w(m);
        const unsigned count = 1 + nextRandom(rng) % 2000;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned r = nextRandom(rng) % 100;
            unsigned code;
            if (r < 2)
                code = w.clearCode();
            else if (r < 50)
                code = nextRandom(rng) % w.clearCode();
            else
                code = std::min(w.nextFree() + nextRandom(rng) % 3, (1u << w.width()) - 1);
            code = std::max(code, nextRandom(rng) % 500 == 0 ? w.nextFree() + 1 : 0);
            w.put(code & ((1u << w.width()) - 1));
        }
        if (nextRandom(rng) % 4 != 0)
            w.put(w.clearCode() + 1);
        const Bytes input = imageData(m, w.bytes(), 1 + nextRandom(rng) % 255, nextRandom(rng) % 8 != 0);
        expectSameDecode(input, nextRandom(rng) % 20000,
                         "round " + std::to_string(round) + ", code size " + std::to_string(m));
    }
}

TEST(LzwAgainstSlowCodec, DecoderAgreesOnRandomBytes)
{
    uint32_t rng = 2718;
    for (int round = 0; round < 2000; ++round) {
        Bytes input(1 + nextRandom(rng) % 600);
        for (auto &b : input)
            b = uint8_t(nextRandom(rng));
        input[0] = uint8_t(nextRandom(rng) % 10);
        expectSameDecode(input, nextRandom(rng) % 3000, "round " + std::to_string(round));
    }
}

} // namespace
