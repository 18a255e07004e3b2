#include "core/gif/lzw_streams.h"
#include "document/document.h"
#include "document/gifio.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>

using namespace velmar;
using namespace velmar::test;
using velmar::test::CodeWriter;

namespace
{

OpenGifResult openBytes(Document &doc, const GifBytes &gif, const QString &name, const OpenGifOptions &options = {})
{
    return OpenGif(doc, writeTempFile(name, gif.toByteArray()), options);
}

std::vector<uint8_t> ramp(int n, int modulo)
{
    std::vector<uint8_t> p(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        p[size_t(i)] = uint8_t(i % modulo);
    return p;
}

QStringList rowOf(const Document &doc, int frame)
{
    QStringList cells;
    for (int col = 0; col < 11; ++col)
        cells << doc.grid().TextMatrix(frame + 1, col);
    return cells;
}

TEST(OpenGif, ThreeFramesFillTableGridAndGlobals)
{
    GifBytes gif;
    gif.header(4, 2, true, 1); // 4 global colours
    gif.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01}).u16(7).u8({0x00});
    gif.control(2, true, 25, 3).image(0, 0, 4, 2, false).data(2, literalStream(ramp(8, 4), 2));
    gif.image(1, 1, 2, 1, false, 2).data(3, literalStream({7, 6}, 3)); // local table, no control block
    gif.control(1, false, 5, 0).image(0, 0, 1, 1, false).data(2, literalStream({3}, 2));
    gif.u8({0x21, 0xFE}).subBlocks("hello").trailer();

    Document doc;
    QSignalSpy added(&doc, &Document::frameAdded);
    const OpenGifResult r = openBytes(doc, gif, "three.gif");
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    ASSERT_EQ(doc.picCount(), 3);
    EXPECT_EQ(added.count(), 3);
    EXPECT_EQ(doc.pic(0).bits, ramp(8, 4));
    EXPECT_EQ(doc.pic(0).nColors, 4);
    EXPECT_EQ(doc.pic(0).colors[3], (Rgb{3, 6, 9}));
    EXPECT_EQ(doc.pic(1).nColors, 8);
    EXPECT_EQ(doc.pic(1).colors[1], (Rgb{254, 1, 7}));
    EXPECT_EQ(doc.pic(1).bits, (std::vector<uint8_t>{7, 6}));
    EXPECT_EQ(doc.pic(2).nColors, 4) << "a frame without a local table takes the global one";

    EXPECT_EQ(rowOf(doc, 0), QStringList({"0", "0", "0", "4", "2", "0", "1", "3", "25", "2", ""}));
    EXPECT_EQ(rowOf(doc, 1), QStringList({"1", "1", "1", "2", "1", "0", "0", "0", "0", "0", ""}));
    EXPECT_EQ(rowOf(doc, 2), QStringList({"2", "0", "0", "1", "1", "0", "0", "0", "5", "1", ""}));
    EXPECT_EQ(doc.globals().width, QStringLiteral("4"));
    EXPECT_EQ(doc.globals().height, QStringLiteral("2"));
    EXPECT_EQ(doc.globals().loop, QStringLiteral("7"));
    EXPECT_TRUE(doc.globals().loopBlock);
    EXPECT_EQ(doc.globals().comment, QStringLiteral("hello"));
    EXPECT_EQ(doc.statusText(), QString());
}

TEST(OpenGif, SecondFileAppendsAndKeepsTheFirstCanvasSize)
{
    GifBytes a;
    a.header(2, 1, true, 0).image(0, 0, 2, 1, false).data(2, literalStream({1, 0}, 2)).trailer();
    GifBytes b;
    b.header(3, 1, true, 0).image(0, 0, 3, 1, false).data(2, literalStream({0, 1, 1}, 2));
    b.u8({0x21, 0xFE}).subBlocks("second").trailer();
    Document doc;
    doc.setGblLoopBlock(true);
    ASSERT_TRUE(openBytes(doc, a, "a.gif").ok());
    EXPECT_FALSE(doc.globals().loopBlock) << "cleared at the start of every read";
    ASSERT_TRUE(openBytes(doc, b, "b.gif").ok());
    ASSERT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.grid().TextMatrix(2, 0), QStringLiteral("1"));
    EXPECT_EQ(doc.pic(1).bits, (std::vector<uint8_t>{0, 1, 1}));
    EXPECT_EQ(doc.globals().width, QStringLiteral("2"));
    EXPECT_EQ(doc.globals().comment, QStringLiteral("second"));
}

