#include "document/document.h"
#include "document/gifio.h"
#include "gif/lzw.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace velmar;
using namespace velmar::test;

namespace
{

std::vector<uint8_t> bytesOf(const QByteArray &a)
{
    return std::vector<uint8_t>(a.begin(), a.end());
}

std::vector<uint8_t> saved(Document &doc, const QString &name)
{
    const QString path = tempPath(name);
    const Result<void> r = SaveGif(doc, path);
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
    return bytesOf(readFileBytes(path));
}

std::vector<uint8_t> encoded(const std::vector<uint8_t> &pixels, int m)
{
    std::vector<uint8_t> out;
    EXPECT_TRUE(LZWEncode(pixels, m, out));
    return out;
}

std::vector<uint8_t> pattern(int n, int modulo)
{
    std::vector<uint8_t> p(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        p[size_t(i)] = uint8_t((i * 7 + i / 5) % modulo);
    return p;
}

void setRow(Document &doc, int frame, int interlace, int transparent, int transIndex, int delay, int disposal)
{
    const int row = frame + 1;
    doc.setCell(row, 5, QString::number(interlace));
    doc.setCell(row, 6, QString::number(transparent));
    doc.setCell(row, 7, QString::number(transIndex));
    doc.setCell(row, 8, QString::number(delay));
    doc.setCell(row, 9, QString::number(disposal));
}

// Where frame 0's control block starts in a file of a document that does
// not loop, written with a global table of globalCount entries.
size_t screenEnd(int globalCount)
{
    return 13 + size_t(globalCount) * 3;
}

TEST(SaveGifLayout, OneFrameOf256ColoursIsByteExact)
{
    Document doc;
    const ColorTable colors = rampPalette(3);
    const std::vector<uint8_t> pixels = pattern(5 * 3, 256);
    addFrame(doc, 5, 3, pixels, 256, colors);
    setRow(doc, 0, 0, 0, 0, 10, 2);
    doc.setGblLoopBlock(true);

    GifBytes expected;
    expected.text("GIF89a").u16(5).u16(3).u8({0xF7, 0x00, 0x00});
    for (int k = 0; k < 256; ++k)
        expected.u8({colors[size_t(k)].r, colors[size_t(k)].g, colors[size_t(k)].b});
    expected.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01, 0x00, 0x00, 0x00});
    expected.u8({0x21, 0xF9, 0x04, 0x08, 0x0A, 0x00, 0x00, 0x00});
    expected.u8({0x2C, 0x00, 0x00, 0x00, 0x00}).u16(5).u16(3).u8({0x00});
    expected.u8({0x08}).append(encoded(pixels, 8)).u8({0x00, 0x3B});

    EXPECT_EQ(saved(doc, "one256.gif"), expected.bytes());
}

TEST(SaveGifLayout, DelayOf40000ReadsAsMinus25536AndIsWrittenBackAs409C)
{
    const QByteArray file = GifBytes()
                                .header(1, 1, true, 0)
                                .control(0, false, 40000, 0)
                                .image(0, 0, 1, 1, false)
                                .data(2, literalStream({0}, 2))
                                .trailer()
                                .toByteArray();
    Document doc;
    ASSERT_TRUE(OpenGif(doc, writeTempFile("delay.gif", file)).ok());
    EXPECT_EQ(doc.grid().TextMatrix(1, 8), QStringLiteral("-25536"));

    const std::vector<uint8_t> out = saved(doc, "delay-out.gif");
    const size_t gce = screenEnd(2);
    ASSERT_GT(out.size(), gce + 8);
    EXPECT_EQ(out[gce + 4], 0x40);
    EXPECT_EQ(out[gce + 5], 0x9C);
}

TEST(SaveGifLayout, NoLocalTableWhenFirstColoursEqualFrameZeros)
{
    Document doc;
    const ColorTable colors = rampPalette(1);
    addFrame(doc, 2, 2, {0, 1, 2, 3}, 256, colors);
    addFrame(doc, 2, 2, {0, 1, 2, 3}, 4,
             colors); // fewer colours, same first four
    const std::vector<uint8_t> out = saved(doc, "nolocal.gif");

    // Frame 1: after frame 0's control block, descriptor, data and the next
    // control block. Its packed byte carries no table flag, and the minimum
    // code size follows directly.
    const std::vector<uint8_t> frame0Data = encoded({0, 1, 2, 3}, 8);
    const size_t frame1 = screenEnd(256) + 8 + 10 + 1 + frame0Data.size() + 1 + 8;
    ASSERT_GT(out.size(), frame1 + 11);
    EXPECT_EQ(out[frame1], 0x2C);
    EXPECT_EQ(out[frame1 + 9], 0x00) << "no local table flag";
    EXPECT_EQ(out[frame1 + 10], 0x02) << "minimum code size of 4 colours";
}

