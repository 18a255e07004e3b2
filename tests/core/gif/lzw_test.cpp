#include "core/gif/lzw_streams.h"
#include "gif/lzw.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace velmar;
using velmar::test::CodeWriter;
using velmar::test::imageData;
using velmar::test::TrackingCodeWriter;

namespace
{

constexpr uint8_t kSentinel = 0xA5;

struct Decoded {
    Result<LzwDecoded> result = Error{};
    std::vector<uint8_t> out; // the whole array, sentinel-filled before the call
    std::vector<size_t> clears;
};

Decoded decode(const std::vector<uint8_t> &input, size_t outSize)
{
    Decoded d;
    d.out.assign(outSize, kSentinel);
    d.result = LZWDecode(input, d.out, [&](size_t produced) { d.clears.push_back(produced); });
    return d;
}

std::vector<uint8_t> produced(const Decoded &d)
{
    return {d.out.begin(), d.out.begin() + long(d.result->produced)};
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

using Bytes = std::vector<uint8_t>;

// ---- Decoder: crafted code streams -------------------------------------

TEST(LzwDecode, SinglePixelStreamConsumesTheTerminator)
{
    const Bytes input = {0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    const Decoded d = decode(input, 1 + 257);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), Bytes{0});
    EXPECT_EQ(d.result->consumed, 5u) << "the trailer after the terminator is not the decoder's";
}

TEST(LzwDecode, StreamWithoutLeadingClearCodeDecodes)
{
    // The table is ready before the first code; the third code makes the
    // next free code 8, so the end code comes 4 bits wide.
    const Bytes input = imageData(2, CodeWriter().put({{1, 3}, {2, 3}, {3, 3}, {5, 4}}).bytes());
    const Decoded d = decode(input, 16);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), (Bytes{1, 2, 3}));
    EXPECT_EQ(d.result->consumed, input.size());
}

TEST(LzwDecode, CodeEqualToNextFreeIsPreviousStringPlusItsFirstByte)
{
    // 6 = "1 2"; 6 again defines 7 = "2 1"; then 8 is the code being defined:
    // "1 2" followed by its own first byte 1. The width is 4 from the 5th code.
    const Bytes input = imageData(2, CodeWriter().put({{4, 3}, {1, 3}, {2, 3}, {6, 3}, {8, 4}, {5, 4}}).bytes());
    const Decoded d = decode(input, 32);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), (Bytes{1, 2, 1, 2, 1, 2, 1}));
}

TEST(LzwDecode, RunsOfCodesBeingDefinedBuildLongStrings)
{
    // Each code is the one being defined: 1, 11, 111, 1111, ...; the width
    // grows at next free 8 and 16.
    CodeWriter w;
    w.put({{4, 3}, {1, 3}, {6, 3}, {7, 3}});
    size_t expected = 1 + 2 + 3;
    for (unsigned code = 8; code < 20; ++code) {
        w.put(code, code < 16 ? 4 : 5);
        expected += code - 4;
    }
    w.put(5, 5);
    const Decoded d = decode(imageData(2, w.bytes()), 200);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), Bytes(expected, 1));
}

TEST(LzwDecode, FirstCodeAfterClearDefinesNothing)
{
    // Had the root 3 after the clear defined 6 (as "2 3"), the 6 that follows
    // would read as a known code; it is the code being defined: "3 3".
    const Bytes input =
        imageData(2, CodeWriter().put({{4, 3}, {1, 3}, {2, 3}, {4, 3}, {3, 3}, {6, 3}, {5, 3}}).bytes());
    const Decoded d = decode(input, 32);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), (Bytes{1, 2, 3, 3, 3}));
}