TEST(OpenGif, StatusShowsPathThenChangingPercentagesThenClears)
{
    GifBytes gif;
    gif.header(1, 1, true, 0);
    for (int i = 0; i < 300; ++i)
        gif.u8({0x00}); // stray bytes, skipped one by one
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
    Document doc;
    QSignalSpy spy(&doc, &Document::statusTextChanged);
    const QString path = writeTempFile("status.gif", gif.toByteArray());
    ASSERT_TRUE(OpenGif(doc, path).ok());
    ASSERT_GE(spy.count(), 3);
    EXPECT_EQ(spy.first().at(0).toString(), QStringLiteral("読み込み中 (") + path + QStringLiteral(")"));
    EXPECT_EQ(spy.last().at(0).toString(), QString());
    // After the 19 bytes of header and table and the first stray byte the
    // next byte to read is number 21.
    const int firstPercent = 21 * 100 / int(gif.bytes().size());
    EXPECT_EQ(spy.at(1).at(0).toString(), QStringLiteral("読み込み中 (") + path + QStringLiteral(" ") +
                                              QString::number(firstPercent) + QStringLiteral("%)"));
    for (int i = 1; i + 1 < spy.count(); ++i)
        EXPECT_NE(spy.at(i).at(0).toString(), spy.at(i + 1).at(0).toString()) << "text set only when it changes";
}

TEST(OpenGif, InterlacedImageIsDeinterlaced)
{
    // Stored rows of a height-5 image: 0, 4, 2, 1, 3.
    GifBytes gif;
    gif.header(2, 5, true, 2).image(0, 0, 2, 5, true);
    gif.data(3, literalStream({0, 0, 4, 4, 2, 2, 1, 1, 3, 3}, 3)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "interlaced.gif").ok());
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4}));
    EXPECT_EQ(doc.grid().TextMatrix(1, 5), QStringLiteral("1"));
}

TEST(OpenGif, ProgressiveDisplayShowsInterlacedRowsInTheirPlacesAtClearCodes)
{
    // Height 4, width 3: stored rows 0, 1, 2, 3 hold image rows 0, 2, 1, 3.
    // Clear codes after 4 and 8 pixels end in the middle of stored rows.
    const std::vector<uint8_t> stored = {1, 1, 1, 3, 3, 3, 2, 2, 2, 4, 4, 4};
    GifBytes gif;
    gif.header(3, 4, true, 2).image(0, 0, 3, 4, true).data(3, literalStream(stored, 3, 4)).trailer();
    Document doc;
    std::vector<std::vector<uint8_t>> shown;
    QObject::connect(&doc, &Document::frameChanged, [&](int n) { shown.push_back(doc.pic(n).bits); });
    ASSERT_TRUE(openBytes(doc, gif, "progressive.gif", OpenGifOptions{0}).ok());
    ASSERT_EQ(shown.size(), 3u) << "two clear codes in the middle, then the final picture";
    EXPECT_EQ(shown[0], (std::vector<uint8_t>{1, 1, 1, 0, 0, 0, 3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(shown[1], (std::vector<uint8_t>{1, 1, 1, 2, 2, 0, 3, 3, 3, 0, 0, 0}));
    EXPECT_EQ(shown[2], (std::vector<uint8_t>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
}

TEST(OpenGif, ControlBlockBeforeTheFirstImageFillsItsRow)
{
    GifBytes gif;
    gif.header(1, 1, true, 0).control(3, true, -1 & 0xFFFF, 1).image(0, 0, 1, 1, false);
    gif.data(2, literalStream({0}, 2)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "gce.gif").ok());
    EXPECT_EQ(rowOf(doc, 0), QStringList({"0", "0", "0", "1", "1", "0", "1", "1", "-1", "3", ""}));
}

TEST(OpenGif, FileEndingAfterImageDataKeepsAllFrames)
{
    GifBytes gif;
    gif.header(1, 1, true, 0).image(0, 0, 1, 1, false).data(2, literalStream({1}, 2));
    gif.image(0, 0, 1, 1, false).data(2, literalStream({0}, 2));
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "notrailer.gif").ok());
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.statusText(), QString());
}

TEST(OpenGif, UnreadableFileIsAnError)
{
    Document doc;
    const OpenGifResult r = OpenGif(doc, tempPath("does-not-exist.gif"));
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error().isEmpty());
    EXPECT_EQ(doc.picCount(), 0);
}