TEST(SaveGifLayout, LocalTableWhenAColourDiffers)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 4, rampPalette(1));
    ColorTable other = rampPalette(1);
    other[3] = {1, 2, 3};
    addFrame(doc, 1, 1, {0}, 4, other);
    const std::vector<uint8_t> out = saved(doc, "local.gif");
    const size_t frame1 = screenEnd(4) + 8 + 10 + 1 + encoded({0}, 2).size() + 1 + 8;
    ASSERT_GT(out.size(), frame1 + 22);
    EXPECT_EQ(out[frame1 + 9], 0x81) << "local table of 4 entries";
    EXPECT_EQ(out[frame1 + 10 + 9], 1);
    EXPECT_EQ(out[frame1 + 10 + 10], 2);
    EXPECT_EQ(out[frame1 + 10 + 11], 3);
    EXPECT_EQ(out[frame1 + 22], 0x02);
}

TEST(SaveGifLayout, TwoColoursUseMinimumCodeSizeTwoAndSizeFieldZero)
{
    Document doc;
    addFrame(doc, 2, 1, {1, 0}, 2, rampPalette(0));
    const std::vector<uint8_t> out = saved(doc, "two.gif");
    EXPECT_EQ(out[10], 0xF0);
    EXPECT_EQ(out[screenEnd(2) + 8 + 10], 0x02);
}

TEST(SaveGifLayout, InterlacedFrameOfHeightOneIsWrittenLikeAPlainOneWithBitSix)
{
    Document plain;
    Document interlaced;
    const std::vector<uint8_t> px = pattern(40, 16);
    addFrame(plain, 40, 1, px, 16, rampPalette(2));
    addFrame(interlaced, 40, 1, px, 16, rampPalette(2));
    setRow(plain, 0, 0, 1, 3, 7, 1);
    setRow(interlaced, 0, 1, 1, 3, 7, 1);
    std::vector<uint8_t> a = saved(plain, "h1-plain.gif");
    const std::vector<uint8_t> b = saved(interlaced, "h1-interlaced.gif");
    const size_t packed = screenEnd(16) + 8 + 9;
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a[packed], 0x00);
    EXPECT_EQ(b[packed], 0x40);
    a[packed] = 0x40;
    EXPECT_EQ(a, b);
}

TEST(SaveGifLayout, InterlacedFrameStoresRowsInPassOrder)
{
    Document doc;
    std::vector<uint8_t> px(10 * 2);
    for (int r = 0; r < 10; ++r)
        px[size_t(r * 2)] = px[size_t(r * 2 + 1)] = uint8_t(r);
    addFrame(doc, 2, 10, px, 16, rampPalette(0));
    setRow(doc, 0, 1, 0, 0, 0, 0);
    const std::vector<uint8_t> out = saved(doc, "interlaced.gif");
    const std::vector<uint8_t> stored = {0, 0, 8, 8, 4, 4, 2, 2, 6, 6, 1, 1, 3, 3, 5, 5, 7, 7, 9, 9};
    const std::vector<uint8_t> data = encoded(stored, 4);
    const size_t at = screenEnd(16) + 8 + 10 + 1;
    ASSERT_GE(out.size(), at + data.size());
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + long(at), out.begin() + long(at + data.size())), data);
}

// A save without a progress callback writes the frames' pixels from where
// they are; with one it copies them first (the callback may run the event
// loop). Both must write the same bytes, for plain and interlaced frames.
TEST(SaveGifLayout, SameBytesWithAndWithoutProgress)
{
    Document doc;
    addFrame(doc, 40, 13, pattern(40 * 13, 16), 16, rampPalette(2));
    addFrame(doc, 7, 9, pattern(7 * 9, 16), 16, rampPalette(2));
    setRow(doc, 1, 1, 1, 3, 7, 2);
    const std::vector<uint8_t> direct = saved(doc, "direct.gif");
    int told = 0;
    const QString path = tempPath("progress.gif");
    ASSERT_TRUE(SaveGif(doc, path, [&](int, int) { return ++told > 0; }).ok());
    EXPECT_EQ(told, 2);
    EXPECT_EQ(bytesOf(readFileBytes(path)), direct);
}