TEST(LzwDecode, FullTableIsReadWithTwelveBitCodesToTheEnd)
{
    TrackingCodeWriter w(8);
    Bytes expected;
    std::vector<Bytes> strings(4096); // string of each defined code
    w.put(256);
    unsigned prevRoot = 0;
    for (unsigned i = 0; w.nextFree() < 4096; ++i) {
        const unsigned root = (i * 7 + i / 256) % 256;
        if (i > 0)
            strings[w.nextFree()] = {uint8_t(prevRoot), uint8_t(root)};
        w.put(root);
        expected.push_back(uint8_t(root));
        prevRoot = root;
    }
    ASSERT_EQ(w.width(), 12u);
    // No more definitions: the table's last codes and a root, all 12 bits.
    for (unsigned code : {4095u, 300u, 17u, 258u, 4095u}) {
        w.put(code);
        if (code < 256)
            expected.push_back(uint8_t(code));
        else
            expected.insert(expected.end(), strings[code].begin(), strings[code].end());
    }
    ASSERT_EQ(w.width(), 12u);
    w.put(257);
    const Bytes input = imageData(8, w.bytes());
    const Decoded d = decode(input, expected.size() + 257);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), expected);
    EXPECT_EQ(d.result->consumed, input.size());
}

TEST(LzwDecode, WidthStaysAtTwelveBitsWhenTheTableFillsAtMinimumCodeSizeTwo)
{
    // At m = 2 the table fills after 4090 definitions; every code after that,
    // the clear code included, is 12 bits, and the clear starts over at 3.
    TrackingCodeWriter w(2);
    Bytes expected;
    w.put(4);
    for (unsigned i = 0; w.nextFree() < 4096; ++i) {
        w.put(i % 4);
        expected.push_back(uint8_t(i % 4));
    }
    w.put(3).put(4).put(2).put(6).put(5);
    expected.insert(expected.end(), {3, 2, 2, 2});
    const Decoded d = decode(imageData(2, w.bytes()), expected.size() + 257);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), expected);
    EXPECT_EQ(d.clears, std::vector<size_t>{expected.size() - 3});
}

TEST(LzwDecode, SubBlockBoundariesAnywhereGiveTheSameResult)
{
    TrackingCodeWriter w(3);
    w.put(8);
    Bytes expected;
    for (unsigned i = 0; i < 300; ++i) {
        w.put(i % 5);
        expected.push_back(uint8_t(i % 5));
    }
    w.put(9);
    for (size_t block : {1u, 2u, 3u, 7u, 254u, 255u}) {
        const Bytes input = imageData(3, w.bytes(), block);
        const Decoded d = decode(input, 400);
        EXPECT_EQ(d.result->end, LzwEnd::EndCode) << "sub-blocks of " << block;
        EXPECT_EQ(produced(d), expected) << "sub-blocks of " << block;
        EXPECT_EQ(d.result->consumed, input.size()) << "sub-blocks of " << block;
    }
}

TEST(LzwDecode, DataAfterTheEndCodeIsPassedOverUpToTheTerminator)
{
    // The end code ends in the second of five data bytes; the rest of that
    // sub-block and the next one (which look like an image descriptor and an
    // extension) are the image's, up to and including the terminator.
    const Bytes input = {0x02, 0x05, 0x44, 0x01, 0x2C, 0x21, 0xF9, 0x02, 0x2C, 0x21, 0x00, 0x3B};
    const Decoded d = decode(input, 8);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(d.result->consumed, 11u);

    // Eight 3-bit codes end exactly on the third byte; the end code's last
    // byte is the last of a sub-block, so the next length byte is taken.
    CodeWriter w;
    for (int i = 0; i < 7; ++i)
        w.put(4, 3);
    w.put(5, 3);
    ASSERT_EQ(w.bytes().size(), 3u);
    const Bytes exact = imageData(2, w.bytes(), 3);
    const Decoded e = decode(exact, 8);
    EXPECT_EQ(e.result->end, LzwEnd::EndCode);
    EXPECT_EQ(e.result->consumed, exact.size());
    EXPECT_EQ(e.result->produced, 0u);

    // Input that ends right after the end code: nothing is left to consume.
    Bytes cut = exact;
    cut.pop_back();
    EXPECT_EQ(decode(cut, 8).result->end, LzwEnd::EndCode);
    EXPECT_EQ(decode(cut, 8).result->consumed, cut.size());
}

// 1 2 3 in 3 bits, then 0 1 2 in 4 bits: exactly three bytes, no end code.
Bytes threeBytesWithoutEndCode()
{
    return CodeWriter().put({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}, {1, 4}, {2, 4}}).bytes();
}