// --- Mend a: extensions are consumed as sub-blocks --------------------------

TEST(OpenGifMends, CommentWithIntroducerBytesAndSeveralSubBlocks)
{
    GifBytes gif;
    gif.header(1, 1, true, 0);
    gif.u8({0x21, 0xFE}).subBlocks("a,b;c!d,e;f", 4); // sub-blocks "a,b;" "c!d," "e;f"
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "comment.gif").ok());
    EXPECT_EQ(doc.globals().comment, QStringLiteral("a,b;c!d,e;f"));
    EXPECT_EQ(doc.picCount(), 1) << "no phantom image from the comment's bytes";
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{1}));
}

TEST(OpenGifMends, XmpApplicationBlockDoesNotStartPhantomImages)
{
    GifBytes gif;
    gif.header(1, 1, true, 0);
    gif.u8({0x21, 0xFF, 0x0B}).text("XMP DataXMP");
    gif.subBlocks("<x:xmpmeta a=\",;!\">,;</x:xmpmeta>", 7);
    gif.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01}).u16(3).u8({0x00});
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "xmp.gif").ok());
    EXPECT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.globals().loop, QStringLiteral("3"));
    EXPECT_TRUE(doc.globals().loopBlock);
}

TEST(OpenGifMends, LoopingBlockWithFurtherSubBlocksIsConsumedWhole)
{
    GifBytes gif;
    gif.header(1, 1, true, 0);
    gif.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01}).u16(-2 & 0xFFFF);
    gif.u8({0x02, 0x2C, 0x3B, 0x00});
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "loop.gif").ok());
    EXPECT_EQ(doc.globals().loop, QStringLiteral("-2"));
    EXPECT_EQ(doc.picCount(), 1);
}

TEST(OpenGifMends, PlainTextAndUnknownExtensionsAreSkippedWhole)
{
    GifBytes gif;
    gif.header(1, 1, true, 0);
    gif.u8({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0}).subBlocks("x;y,z");
    gif.u8({0x21, 0x99}).subBlocks(";,;,", 2);
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "skip.gif").ok());
    EXPECT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{1}));
}

TEST(OpenGifMends, StrayBytesBetweenBlocksAreStillSkipped)
{
    GifBytes gif;
    gif.header(1, 1, true, 0).u8({0x00, 0x17, 0xFF});
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).u8({0x42}).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "stray.gif").ok());
    EXPECT_EQ(doc.picCount(), 1);
}

// --- Mend b: unsigned sizes, zero sizes ------------------------------------

TEST(OpenGifMends, PositionAndSizeAreUnsigned16Bit)
{
    const int width = 40000;
    GifBytes gif;
    gif.header(1, 1, true, 0).image(50000, 65535, width, 1, false);
    gif.data(2, literalStream(ramp(width, 2), 2, 2000)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "wide.gif").ok());
    ASSERT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).lWidth, width);
    EXPECT_EQ(doc.pic(0).bits, ramp(width, 2));
    EXPECT_EQ(rowOf(doc, 0).mid(1, 4), QStringList({"50000", "65535", "40000", "1"}));
    EXPECT_EQ(doc.globals().width, QStringLiteral("90000")) << "the canvas holds frame 0 where it stands";
    EXPECT_EQ(doc.globals().height, QStringLiteral("65536"));
}

TEST(OpenGifMends, HugeImageIsRefusedWithAMessage)
{
    GifBytes gif;
    gif.header(1, 1, true, 0).image(0, 0, 65535, 65535, false).data(2, literalStream({1}, 2)).trailer();
    Document doc;
    const OpenGifResult r = openBytes(doc, gif, "huge.gif");
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QStringLiteral("65535"))) << r.error().toStdString();
    EXPECT_EQ(doc.picCount(), 0);
}

// --- Mend c: global table only when flagged --------------------------------

TEST(OpenGifMends, NoGlobalTableFlagMeansBlocksFollowTheScreenDescriptor)
{
    GifBytes gif;
    gif.header(2, 1, false, 7); // size field 7 but no table
    gif.image(0, 0, 2, 1, false).data(8, literalStream({200, 41}, 8)).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "noglobal.gif").ok());
    ASSERT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).nColors, 256);
    EXPECT_EQ(doc.pic(0).colors, defaultColorTable());
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{200, 41}));
}

// --- Mend d: output beyond the array is discarded ---------------------------

