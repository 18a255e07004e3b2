#include "gif/gifread.h"
#include "support/gifbytes.h"

#include <gtest/gtest.h>

using namespace velmar;
using velmar::test::GifBytes;
using velmar::test::literalStream;

namespace
{

using Bytes = std::vector<uint8_t>;

Result<GifFile> read(const GifBytes &gif, std::vector<GifWarning> *warnings = nullptr)
{
    return readGifFile(std::span<const uint8_t>(gif.bytes()), {}, warnings);
}

// Two images described entirely by the file, read without any document.
TEST(GifRead, GivesImagesPositionsControlValuesCommentAndLoop)
{
    const Bytes first = {0, 1, 2, 3, 3, 2};        // 3 x 2
    const Bytes second = {1, 1, 0, 0, 1, 1, 0, 0}; // 2 x 4, rows stored 0 2 1 3
    GifBytes gif;
    gif.header(40, 30, true, 1)
        .u8({0x21, 0xFF, 0x0B})
        .text("NETSCAPE2.0")
        .u8({0x03, 0x01})
        .u16(65535) // stored as it is: the caller decides what it means
        .u8({0x00})
        .u8({0x21, 0xFE})
        .subBlocks("two sub-", 4)
        .control(2, true, 7, 3)
        .image(5, 6, 3, 2, false)
        .data(2, literalStream(first, 2))
        .control(2, false, 300, 4)
        .image(0, 1, 2, 4, true, 0)
        .data(2, literalStream({1, 1, 1, 1, 0, 0, 0, 0}, 2))
        .trailer();
    std::vector<GifWarning> warnings;
    const Result<GifFile> file = read(gif, &warnings);
    ASSERT_TRUE(file.ok()) << file.error().toStdString();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(file->screenWidth, 40);
    EXPECT_EQ(file->screenHeight, 30);
    ASSERT_EQ(file->globalTable.size(), 4u);
    EXPECT_EQ(file->globalTable[3], (Rgb{3, 6, 9}));
    EXPECT_TRUE(file->hasLoop);
    EXPECT_EQ(file->loopCount, 65535);
    EXPECT_EQ(file->comment, QByteArray("two sub-"));
    ASSERT_EQ(file->images.size(), 2u);

    const GifImage &a = file->images[0];
    EXPECT_EQ((std::vector<int>{a.left, a.top, a.width, a.height}), (std::vector<int>{5, 6, 3, 2}));
    EXPECT_EQ(a.indices, first);
    EXPECT_TRUE(a.localTable.empty());
    EXPECT_TRUE(a.hasControl);
    EXPECT_EQ(
        (std::vector<int>{a.control.disposal, a.control.transparent, a.control.delay, a.control.transparentIndex}),
        (std::vector<int>{2, 1, 7, 3}));

    const GifImage &b = file->images[1];
    EXPECT_EQ((std::vector<int>{b.left, b.top, b.width, b.height}), (std::vector<int>{0, 1, 2, 4}));
    EXPECT_TRUE(b.interlaced);
    EXPECT_EQ(b.indices, second) << "rows in their places";
    ASSERT_EQ(b.localTable.size(), 2u);
    EXPECT_EQ(b.localTable[1], (Rgb{254, 1, 7}));
    EXPECT_EQ(
        (std::vector<int>{b.control.disposal, b.control.transparent, b.control.delay, b.control.transparentIndex}),
        (std::vector<int>{2, 0, 300, 4}));
}

// Bytes after an image's end code, in the same sub-block and the next, are
// that image's: a 0x2C there does not start an image of its own.
TEST(GifRead, DataAfterTheEndCodeStartsNoImage)
{
    Bytes stream = literalStream({1, 2, 3, 0}, 2);
    // filler, then what would be a 1 x 1 image: descriptor, code size, data
    GifBytes phantom;
    phantom.u8({0xFF}).image(0, 0, 1, 1, false).u8({0x02, 0x02, 0x4C, 0x01, 0x00});
    GifBytes gif;
    gif.header(2, 2, true, 1).image(0, 0, 2, 2, false).u8({0x02, int(stream.size() + phantom.bytes().size())});
    gif.append(stream).append(phantom.bytes()).u8({0x0A}).image(0, 0, 1, 1, false).u8({0x00});
    gif.image(0, 0, 1, 1, false).data(2, literalStream({2}, 2)).trailer();
    std::vector<GifWarning> warnings;
    const Result<GifFile> file = read(gif, &warnings);
    ASSERT_TRUE(file.ok()) << file.error().toStdString();
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(file->images.size(), 2u);
    EXPECT_EQ(file->images[0].indices, (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(file->images[1].indices, Bytes{2});
}

} // namespace