TEST(LzwDecode, ZeroLengthSubBlockBeforeTheEndCodeEndsTheStream)
{
    Bytes input = imageData(2, threeBytesWithoutEndCode());
    ASSERT_EQ(input.size(), 6u);
    input.push_back(0x3B);
    const Decoded d = decode(input, 16);
    EXPECT_EQ(d.result->end, LzwEnd::MissingEnd);
    EXPECT_EQ(produced(d), (Bytes{1, 2, 3, 0, 1, 2})) << "bytes decoded before it stay";
    EXPECT_EQ(d.result->consumed, 6u);
}

TEST(LzwDecode, InputEndingInsideTheStreamIsTruncated)
{
    Bytes input = imageData(2, threeBytesWithoutEndCode(), 255, false);
    input.pop_back(); // the length byte says 3, two follow
    const Decoded d = decode(input, 16);
    EXPECT_EQ(d.result->end, LzwEnd::Truncated);
    EXPECT_EQ(produced(d), (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(d.result->consumed, input.size());

    EXPECT_EQ(decode({}, 4).result->end, LzwEnd::Truncated);
    EXPECT_EQ(decode({}, 4).result->consumed, 0u);
    EXPECT_EQ(decode({0x02}, 4).result->end, LzwEnd::Truncated);
    EXPECT_EQ(decode({0x02, 0x03, 0x44}, 4).result->end, LzwEnd::Truncated);
}

TEST(LzwDecode, MinimumCodeSizeAboveEightIsRejected)
{
    const Decoded d = decode({0x09, 0x02, 0x00, 0x04, 0x00}, 8);
    EXPECT_EQ(d.result.error(), "LZW minimum code size 9 above 8");
    EXPECT_EQ(d.out, Bytes(8, kSentinel));
    EXPECT_FALSE(decode({0xFF, 0x00}, 8).result.ok());

    // 8 is the largest accepted: clear 256, 255, end 257 in 9 bits.
    const Decoded ok = decode(imageData(8, CodeWriter().put({{256, 9}, {255, 9}, {257, 9}}).bytes()), 8);
    EXPECT_EQ(ok.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(ok), Bytes{255});
}

TEST(LzwDecode, OutputBeyondTheArrayIsDiscarded)
{
    // Decodes to 1 2 1 2 1 2 1 through a root, known codes and a code being
    // defined; every array size cuts it at another place.
    const Bytes input = imageData(2, CodeWriter().put({{4, 3}, {1, 3}, {2, 3}, {6, 3}, {8, 4}, {5, 4}}).bytes());
    const Bytes full = {1, 2, 1, 2, 1, 2, 1};
    for (size_t size = 0; size <= 8; ++size) {
        Bytes buffer(size + 8, kSentinel);
        const Result<LzwDecoded> r = LZWDecode(input, std::span(buffer).first(size));
        EXPECT_EQ(r->end, LzwEnd::EndCode) << "array of " << size;
        EXPECT_EQ(r->consumed, input.size()) << "array of " << size;
        const size_t n = std::min(size, full.size());
        EXPECT_EQ(r->produced, n) << "array of " << size;
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + long(n)), Bytes(full.begin(), full.begin() + long(n)));
        EXPECT_EQ(Bytes(buffer.begin() + long(n), buffer.end()), Bytes(buffer.size() - n, kSentinel))
            << "nothing written past the decoded bytes, array of " << size;
    }
}

TEST(LzwDecode, OnClearReportsTheBytesProducedAtMidStreamClears)
{
    // Clears after 0 bytes and after a single byte are not reported.
    const Bytes input = imageData(2, CodeWriter()
                                         .put({{4, 3}, {1, 3}, {2, 3}, {4, 3}, {3, 3}, {4, 3}})
                                         .put({{0, 3}, {0, 3}, {4, 3}, {4, 3}, {2, 3}, {5, 3}})
                                         .bytes());
    const Decoded d = decode(input, 16);
    EXPECT_EQ(d.result->end, LzwEnd::EndCode);
    EXPECT_EQ(produced(d), (Bytes{1, 2, 3, 0, 0, 2}));
    EXPECT_EQ(d.clears, (std::vector<size_t>{2, 5}));

    // The count handed over never exceeds the array.
    Bytes small(3, kSentinel);
    std::vector<size_t> clears;
    EXPECT_TRUE(LZWDecode(input, small, [&](size_t n) { clears.push_back(n); }).ok());
    EXPECT_EQ(clears, (std::vector<size_t>{2, 3}));
}