TEST(OpenGifMends, StreamLongerThanTheImageIsCutToTheImage)
{
    GifBytes gif;
    gif.header(2, 2, true, 0).image(0, 0, 2, 2, false).data(2, literalStream(ramp(5000, 2), 2)).trailer();
    Document doc;
    openBytes(doc, gif, "toolong.gif");
    ASSERT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{0, 1, 0, 1}));
    EXPECT_EQ(doc.statusText(), QString());
}

// --- Mend e: a failed decode keeps all it decoded ---------------------------

TEST(OpenGifMends, TruncatedImageKeepsEveryDecodedPixel)
{
    const std::vector<uint8_t> px = ramp(100, 4);
    std::vector<uint8_t> stream = literalStream(px, 2, 0, false);
    stream.resize(stream.size() / 2); // cut in the middle; no clear code showed anything
    GifBytes gif;
    gif.header(10, 10, true, 1).image(0, 0, 10, 10, false).u8({2, int(stream.size())}).append(stream);
    Document doc;
    QSignalSpy changed(&doc, &Document::frameChanged);
    const OpenGifResult r = openBytes(doc, gif, "truncated.gif");
    ASSERT_TRUE(r.ok()) << "the frame read stays";
    EXPECT_EQ(r.warnings.size(), 1);
    ASSERT_EQ(doc.picCount(), 1);
    // The pixels whose codes lie wholly inside the bytes that are there.
    size_t decoded = 0;
    while (decoded < px.size() &&
           literalStream(std::vector<uint8_t>(px.begin(), px.begin() + long(decoded + 1)), 2, 0, false).size() <=
               stream.size())
        ++decoded;
    ASSERT_GT(decoded, 10u);
    for (size_t i = 0; i < 100; ++i)
        EXPECT_EQ(doc.pic(0).bits[i], i < decoded ? px[i] : 0) << "pixel " << i;
    EXPECT_GE(changed.count(), 1) << "the frame is drawn with what it holds";
}

// One damaged image among good ones: it keeps what it decoded (0 for the
// rest) or is skipped, a warning names the file and the frame, and the images
// after it are all read, with their own grid cells.
TEST(OpenGifRecovers, DamagedImageCostsOnlyItsOwnPixels)
{
    struct Case {
        const char *what;
        std::function<void(GifBytes &)> damaged; // the image after the first good one
        std::vector<uint8_t> bits;               // its frame; empty: no frame
        int warnings;
    };
    const auto badCode = [] {
        // Clear, 1, then 7 while the next free code is 6.
        CodeWriter w;
        for (auto [code, width] : {std::pair{4u, 3u}, {1, 3}, {7, 3}, {2, 3}, {5, 3}})
            w.put(code, width);
        return w.bytes();
    };
    const std::vector<Case> cases = {
        {"no end code, data short of the pixels",
         [](GifBytes &g) {
             g.image(0, 0, 5, 1, false).data(2, literalStream({1, 2, 3}, 2, 0, false));
         },
         {1, 2, 3, 0, 0},
         1},
        {"no end code, every pixel there",
         [](GifBytes &g) {
             g.image(0, 0, 3, 1, false).data(2, literalStream({1, 2, 3}, 2, 0, false));
         },
         {1, 2, 3},
         0},
        {"end code before the last pixels",
         [](GifBytes &g) {
             g.image(0, 0, 5, 1, false).data(2, literalStream({1, 2, 3}, 2));
         },
         {1, 2, 3, 0, 0},
         1},
        {"damaged code", [&](GifBytes &g) { g.image(0, 0, 4, 1, false).data(2, badCode()); }, {1, 0, 0, 0}, 1},
        {"code size above 8",
         [](GifBytes &g) {
             g.image(0, 0, 2, 1, false).data(9, {0x21, 0x2C, 0x3B});
         },
         {0, 0},
         1},
        {"zero width", [](GifBytes &g) { g.image(0, 0, 0, 5, false).data(2, literalStream({}, 2)); }, {}, 1},
        {"zero height", [](GifBytes &g) { g.image(0, 0, 5, 0, false).data(2, literalStream({1}, 2)); }, {}, 1},
    };
    for (const Case &c : cases) {
        GifBytes gif;
        gif.header(8, 1, true, 1).image(0, 0, 1, 1, false).data(2, literalStream({2}, 2));
        gif.control(1, true, 77, 3);
        c.damaged(gif);
        gif.image(0, 0, 2, 1, false).data(2, literalStream({3, 1}, 2));
        gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
        Document doc;
        const QString path = writeTempFile(QStringLiteral("damaged.gif"), gif.toByteArray());
        const OpenGifResult r = OpenGif(doc, path);
        const int damagedFrames = c.bits.empty() ? 0 : 1;
        EXPECT_TRUE(r.ok()) << c.what << ": " << r.error().toStdString();
        ASSERT_EQ(doc.picCount(), 3 + damagedFrames) << c.what;
        if (damagedFrames) {
            EXPECT_EQ(doc.pic(1).bits, c.bits) << c.what;
        }
        EXPECT_EQ(doc.pic(1 + damagedFrames).bits, (std::vector<uint8_t>{3, 1})) << c.what;
        EXPECT_EQ(doc.pic(2 + damagedFrames).bits, std::vector<uint8_t>{1}) << c.what;
        EXPECT_EQ(rowOf(doc, 1 + damagedFrames)[8], QStringLiteral("0"))
            << c.what << ": the damaged image's control block stays with it";
        ASSERT_EQ(r.warnings.size(), c.warnings) << c.what;
        for (const QString &w : r.warnings) {
            EXPECT_TRUE(w.contains(path) && w.contains(QStringLiteral("フレーム 1")))
                << c.what << ": " << w.toStdString();
        }
        EXPECT_EQ(doc.statusText(), QString()) << c.what;
    }
}