TEST(SaveGifLayout, RepeatCountZeroIsWrittenAndSingleSpaceCommentIsNot)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    doc.setGblLoop(QStringLiteral("０"));
    doc.setGblLoopBlock(true);
    doc.setGblComment(QStringLiteral(" "));
    const std::vector<uint8_t> out = saved(doc, "space.gif");
    const size_t loop = 13 + 6;
    EXPECT_EQ(out[loop + 16], 0x00);
    EXPECT_EQ(out[loop + 17], 0x00);
    const size_t end = screenEnd(2) + 19 + 8 + 10 + 1 + encoded({0}, 2).size() + 1;
    ASSERT_EQ(out.size(), end + 1) << "nothing between the image and the trailer";
    EXPECT_EQ(out.back(), 0x3B);
}

TEST(SaveGifLayout, RepeatCountAndShortCommentAreWrittenAsOneBlock)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    doc.setGblLoop(QStringLiteral("-2"));
    doc.setGblLoopBlock(true);
    doc.setGblComment(QStringLiteral("日本"));
    const std::vector<uint8_t> out = saved(doc, "comment.gif");
    EXPECT_EQ(out[13 + 6 + 16], 0xFE);
    EXPECT_EQ(out[13 + 6 + 17], 0xFF);
    const std::vector<uint8_t> tail(out.end() - 9, out.end());
    EXPECT_EQ(tail, (std::vector<uint8_t>{0x21, 0xFE, 4, 0x93, 0xFA, 0x96, 0x7B, 0x00, 0x3B}));
}

// --- Mend h: long comments -------------------------------------------------

TEST(SaveGifMends, CommentLongerThan255BytesIsSplitIntoSubBlocks)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    const QString comment(600, QLatin1Char('c'));
    doc.setGblComment(comment);
    const std::vector<uint8_t> out = saved(doc, "long-comment.gif");
    const size_t start = out.size() - 1 - (2 + 1 + 255 + 1 + 255 + 1 + 90 + 1);
    EXPECT_EQ(out[start], 0x21);
    EXPECT_EQ(out[start + 1], 0xFE);
    EXPECT_EQ(out[start + 2], 255);
    EXPECT_EQ(out[start + 3 + 255], 255);
    EXPECT_EQ(out[start + 4 + 510], 90);
    EXPECT_EQ(out[out.size() - 2], 0x00);

    Document back;
    ASSERT_TRUE(OpenGif(back, tempPath("long-comment.gif")).ok());
    EXPECT_EQ(back.globals().comment, comment);
}

// --- Mend f: checks before writing ---------------------------------------

struct BadCell {
    int col;
    const char *text;
    const char *heading;
};

class SaveGifRefusesBadCell : public ::testing::TestWithParam<BadCell>
{
};

TEST_P(SaveGifRefusesBadCell, NamesFrameAndColumnAndWritesNothing)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    doc.setCell(2, GetParam().col, QString::fromUtf8(GetParam().text));
    const QString path = tempPath(QStringLiteral("refused%1.gif").arg(GetParam().col));
    QFile::remove(path);
    QSignalSpy status(&doc, &Document::statusTextChanged);
    const Result<void> r = SaveGif(doc, path);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().startsWith(QStringLiteral("保存できません"))) << r.error().toStdString();
    EXPECT_TRUE(r.error().contains(QStringLiteral("フレーム 1"))) << r.error().toStdString();
    EXPECT_TRUE(r.error().contains(QString::fromUtf8(GetParam().heading))) << r.error().toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(status.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cells, SaveGifRefusesBadCell,
                         ::testing::Values(BadCell{1, "abc", "Ｘ"}, BadCell{1, "-1", "Ｘ"}, BadCell{2, "65536", "Ｙ"},
                                           BadCell{5, "abc", "ｲﾝﾀｰﾚｽ"}, BadCell{5, "2147483648", "ｲﾝﾀｰﾚｽ"},
                                           BadCell{6, "256", "透明"}, BadCell{6, "-1", "透明"},
                                           BadCell{7, "", "透過色"}, BadCell{8, "32768", "待ち時間"},
                                           BadCell{8, "32767.5", "待ち時間"}, BadCell{9, "1e10", "後処理"}));