TEST(LzwDecode, AtEachClearTheArrayHoldsTheDecodedBytesAndNothingElse)
{
    // Noise at code size 8 fills the table every few thousand pixels. When
    // the caller looks at the array during the clear, the bytes after the
    // ones produced are still its own.
    Bytes pixels(40000);
    uint32_t state = 5;
    for (auto &p : pixels)
        p = uint8_t((state = state * 1103515245u + 12345u) >> 16);
    Bytes input{8};
    ASSERT_TRUE(LZWEncode(pixels, 8, input));
    input.push_back(0);
    Bytes out(pixels.size() + 257, kSentinel);
    int calls = 0;
    const Result<LzwDecoded> r = LZWDecode(input, out, [&](size_t n) {
        ++calls;
        ASSERT_LE(n + 32, out.size());
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.begin() + long(n), out.begin())) << "at " << n;
        EXPECT_EQ(Bytes(out.begin() + long(n), out.begin() + long(n) + 32), Bytes(32, kSentinel)) << "at " << n;
    });
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->produced, pixels.size());
    EXPECT_GE(calls, 5);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), out.begin()));
    EXPECT_EQ(Bytes(out.begin() + long(pixels.size()), out.end()), Bytes(257, kSentinel));
}

TEST(LzwDecode, DecodingAnotherStreamFromOnClearLeavesThisOneIntact)
{
    // The other stream is the longer one, so it would overwrite what this
    // one has still to read if they shared a buffer.
    Bytes pixels(30000), other(100000);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i * 7 + i / 13);
    uint32_t state = 1;
    for (auto &p : other)
        p = uint8_t((state = state * 1103515245u + 12345u) >> 16);
    Bytes input{8}, otherInput{8};
    ASSERT_TRUE(LZWEncode(pixels, 8, input));
    ASSERT_TRUE(LZWEncode(other, 8, otherInput));
    input.push_back(0);
    otherInput.push_back(0);
    Bytes out(pixels.size() + 257), otherOut(other.size() + 257);
    int nested = 0;
    const Result<LzwDecoded> r = LZWDecode(input, out, [&](size_t) {
        const Result<LzwDecoded> inner = LZWDecode(otherInput, otherOut);
        EXPECT_EQ(inner->end, LzwEnd::EndCode);
        EXPECT_TRUE(std::equal(other.begin(), other.end(), otherOut.begin()));
        ++nested;
    });
    EXPECT_GT(nested, 0);
    EXPECT_EQ(r->end, LzwEnd::EndCode);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), out.begin()));
}

TEST(LzwDecode, CodeNamingNoStringEndsTheImageAndSkipsToTheTerminator)
{
    struct Case {
        const char *what;
        unsigned m;
        std::vector<std::pair<unsigned, unsigned>> codes; // code, width
        Bytes decoded;
    };
    // Each stream goes on with codes after the damage, in sub-blocks of
    // one and of 255 bytes; none of them may be decoded, and the file
    // position must land on the byte after the image's terminator.
    const std::vector<Case> cases = {
        {"beyond the next free code", 2, {{4, 3}, {1, 3}, {7, 3}, {1, 3}, {5, 3}}, {1}},
        {"beyond it at 4 bits", 3, {{8, 4}, {1, 4}, {12, 4}, {2, 4}, {9, 4}}, {1}},
        {"non-root straight after a clear", 2, {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {6, 3}, {1, 3}, {5, 3}}, {1, 2}},
        {"non-root as the first code", 2, {{6, 3}, {1, 3}, {5, 3}}, {}},
    };
    for (const Case &c : cases) {
        for (size_t blockSize : {size_t(1), size_t(255)}) {
            CodeWriter w;
            for (const auto &[code, width] : c.codes)
                w.put(code, width);
            Bytes input = imageData(c.m, w.bytes(), blockSize);
            const size_t imageEnd = input.size();
            input.insert(input.end(), {0x2C, 0x3B});
            const Decoded d = decode(input, 32);
            EXPECT_EQ(d.result->end, LzwEnd::BadCode) << c.what;
            EXPECT_EQ(produced(d), c.decoded) << c.what;
            EXPECT_EQ(d.result->consumed, imageEnd) << c.what << ", sub-blocks of " << blockSize;
        }
    }
}