TEST(OpenGifRecovers, FileEndingInsideAnImageWarnsAndKeepsTheFrames)
{
    GifBytes gif;
    gif.header(2, 1, true, 0).image(0, 0, 1, 1, false).data(2, literalStream({1}, 2));
    gif.image(0, 0, 6, 1, false).u8({2, 3}).append(literalStream({1, 0, 1, 1}, 2, 0, false));
    Document doc;
    const OpenGifResult r = openBytes(doc, gif, "cutmid.gif");
    EXPECT_TRUE(r.ok());
    ASSERT_EQ(doc.picCount(), 2);
    ASSERT_EQ(r.warnings.size(), 1);
    EXPECT_TRUE(r.warnings[0].contains(QStringLiteral("フレーム 1"))) << r.warnings[0].toStdString();
}

TEST(OpenGifRecovers, FileOfOnlyLostImagesFailsWithItsWarnings)
{
    GifBytes gif;
    gif.header(2, 1, true, 0).image(0, 0, 0, 1, false).data(2, literalStream({}, 2)).trailer();
    Document doc;
    const OpenGifResult r = openBytes(doc, gif, "allzero.gif");
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error().isEmpty());
    EXPECT_EQ(r.warnings.size(), 1);
    EXPECT_EQ(doc.picCount(), 0);
}

// The canvas is the logical screen, enlarged where frame 0 sticks out.
TEST(OpenGif, CanvasIsTheScreenEnlargedToHoldFrameZero)
{
    struct Case {
        int screenW, screenH, left, top, width, height, canvasW, canvasH;
    };
    const Case cases[] = {
        {10, 8, 0, 0, 4, 2, 10, 8}, {10, 8, 3, 5, 4, 2, 10, 8}, {10, 8, 8, 7, 4, 2, 12, 9},
        {2, 2, 0, 0, 4, 3, 4, 3},   {0, 0, 1, 2, 1, 1, 2, 3},
    };
    for (const Case &c : cases) {
        GifBytes gif;
        gif.header(c.screenW, c.screenH, true, 0).image(c.left, c.top, c.width, c.height, false);
        gif.data(2, literalStream(std::vector<uint8_t>(size_t(c.width * c.height), 1), 2)).trailer();
        Document doc;
        ASSERT_TRUE(openBytes(doc, gif, "canvas.gif").ok());
        const std::string what = std::to_string(c.left) + "," + std::to_string(c.top) + " in " +
                                 std::to_string(c.screenW) + "x" + std::to_string(c.screenH);
        EXPECT_EQ(doc.globals().width, QString::number(c.canvasW)) << what;
        EXPECT_EQ(doc.globals().height, QString::number(c.canvasH)) << what;
        EXPECT_EQ(rowOf(doc, 0).mid(1, 2), QStringList({QString::number(c.left), QString::number(c.top)})) << what;
    }
}

// --- Mend i: comment code page ---------------------------------------------

