// The codec against giflib, a decoder and encoder none of us wrote: giflib
// must read our code streams back to the pixels, and our decoder must read
// giflib's. giflib is linked into the tests only.
#include "gif/lzw.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace velmar;

namespace
{

using Bytes = std::vector<uint8_t>;

struct Reader {
    const Bytes *file;
    size_t pos = 0;
};

int readMemory(GifFileType *gif, GifByteType *buffer, int n)
{
    auto *r = static_cast<Reader *>(gif->UserData);
    const size_t k = std::min(size_t(n), r->file->size() - r->pos);
    std::memcpy(buffer, r->file->data() + r->pos, k);
    r->pos += k;
    return int(k);
}

int writeMemory(GifFileType *gif, const GifByteType *data, int n)
{
    static_cast<Bytes *>(gif->UserData)->insert(static_cast<Bytes *>(gif->UserData)->end(), data, data + n);
    return n;
}

// One image of width x 1 pixels, 2^m grey colours, data from our encoder.
Bytes ourGif(const Bytes &pixels, int m)
{
    const size_t w = pixels.size();
    Bytes f = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), 1, 0, uint8_t(0xF0 | (m - 1)), 0, 0};
    for (int i = 0; i < (1 << m); ++i)
        f.insert(f.end(), 3, uint8_t(i));
    f.insert(f.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), 1, 0, 0, uint8_t(m)});
    EXPECT_TRUE(LZWEncode(pixels, m, f));
    f.push_back(0x00);
    f.push_back(0x3B);
    return f;
}

Bytes giflibDecode(const Bytes &file)
{
    Reader r{&file};
    int error = 0;
    GifFileType *gif = DGifOpen(&r, readMemory, &error);
    if (!gif)
        return {};
    Bytes pixels;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1) {
        const SavedImage &image = gif->SavedImages[0];
        pixels.assign(image.RasterBits, image.RasterBits + size_t(image.ImageDesc.Width) * image.ImageDesc.Height);
    }
    DGifCloseFile(gif, &error);
    return pixels;
}

// giflib's file for the same image; returns the offset of its image data
// (the minimum code size byte) through dataAt.
Bytes giflibGif(const Bytes &pixels, int m, size_t &dataAt)
{
    Bytes out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, writeMemory, &error);
    std::vector<GifColorType> colors(size_t(1) << m);
    for (size_t i = 0; i < colors.size(); ++i)
        colors[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    ColorMapObject *map = GifMakeMapObject(int(colors.size()), colors.data());
    const int w = int(pixels.size());
    EXPECT_EQ(EGifPutScreenDesc(gif, w, 1, m, 0, map), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, w, 1, false, nullptr), GIF_OK);
    EXPECT_EQ(EGifPutLine(gif, const_cast<GifPixelType *>(pixels.data()), w), GIF_OK);
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
    // Header and screen, the global table, the image descriptor.
    dataAt = 13 + 3 * (size_t(1) << m) + 10;
    return out;
}

Bytes testPixels(size_t n, int m, uint32_t seed, bool runs)
{
    Bytes v(n);
    uint32_t state = seed;
    for (size_t i = 0; i < n;) {
        state = state * 1664525u + 1013904223u;
        const size_t len = runs ? 1 + (state >> 20) % 200 : 1;
        const uint8_t value = uint8_t((state >> 8) % (1u << m));
        for (size_t k = 0; k < len && i < n; ++k)
            v[i++] = value;
    }
    return v;
}

TEST(LzwAgainstGiflib, GiflibReadsOurStreamsAtEveryCodeSize)
{
    for (int m = 2; m <= 8; ++m) {
        for (bool runs : {false, true}) {
            for (size_t n : {size_t(1), size_t(2), size_t(300), size_t(65535)}) {
                const Bytes pixels = testPixels(n, m, uint32_t(n + unsigned(m)), runs);
                EXPECT_TRUE(giflibDecode(ourGif(pixels, m)) == pixels)
                    << n << " pixels, code size " << m << (runs ? ", runs" : ", noise");
            }
        }
    }
}

TEST(LzwAgainstGiflib, WeReadGiflibsStreamsAtEveryCodeSize)
{
    for (int m = 2; m <= 8; ++m) {
        for (bool runs : {false, true}) {
            for (size_t n : {size_t(1), size_t(2), size_t(300), size_t(65535)}) {
                const Bytes pixels = testPixels(n, m, uint32_t(n * 3 + unsigned(m)), runs);
                size_t at = 0;
                const Bytes file = giflibGif(pixels, m, at);
                ASSERT_LT(at, file.size());
                ASSERT_EQ(file[at], m);
                Bytes out(n + 257);
                const Result<LzwDecoded> r = LZWDecode(std::span(file).subspan(at), out);
                const std::string what =
                    std::to_string(n) + " pixels, code size " + std::to_string(m) + (runs ? ", runs" : ", noise");
                EXPECT_EQ(r->end, LzwEnd::EndCode) << what;
                EXPECT_EQ(r->produced, n) << what;
                EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), out.begin())) << what;
                // Everything up to the trailer is the image's.
                EXPECT_EQ(at + r->consumed, file.size() - 1) << what;
            }
        }
    }
}

} // namespace