// ---- Encoder: exact bytes ----------------------------------------------

// Sub-block framing without the minimum code size byte or the terminator,
// as the encoder appends it.
Bytes subBlocks(const Bytes &codeBytes)
{
    Bytes v = imageData(0, codeBytes, 255, false);
    v.erase(v.begin());
    return v;
}

Bytes encode(const Bytes &pixels, int m)
{
    Bytes out;
    EXPECT_TRUE(LZWEncode(pixels, m, out)) << pixels.size() << " pixels at code size " << m;
    return out;
}

// Pixels whose neighbouring pairs are all different (up to 32768 pixels):
// block q of 256 steps through the multiples of the odd number 2q + 1, so
// the encoder never finds a string longer than one pixel.
Bytes distinctPairs(size_t n)
{
    Bytes v(n);
    for (size_t j = 0; j < n; ++j)
        v[j] = uint8_t((j % 256) * (2 * (j / 256) + 1));
    return v;
}

// Width of the code emitted while the next free code is nextFree (m = 8).
unsigned widthAt(unsigned nextFree)
{
    unsigned w = 9;
    while ((1u << w) < nextFree)
        ++w;
    return w;
}

TEST(LzwEncode, SinglePixelZeroAtCodeSizeTwo)
{
    // clear 4, 0, end 5, three bits each.
    EXPECT_EQ(encode({0}, 2), (Bytes{0x02, 0x44, 0x01}));
}

TEST(LzwEncode, EmptyInputAppendsNothing)
{
    Bytes out = {7, 8, 9};
    EXPECT_FALSE(LZWEncode({}, 2, out));
    EXPECT_EQ(out, (Bytes{7, 8, 9}));
}

TEST(LzwEncode, RejectsPixelsTheCodeSizeCannotHoldAndBadCodeSizes)
{
    // A pixel 4 at code size 2 would be the clear code.
    Bytes out = {1};
    EXPECT_FALSE(LZWEncode(Bytes{0, 1, 4, 2}, 2, out));
    EXPECT_FALSE(LZWEncode(Bytes{0}, 1, out));
    EXPECT_FALSE(LZWEncode(Bytes{0}, 9, out));
    EXPECT_EQ(out, Bytes{1});
    EXPECT_TRUE(LZWEncode(Bytes{0, 255}, 8, out));
    EXPECT_TRUE(LZWEncode(Bytes{0, 127}, 7, out));
}

TEST(LzwEncode, DataOfExactlyOneSubBlockHasNoEmptyBlockAfterIt)
{
    // 224 pixels without repeated pairs: clear, 224 roots and the end code,
    // 226 codes of 9 bits = 2034 bits = 255 bytes.
    const Bytes out = encode(distinctPairs(224), 8);
    ASSERT_EQ(out.size(), 256u);
    EXPECT_EQ(out[0], 255);
}

TEST(LzwEncode, DataOfOneByteMoreStartsASecondSubBlock)
{
    // One pixel more: 227 codes, 2043 bits, 256 bytes.
    const Bytes out = encode(distinctPairs(225), 8);
    ASSERT_EQ(out.size(), 258u);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[256], 1);
}

TEST(LzwEncode, WidthGrowsToTenBitsOnceCode512IsDefined)
{
    // 256 different pixels: each step emits a root and defines a code; the
    // 255th defines 512, so the last root and the end code are 10 bits.
    Bytes pixels(256);
    for (int i = 0; i < 256; ++i)
        pixels[size_t(i)] = uint8_t(i);
    CodeWriter w;
    w.put(256, 9);
    for (unsigned i = 0; i < 255; ++i)
        w.put(i, 9);
    w.put(255, 10).put(257, 10);
    EXPECT_EQ(encode(pixels, 8), subBlocks(w.bytes()));

    // One pixel fewer: the 254th root is still 9 bits, but the end code's own
    // definition takes 512 and the end code goes out 10 bits wide.
    pixels.pop_back();
    CodeWriter v;
    v.put(256, 9);
    for (unsigned i = 0; i < 255; ++i)
        v.put(i, 9);
    v.put(257, 10);
    EXPECT_EQ(encode(pixels, 8), subBlocks(v.bytes()));
}