TEST(SaveGifMends, ValuesAreRoundedHalfToEvenBeforeTheRangeCheck)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    doc.setCell(1, 7, QStringLiteral("255.5")); // rounds to 256: out of range
    EXPECT_FALSE(SaveGif(doc, tempPath("round1.gif")).ok());
    doc.setCell(1, 7, QStringLiteral("254.5")); // rounds to 254
    doc.setCell(1, 8,
                QStringLiteral(" ２.５ ")); // full-width digits; rounds to 2
    const std::vector<uint8_t> out = saved(doc, "round2.gif");
    const size_t gce = screenEnd(2);
    EXPECT_EQ(out[gce + 4], 2);
    EXPECT_EQ(out[gce + 6], 254);
}

TEST(SaveGifMends, BadRepeatCountIsRefused)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    doc.setGblLoop(QStringLiteral("40000"));
    doc.setGblLoopBlock(true);
    const Result<void> r = SaveGif(doc, tempPath("badloop.gif"));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QStringLiteral("繰り返し数"))) << r.error().toStdString();
    EXPECT_FALSE(QFile::exists(tempPath("badloop.gif")));
}

TEST(SaveGifMends, DocumentWithoutFramesIsNotSaved)
{
    Document doc;
    EXPECT_FALSE(SaveGif(doc, tempPath("empty.gif")).ok());
    EXPECT_FALSE(QFile::exists(tempPath("empty.gif")));
}

// --- Mend g: replace only when complete ------------------------------------

TEST(SaveGifMends, TargetThatCannotBeWrittenIsReported)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    // A target inside a folder that does not exist cannot be written.
    const Result<void> r = SaveGif(doc, tempPath("no-such-folder/out.gif"));
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().startsWith(QStringLiteral("保存できません"))) << r.error().toStdString();
    EXPECT_EQ(doc.statusText(), QString());
}

TEST(SaveGifMends, WriteErrorKeepsTheOldFileUntouched)
{
    Document doc;
    addFrame(doc, 64, 64, pattern(64 * 64, 256), 256, rampPalette(0));
    const QString target = writeTempFile("keep-old.gif", QByteArray("old contents"));
    // A file-size limit makes every write past 200 bytes fail (EFBIG), even
    // for a user whom folder permissions do not stop.
    struct rlimit old {
    };
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 200;
    setrlimit(RLIMIT_FSIZE, &small);
    const Result<void> r = SaveGif(doc, target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().startsWith(QStringLiteral("保存できません"))) << r.error().toStdString();
    EXPECT_EQ(readFileBytes(target), QByteArray("old contents"));
    EXPECT_EQ(QDir(QFileInfo(target).path()).entryList({QStringLiteral("keep-old.gif*")}, QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("keep-old.gif")})
        << "no temporary file is left behind";
}

TEST(SaveGifMends, SaveReplacesAnExistingFileWhole)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    const QString path = writeTempFile("replace.gif", QByteArray(5000, 'x'));
    ASSERT_TRUE(SaveGif(doc, path).ok());
    const QByteArray now = readFileBytes(path);
    EXPECT_TRUE(now.startsWith("GIF89a"));
    EXPECT_LT(now.size(), 100);
}

// --- Mend l: never a corrupt stream ----------------------------------------

TEST(SaveGifMends, IndexBeyondColourCountRaisesTheCountWithBlackEntries)
{
    Document doc;
    addFrame(doc, 2, 1, {0, 1}, 2, rampPalette(5));
    // Frame 1 claims 2 colours but uses index 5: written with 8 colours.
    addFrame(doc, 2, 1, {5, 0}, 2, rampPalette(5));
    const std::vector<uint8_t> out = saved(doc, "raised.gif");
    const size_t frame1 = screenEnd(2) + 8 + 10 + 1 + encoded({0, 1}, 2).size() + 1 + 8;
    ASSERT_GT(out.size(), frame1 + 10 + 24);
    EXPECT_EQ(out[frame1 + 9], 0x80 | 2) << "local table of 8 entries";
    const ColorTable c = rampPalette(5);
    EXPECT_EQ(out[frame1 + 10], c[0].r);
    EXPECT_EQ(out[frame1 + 13], c[1].r);
    for (int k = 2; k < 8; ++k)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(out[frame1 + 10 + size_t(k * 3 + j)], 0) << "entry " << k;
    EXPECT_EQ(out[frame1 + 10 + 24], 3) << "minimum code size of 8 colours";

    Document back;
    ASSERT_TRUE(OpenGif(back, tempPath("raised.gif")).ok());
    ASSERT_EQ(back.picCount(), 2);
    EXPECT_EQ(back.pic(1).nColors, 8);
    EXPECT_EQ(back.pic(1).bits, (std::vector<uint8_t>{5, 0}));
}