TEST(OpenGifMends, CommentInCp932AndInUtf8)
{
    GifBytes cp932;
    cp932.header(1, 1, true, 0).u8({0x21, 0xFE, 4, 0x93, 0xFA, 0x96, 0x7B, 0}).trailer();
    Document doc;
    ASSERT_TRUE(openBytes(doc, cp932, "cp932.gif").ok());
    EXPECT_EQ(doc.globals().comment, QStringLiteral("日本"));
    GifBytes utf8;
    utf8.header(1, 1, true, 0).u8({0x21, 0xFE}).subBlocks("\xe6\x97\xa5\xe6\x9c\xac").trailer();
    ASSERT_TRUE(openBytes(doc, utf8, "utf8.gif").ok());
    EXPECT_EQ(doc.globals().comment, QStringLiteral("日本"));
}

// --- Mend j: frame-number limit --------------------------------------------

TEST(OpenGifMends, FileWithMoreImagesThanFrameNumbersStopsAtTheLimit)
{
    Document doc;
    const ColorTable colors{};
    for (int i = 0; i < Document::kMaxFrames - 2; ++i) {
        ASSERT_TRUE(doc.beginFrame(1, 1, 2, colors).ok());
        doc.endFrame();
    }
    GifBytes gif;
    gif.header(1, 1, true, 0);
    for (int i = 0; i < 4; ++i)
        gif.image(0, 0, 1, 1, false).data(2, literalStream({uint8_t(i & 1)}, 2));
    gif.trailer();
    const OpenGifResult r = openBytes(doc, gif, "limit.gif");
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error().isEmpty());
    EXPECT_EQ(doc.picCount(), Document::kMaxFrames);
    EXPECT_FALSE(doc.hasStagedFrame());
    EXPECT_EQ(doc.pic(Document::kMaxFrames - 1).bits, (std::vector<uint8_t>{1}));
    EXPECT_EQ(doc.statusText(), QString());
}

// --- Mend k: entries beyond the count are black -----------------------------

TEST(OpenGifMends, ColourEntriesBeyondTheCountAreBlack)
{
    GifBytes gif;
    gif.header(1, 1, true, 7); // 256 global colours
    gif.image(0, 0, 1, 1, false).data(8, literalStream({255}, 8));
    gif.image(0, 0, 1, 1, false, 1).data(2, literalStream({3}, 2)).trailer(); // 4 local colours
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "black.gif").ok());
    ASSERT_EQ(doc.picCount(), 2);
    EXPECT_EQ(doc.pic(1).nColors, 4);
    EXPECT_EQ(doc.pic(1).colors[3], (Rgb{252, 3, 7}));
    for (int k = 4; k < 256; ++k)
        EXPECT_EQ(doc.pic(1).colors[size_t(k)], Rgb{}) << "entry " << k;
    const int copy = test::addedFrame(doc.CopyWindow(1));
    ASSERT_GE(copy, 0);
    EXPECT_EQ(doc.pic(copy).colors, doc.pic(1).colors);
}

TEST(OpenGifMends, LocalTableCutByTheEndOfFileKeepsTheFrame)
{
    GifBytes gif;
    gif.header(1, 1, true, 0).u8({0x2C}).u16(0).u16(0).u16(1).u16(1).u8({0x87, 1, 2, 3, 4});
    Document doc;
    ASSERT_TRUE(openBytes(doc, gif, "cuttable.gif").ok());
    ASSERT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).colors[0], (Rgb{1, 2, 3}));
    EXPECT_EQ(doc.pic(0).colors[1], Rgb{});
    EXPECT_EQ(doc.grid().TextMatrix(1, 8), QString()) << "columns 6..9 are not filled then";
}

TEST(OpenGifRobustness, EveryTruncationOfAFileReadsWithoutHarm)
{
    GifBytes gif;
    gif.header(4, 4, true, 1).u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01, 0, 0, 0});
    gif.control(2, true, 10, 1).image(0, 0, 4, 4, true, 1).data(2, literalStream(ramp(16, 4), 2, 5));
    gif.u8({0x21, 0xFE}).subBlocks("comment").trailer();
    const QByteArray whole = gif.toByteArray();
    for (qsizetype n = 0; n <= whole.size(); ++n) {
        Document doc;
        OpenGif(doc, writeTempFile("cut.gif", whole.left(n)));
        EXPECT_LE(doc.picCount(), 1);
        EXPECT_FALSE(doc.hasStagedFrame());
        EXPECT_EQ(doc.statusText(), QString()) << "length " << n;
    }
}

} // namespace