TEST(LzwEncode, EndCodeTakesTheWidthItsOwnDefinitionLeaves)
{
    // Eleven pixels with ten different neighbouring pairs at code size 2: the
    // steps define 6..15, the last root goes out at 4 bits with next free 16,
    // and the end code's definition makes it 17, so the end code is 5 bits:
    // 49 bits, the 49th spilling into a seventh byte.
    const Bytes pixels = {0, 0, 1, 0, 2, 0, 3, 1, 1, 2, 1};
    CodeWriter w;
    w.put({{4, 3}, {0, 3}, {0, 3}, {1, 3}});
    for (size_t i = 3; i < pixels.size(); ++i)
        w.put(pixels[i], 4);
    w.put(5, 5);
    ASSERT_EQ(w.bytes().size(), 7u);
    EXPECT_EQ(encode(pixels, 2), subBlocks(w.bytes()));
}

TEST(LzwEncode, ClearCodeFollowsTheCodeThatDefines4092)
{
    // Every step emits a root and defines a code: the step emitting pixel
    // 3834 defines 4092, a 12-bit clear code follows at once, and the table
    // starts over with 9-bit codes.
    const Bytes pixels = distinctPairs(3835 + 600);
    CodeWriter w;
    w.put(256, 9);
    for (unsigned j = 0; j < 3835; ++j)
        w.put(pixels[j], widthAt(258 + j));
    w.put(256, 12);
    for (unsigned j = 0; j < 599; ++j)
        w.put(pixels[3835 + j], widthAt(258 + j));
    w.put(pixels.back(), widthAt(258 + 599)).put(257, widthAt(258 + 600));
    EXPECT_EQ(encode(pixels, 8), subBlocks(w.bytes()));
}

TEST(LzwEncode, EndCodeThatFillsTheTableComesAfterAClearCode)
{
    // 3835 pixels: the last root's step leaves the next free code at 4092,
    // the end code's own definition takes it, so a clear code comes first
    // and the end code is 9 bits.
    const Bytes pixels = distinctPairs(3835);
    CodeWriter w;
    w.put(256, 9);
    for (unsigned j = 0; j < 3835; ++j)
        w.put(pixels[j], widthAt(258 + j));
    w.put(256, 12).put(257, 9);
    EXPECT_EQ(encode(pixels, 8), subBlocks(w.bytes()));
}

TEST(LzwEncode, RunOfOnePixelUsesEachNewCodeAtOnce)
{
    // 0, then "0 0" (6), "0 0 0" (7), "0 0 0 0" (8): 1 + 2 + 3 + 4 pixels.
    // The step that emits 7 defines 8, so the codes after it are 4 bits.
    const Bytes out = encode(Bytes(10, 0), 2);
    EXPECT_EQ(out, subBlocks(CodeWriter().put({{4, 3}, {0, 3}, {6, 3}, {7, 3}, {8, 4}, {5, 4}}).bytes()));
}

// ---- Round trips -------------------------------------------------------

struct Pattern {
    const char *name;
    Bytes (*make)(size_t n, unsigned colors, uint32_t seed);
};

