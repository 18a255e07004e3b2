#include "gif/gifformat.h"
#include "gif/gifwrite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace velmar;

namespace
{

TEST(InterlacedRows, HeightTenStoresRowsInFourPasses)
{
    // Pass 1: 0, 8; pass 2: 4; pass 3: 2, 6; pass 4: 1, 3, 5, 7, 9.
    const std::vector<int> expected = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(interlacedRow(k, 10), expected[size_t(k)]) << "stored row " << k;
}

TEST(InterlacedRows, EveryHeightMapsStoredRowsOntoEachImageRowOnce)
{
    for (int h = 1; h <= 70; ++h) {
        std::vector<int> seen(size_t(h), 0);
        for (int k = 0; k < h; ++k) {
            const int r = interlacedRow(k, h);
            ASSERT_GE(r, 0) << "h=" << h << " k=" << k;
            ASSERT_LT(r, h) << "h=" << h << " k=" << k;
            ++seen[size_t(r)];
        }
        EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; })) << "height " << h;
    }
}

TEST(InterlacedRows, HeightOneAndTwoKeepFileOrder)
{
    EXPECT_EQ(interlacedRow(0, 1), 0);
    EXPECT_EQ(interlacedRow(0, 2), 0);
    EXPECT_EQ(interlacedRow(1, 2), 1);
}

TEST(ColorCounts, SizeFieldsAndMinimumCodeSizes)
{
    const int counts[] = {2, 4, 8, 16, 32, 64, 128, 256};
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(colorCountFromField(n), counts[n]);
        EXPECT_EQ(colorSizeField(counts[n]), n);
        EXPECT_EQ(minCodeSizeFor(counts[n]), std::max(2, n + 1)) << counts[n] << " colours";
    }
}

TEST(ColorCounts, PowerOfTwoCountRoundsUpWithinTwoTo256)
{
    EXPECT_EQ(powerOfTwoCount(0), 2);
    EXPECT_EQ(powerOfTwoCount(1), 2);
    EXPECT_EQ(powerOfTwoCount(2), 2);
    EXPECT_EQ(powerOfTwoCount(3), 4);
    EXPECT_EQ(powerOfTwoCount(5), 8);
    EXPECT_EQ(powerOfTwoCount(129), 256);
    EXPECT_EQ(powerOfTwoCount(256), 256);
}

// Comment code page: valid UTF-8 reads as UTF-8, anything else as CP932;
// writing prefers CP932.
TEST(CommentCodePage, ReadsCp932BytesThatAreNotUtf8)
{
    // "日本" in CP932.
    EXPECT_EQ(decodeComment(QByteArray("\x93\xfa\x96\x7b")), QStringLiteral("日本"));
}

TEST(CommentCodePage, ReadsValidUtf8AsUtf8)
{
    EXPECT_EQ(decodeComment(QStringLiteral("日本 é").toUtf8()), QStringLiteral("日本 é"));
    EXPECT_EQ(decodeComment(QByteArray("plain")), QStringLiteral("plain"));
}

TEST(CommentCodePage, WritesCp932WhenEveryCharacterHasAForm)
{
    EXPECT_EQ(encodeComment(QStringLiteral("日本")), QByteArray("\x93\xfa\x96\x7b"));
    EXPECT_EQ(encodeComment(QStringLiteral("abc")), QByteArray("abc"));
}

TEST(CommentCodePage, WritesUtf8WhenSomeCharacterHasNoCp932Form)
{
    const QString text = QStringLiteral("日本 é 😀");
    EXPECT_EQ(encodeComment(text), text.toUtf8());
    EXPECT_EQ(decodeComment(encodeComment(text)), text);
}

TEST(CommentCodePage, HalfWidthKatakanaThatWouldReadAsUtf8GoesOutAsUtf8)
{
    // "ﾃｽ" is C3 BD in CP932, which is also the UTF-8 form of "ý".
    const QString text = QStringLiteral("ﾃｽ");
    EXPECT_EQ(decodeComment(encodeComment(text)), text);
    EXPECT_EQ(encodeComment(QStringLiteral("ﾃｽﾄ")), QByteArray("\xc3\xbd\xc4")) << "C4 alone is not UTF-8";
}

} // namespace

// An image the encoder cannot code must stop the write with a message naming
// it, not leave a file with an empty or corrupt image in it.
TEST(EncodeGifFile, RefusesImagesItCannotCode)
{
    const struct {
        const char *what;
        int minCodeSize;
        std::vector<uint8_t> indices;
    } cases[] = {
        {"index above the code size", 2, {0, 9}},
        {"no pixels", 2, {}},
    };
    for (const auto &c : cases) {
        velmar::GifFile gif;
        gif.screenWidth = gif.screenHeight = 2;
        gif.globalTable.resize(4);
        gif.images.resize(2);
        for (velmar::GifImage &img : gif.images) {
            img.width = 2;
            img.height = 1;
            img.indices = {0, 1};
        }
        gif.images[1].minCodeSize = c.minCodeSize;
        gif.images[1].indices = c.indices;
        const velmar::Result<QByteArray> bytes = velmar::encodeGifFile(gif);
        ASSERT_FALSE(bytes.ok()) << c.what;
        EXPECT_TRUE(bytes.error().startsWith(QStringLiteral("image 1:"))) << bytes.error().toStdString();
    }
}