TEST(SaveGifMends, FrameZeroWithIndexBeyondItsCountRaisesTheGlobalTable)
{
    Document doc;
    addFrame(doc, 1, 1, {200}, 16, rampPalette(5));
    const std::vector<uint8_t> out = saved(doc, "raised0.gif");
    EXPECT_EQ(out[10], 0xF7);
    EXPECT_EQ(out.size(), screenEnd(256) + 8 + 10 + 1 + encoded({200}, 8).size() + 2);
}

TEST(SaveGifMends, FrameWithMoreColoursThanFrameZeroAlwaysCarriesALocalTable)
{
    Document doc;
    ColorTable colors{}; // all black: equal to frame 0's entries everywhere
    addFrame(doc, 1, 1, {0}, 2, colors);
    addFrame(doc, 1, 1, {3}, 4, colors);
    const std::vector<uint8_t> out = saved(doc, "bigger.gif");
    const size_t frame1 = screenEnd(2) + 8 + 10 + 1 + encoded({0}, 2).size() + 1 + 8;
    EXPECT_EQ(out[frame1 + 9], 0x81);
}

// --- Positions, canvas and looping -----------------------------------------

struct CanvasCase {
    const char *width;
    const char *height;
    int screenW; // 0: the save is refused
    int screenH;
};

// Frame 0 (4 x 3) at 0,0 and frame 1 (2 x 2) at 5,7: the frames need a
// 7 x 9 canvas. A usable global canvas is written as it stands, smaller or
// larger than the frames; anything else gives way to the frames' box.
class SaveGifCanvas : public ::testing::TestWithParam<CanvasCase>
{
};

TEST_P(SaveGifCanvas, ScreenIsTheGlobalCanvasOrTheFramesBoxAndImagesKeepTheirPositions)
{
    const CanvasCase &c = GetParam();
    Document doc;
    addFrame(doc, 4, 3, pattern(12, 4), 4, rampPalette(0));
    addFrame(doc, 2, 2, pattern(4, 4), 4, rampPalette(0));
    doc.setCell(2, 1, QStringLiteral("5"));
    doc.setCell(2, 2, QStringLiteral("7"));
    doc.setGblWidth(QString::fromUtf8(c.width));
    doc.setGblHeight(QString::fromUtf8(c.height));
    const std::vector<uint8_t> out = saved(doc, "canvas.gif");
    ASSERT_GE(out.size(), 10u);
    EXPECT_EQ(out[6] | out[7] << 8, c.screenW);
    EXPECT_EQ(out[8] | out[9] << 8, c.screenH);

    Document back;
    ASSERT_TRUE(OpenGif(back, tempPath("canvas.gif")).ok());
    ASSERT_EQ(back.picCount(), 2);
    for (int col = 1; col <= 4; ++col)
        for (int row = 1; row <= 2; ++row)
            EXPECT_EQ(back.grid().TextMatrix(row, col), doc.grid().TextMatrix(row, col)) << row << "," << col;
    EXPECT_EQ(back.pic(1).bits, doc.pic(1).bits);
}

INSTANTIATE_TEST_SUITE_P(Fields, SaveGifCanvas,
                         ::testing::Values(CanvasCase{"０", "０", 7, 9}, CanvasCase{"20", "10", 20, 10},
                                           CanvasCase{"２０", " 10 ", 20, 10}, CanvasCase{"3", "2", 3, 2},
                                           CanvasCase{"65535", "1", 65535, 1}, CanvasCase{"20", "abc", 7, 9},
                                           CanvasCase{"0", "10", 7, 9}, CanvasCase{"65536", "10", 7, 9},
                                           CanvasCase{"-20", "10", 7, 9}));

TEST(SaveGifCanvas, FramesPastTheLargestScreenMakeItThatLarge)
{
    Document doc;
    addFrame(doc, 2, 1, {0, 1}, 2, rampPalette(0));
    doc.setCell(1, 1, QStringLiteral("65534"));
    const std::vector<uint8_t> out = saved(doc, "too-wide.gif");
    ASSERT_GE(out.size(), 10u);
    EXPECT_EQ(out[6] | out[7] << 8, 65535);
    EXPECT_EQ(out[8] | out[9] << 8, 1);
}