uint32_t nextRandom(uint32_t &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

const Pattern kPatterns[] = {
    {"noise",
     [](size_t n, unsigned colors, uint32_t seed) {
         Bytes v(n);
         for (auto &b : v)
             b = uint8_t(nextRandom(seed) % colors);
         return v;
     }},
    {"runs",
     [](size_t n, unsigned colors, uint32_t seed) {
         Bytes v;
         while (v.size() < n) {
             const size_t len = 1 + nextRandom(seed) % 300;
             v.insert(v.end(), std::min(len, n - v.size()), uint8_t(nextRandom(seed) % colors));
         }
         return v;
     }},
    {"gradient",
     [](size_t n, unsigned colors, uint32_t) {
         Bytes v(n);
         for (size_t i = 0; i < n; ++i)
             v[i] = uint8_t((i / 7 + (i % 640) / 3) % colors);
         return v;
     }},
    {"repeated tile",
     [](size_t n, unsigned colors, uint32_t seed) {
         Bytes tile(37);
         for (auto &b : tile)
             b = uint8_t(nextRandom(seed) % colors);
         Bytes v(n);
         for (size_t i = 0; i < n; ++i)
             v[i] = tile[i % tile.size()];
         return v;
     }},
};

// Also with the clear deferred: the table fills up to 4095 and is kept to
// the end, so no clear code follows the first.
TEST(LzwRoundTrip, DecodeOfEncodeGivesThePixelsBackAtEveryCodeSize)
{
    for (bool defer : {false, true}) {
        for (int m = 2; m <= 8; ++m) {
            for (const Pattern &pattern : kPatterns) {
                for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(255), size_t(4100), size_t(70000)}) {
                    const Bytes pixels = pattern.make(n, 1u << m, uint32_t(n * 31 + unsigned(m)));
                    Bytes data{uint8_t(m)};
                    ASSERT_TRUE(LZWEncode(pixels, m, data, {.deferClear = defer}));
                    data.push_back(0);
                    const Decoded d = decode(data, n + 257);
                    const std::string what = std::string(pattern.name) + ", " + std::to_string(n) +
                                             " pixels, code size " + std::to_string(m) + (defer ? ", deferred" : "");
                    EXPECT_EQ(d.result->end, LzwEnd::EndCode) << what;
                    EXPECT_EQ(d.result->consumed, data.size()) << what;
                    EXPECT_TRUE(produced(d) == pixels) << what;
                    EXPECT_TRUE(d.clears.empty() || (!defer && d.clears.back() < n)) << what;
                }
            }
        }
    }
}

TEST(LzwRoundTrip, EncodeAppendsToWhatTheOutputHolds)
{
    Bytes out = {0x2C, 0x02};
    ASSERT_TRUE(LZWEncode(Bytes{0}, 2, out));
    EXPECT_EQ(out, (Bytes{0x2C, 0x02, 0x02, 0x44, 0x01}));
    // A second image's data after the first one's: the same bytes again.
    ASSERT_TRUE(LZWEncode(Bytes{0}, 2, out));
    EXPECT_EQ(out, (Bytes{0x2C, 0x02, 0x02, 0x44, 0x01, 0x02, 0x44, 0x01}));
}

// ---- Decoder: Wuffs' stand-alone LZW streams ---------------------------

TEST(LzwDecodeNeedsShared, WuffsStandAloneStreamsDecodeToTheirFiles)
{
    const std::string dir = std::string(VELMAR_SHARED_DIR) + "/gif-conformance/wuffs/";
    if (!std::ifstream(dir + "pi.txt"))
        GTEST_SKIP() << "needs ../shared: the Wuffs streams are not at " << dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"pi.txt.giflzw", "pi.txt"},
        {"bricks-dither.indexes.giflzw", "bricks-dither.indexes"},
        {"bricks-gray.indexes.giflzw", "bricks-gray.indexes"},
        {"bricks-nodither.indexes.giflzw", "bricks-nodither.indexes"},
    };
    for (const auto &[lzwName, expectedName] : cases) {
        const Bytes raw = readFile(dir + lzwName);
        const Bytes expected = readFile(dir + expectedName);
        ASSERT_FALSE(raw.empty() || expected.empty()) << lzwName << " or " << expectedName << " missing in " << dir;
        // First byte: the literal width; the rest: the code stream without
        // sub-block framing.
        const Bytes input = imageData(raw[0], Bytes(raw.begin() + 1, raw.end()));
        const Decoded d = decode(input, expected.size() + 257);
        EXPECT_EQ(d.result->end, LzwEnd::EndCode) << lzwName;
        EXPECT_EQ(d.result->consumed, input.size()) << lzwName;
        EXPECT_TRUE(produced(d) == expected)
            << lzwName << ": " << d.result->produced << " bytes, expected " << expected.size();
    }
}

} // namespace