TEST(SaveGifLoop, LoopingBlockOnlyWhenTheDocumentAsksForIt)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    // A count that cannot be converted does not matter while it is unused.
    doc.setGblLoop(QStringLiteral("abc"));
    const std::vector<uint8_t> once = saved(doc, "once.gif");
    EXPECT_EQ(once.size(), screenEnd(2) + 8 + 10 + 1 + encoded({0}, 2).size() + 2);
    EXPECT_EQ(once[screenEnd(2) + 1], 0xF9) << "the control block follows the colour table";
    Document onceBack;
    ASSERT_TRUE(OpenGif(onceBack, tempPath("once.gif")).ok());
    EXPECT_FALSE(onceBack.globals().loopBlock);

    doc.setGblLoop(QStringLiteral("7"));
    doc.setGblLoopBlock(true);
    const std::vector<uint8_t> looping = saved(doc, "looping.gif");
    ASSERT_EQ(looping.size(), once.size() + 19);
    GifBytes block;
    block.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01}).u16(7).u8({0x00});
    EXPECT_EQ(std::vector<uint8_t>(looping.begin() + long(screenEnd(2)), looping.begin() + long(screenEnd(2) + 19)),
              block.bytes());
}

TEST(SaveGifStatus, ReportsProgressPerFrameAndClearsAtTheEnd)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    const QString path = tempPath("status.gif");
    QSignalSpy spy(&doc, &Document::statusTextChanged);
    ASSERT_TRUE(SaveGif(doc, path).ok());
    QStringList texts;
    for (const auto &args : spy)
        texts << args.at(0).toString();
    const qint64 size = QFile(path).size();
    // Frame 1's text reports the position after its terminator: the file
    // size minus the trailer, plus one.
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[0], QStringLiteral("保存中 (") + path + QStringLiteral(")"));
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("保存中 (") + path + QStringLiteral(" 1/2 - ")));
    EXPECT_EQ(texts[2], QStringLiteral("保存中 (") + path + QStringLiteral(" 2/2 - ") + QString::number(size) +
                            QStringLiteral("byte )"));
    EXPECT_EQ(texts[3], QString());
}

} // namespace

// The grid's marking of a cell and the save use one rule: a text is marked
// exactly when the save refuses it, with the reason the mark gives.
struct CellCase {
    int col;
    const char *text;
    const char *problem; // nullptr: accepted
};

class GridCellRule : public ::testing::TestWithParam<CellCase>
{
};

TEST_P(GridCellRule, MarkedExactlyWhenTheSaveRefuses)
{
    const CellCase c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    const Result<void> taken = checkGridCell(c.col, text);
    ASSERT_EQ(taken.ok(), c.problem == nullptr) << c.col << " " << c.text;
    if (!taken) {
        EXPECT_TRUE(taken.error().contains(QString::fromUtf8(c.problem))) << taken.error().toStdString();
    }

    Document doc;
    addFrame(doc, 1, 1, {0}, 2, greys());
    doc.setCell(1, c.col, text);
    QTemporaryDir dir;
    const Result<void> r = SaveGif(doc, dir.filePath(QStringLiteral("out.gif")));
    EXPECT_EQ(r.ok(), taken.ok()) << r.error().toStdString();
    if (!taken) {
        EXPECT_TRUE(r.error().contains(PropertyGrid::heading(c.col))) << r.error().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cells, GridCellRule,
    ::testing::Values(
        CellCase{PropertyGrid::ColX, "65535", nullptr}, CellCase{PropertyGrid::ColX, "65536", "範囲外"},
        CellCase{PropertyGrid::ColY, "-1", "範囲外"}, CellCase{PropertyGrid::ColY, "abc", "数値ではありません"},
        CellCase{PropertyGrid::ColInterlace, "-5", nullptr},
        CellCase{PropertyGrid::ColInterlace, "2147483648", "範囲外"},
        CellCase{PropertyGrid::ColTransparent, "255", nullptr}, CellCase{PropertyGrid::ColTransparent, "256", "範囲外"},
        CellCase{PropertyGrid::ColTransIndex, "-1", "範囲外"}, CellCase{PropertyGrid::ColDelay, "-32768", nullptr},
        CellCase{PropertyGrid::ColDelay, "32768", "範囲外"}, CellCase{PropertyGrid::ColDelay, "", "数値ではありません"},
        CellCase{PropertyGrid::ColDisposal, "1e10", "範囲外"}, CellCase{PropertyGrid::ColWidth, "abc", nullptr},
        CellCase{PropertyGrid::ColComment, "abc", nullptr}));
