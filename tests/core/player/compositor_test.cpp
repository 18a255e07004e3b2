#include "document/document.h"
#include "document/gifio.h"
#include "player/compositor.h"
#include "support/frames.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include <string>

using namespace velmar;

namespace velmar
{
// Readable failure messages for screen pixels.
void PrintTo(const Rgba &p, std::ostream *os)
{
    *os << "rgba(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
}
} // namespace velmar
using velmar::test::addFrame;
using velmar::test::rampPalette;

namespace
{

class CompositorTest : public ::testing::Test
{
  protected:
    Document doc;

    void canvas(int w, int h)
    {
        doc.setGblWidth(QString::number(w));
        doc.setGblHeight(QString::number(h));
    }
    // A w x h frame of one index, with its grid row's cells set as given.
    int solid(int w, int h, uint8_t index, int seed = 0)
    {
        return addFrame(doc, w, h, std::vector<uint8_t>(size_t(w * h), index), 256, rampPalette(seed));
    }
    void cell(int frame, int col, const QString &text) { doc.setCell(frame + 1, col, text); }
    void place(int frame, int x, int y)
    {
        cell(frame, PropertyGrid::ColX, QString::number(x));
        cell(frame, PropertyGrid::ColY, QString::number(y));
    }

    // The screen as rows of characters: '.' where nothing is drawn, else the
    // low hex digit of the red value, which for rampPalette(0) is the index.
    static std::string picture(const Compositor &c)
    {
        std::string s;
        for (int y = 0; y < c.scrH(); ++y) {
            for (int x = 0; x < c.scrW(); ++x)
                s += c.covered(x, y) ? "0123456789abcdef"[c.pixelAt(x, y).r & 15] : '.';
            s += '\n';
        }
        return s;
    }
    static Rgba opaque(Rgb c) { return {c.r, c.g, c.b, 255}; }
};

// --- Timing -----------------------------------------------------------------

TEST_F(CompositorTest, EachFrameStaysForItsOwnDelayAndZeroMeansTenMilliseconds)
{
    canvas(4, 4);
    solid(4, 4, 1);
    solid(4, 4, 2);
    cell(0, PropertyGrid::ColDelay, "50");
    cell(1, PropertyGrid::ColDelay, "0");
    Compositor c(doc);
    const int expectedFrame[] = {0, 1, 0, 1};
    const int expectedMs[] = {500, 10, 500, 10};
    for (int t = 0; t < 4; ++t) {
        const Compositor::Tick tick = c.tick();
        ASSERT_TRUE(tick.shown);
        EXPECT_EQ(tick.frame, expectedFrame[t]) << "tick " << t;
        EXPECT_EQ(tick.intervalMs, expectedMs[t]) << "tick " << t;
    }
}

TEST_F(CompositorTest, FractionalDelaysRoundHalfToEvenAndNonPositiveBecomeTenMilliseconds)
{
    canvas(1, 1);
    solid(1, 1, 0);
    Compositor c(doc);
    const struct {
        const char *delay;
        int ms;
    } cases[] = {
        {"12.5", 125},   {"0.04", 10},      {"0.25", 2}, // 2.5 ms rounds to 2, still positive
        {"0.75", 8},     {"1.25", 12},                   // 12.5 ms rounds to the even 12
        {"-3", 10},      {"abc", 10},       {"", 10},
        {"１０", 100}, // full-width digits are digits
        {"6553", 65530}, {"40000", 400000}, {"1e12", Compositor::kMaxIntervalMs},
    };
    for (const auto &k : cases) {
        cell(0, PropertyGrid::ColDelay, QString::fromUtf8(k.delay));
        EXPECT_EQ(c.interval(0), k.ms) << "delay \"" << k.delay << "\"";
    }
}

// --- Placement and clipping ---------------------------------------------------

TEST_F(CompositorTest, FrameReachingPastTheCanvasDrawsOnlyItsTopLeftPart)
{
    canvas(12, 12);
    std::vector<uint8_t> px(100);
    for (int i = 0; i < 100; ++i)
        px[size_t(i)] = uint8_t(i + 1);
    addFrame(doc, 10, 10, px, 256, rampPalette(0));
    place(0, 5, 5);
    Compositor c(doc);
    c.tick();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const Rgba want = (x >= 5 && y >= 5) ? opaque(rampPalette(0)[size_t((y - 5) * 10 + (x - 5) + 1)]) : Rgba{};
            ASSERT_EQ(c.pixelAt(x, y), want) << "at " << x << "," << y << "\n" << picture(c);
        }
    // The frame's pixel (6, 6) is the last one drawn: only 7 x 7 pixels show.
    EXPECT_EQ(c.pixelAt(11, 11), opaque(rampPalette(0)[67]));
}

TEST_F(CompositorTest, NegativePositionsClipOnTheLeftAndTop)
{
    canvas(4, 3);
    std::vector<uint8_t> px(5 * 4);
    for (int i = 0; i < 20; ++i)
        px[size_t(i)] = uint8_t(i + 1);
    addFrame(doc, 5, 4, px, 256, rampPalette(0));
    place(0, -3, -2);
    Compositor c(doc);
    c.tick();
    // Visible: frame columns 3..4, rows 2..3 at the screen's top-left.
    EXPECT_EQ(picture(c), "ef..\n34..\n....\n") << "rows 2, 3 of the frame: 14 15 / 19 20";
}

TEST_F(CompositorTest, PositionsFarOutsideTheCanvasDrawNothing)
{
    canvas(3, 3);
    solid(2, 2, 9);
    Compositor c(doc);
    for (const char *pos : {"3", "-2", "1e12", "-1e12", "1e300"}) {
        place(0, 0, 0);
        cell(0, PropertyGrid::ColX, QString::fromLatin1(pos));
        c.load();
        c.tick();
        EXPECT_EQ(picture(c), "...\n...\n...\n") << "X = " << pos;
        place(0, 0, 0);
        cell(0, PropertyGrid::ColY, QString::fromLatin1(pos));
        c.load();
        c.tick();
        EXPECT_EQ(picture(c), "...\n...\n...\n") << "Y = " << pos;
    }
}

TEST_F(CompositorTest, CellsThatAreNotNumbersCountAsZero)
{
    canvas(3, 1);
    solid(1, 1, 4);
    cell(0, PropertyGrid::ColX, "left");
    cell(0, PropertyGrid::ColY, "");
    cell(0, PropertyGrid::ColDisposal, "?");
    Compositor c(doc);
    c.tick();
    EXPECT_EQ(picture(c), "4..\n");
    cell(0, PropertyGrid::ColX, "1.5"); // halves go to the even neighbour: 2
    c.tick();
    EXPECT_EQ(picture(c), "..4\n");
}

// --- Transparency -------------------------------------------------------------

TEST_F(CompositorTest, TransparentIndexLetsTheEarlierPictureShowOnlyWhenOn)
{
    canvas(4, 1);
    solid(4, 1, 5);
    addFrame(doc, 4, 1, {3, 7, 3, 1}, 256, rampPalette(0));
    cell(1, PropertyGrid::ColTransIndex, "3");

    cell(1, PropertyGrid::ColTransparent, "1");
    Compositor on(doc);
    on.tick();
    on.tick();
    EXPECT_EQ(picture(on), "5751\n");

    cell(1, PropertyGrid::ColTransparent, "0");
    Compositor off(doc);
    off.tick();
    off.tick();
    EXPECT_EQ(picture(off), "3731\n");
}

TEST_F(CompositorTest, TransparentIndexOutsideThePaletteMatchesNoPixel)
{
    canvas(2, 1);
    solid(2, 1, 5);
    addFrame(doc, 2, 1, {0, 255}, 256, rampPalette(0));
    cell(1, PropertyGrid::ColTransparent, "1");
    for (const char *ti : {"256", "-1", "511", "x"}) {
        cell(1, PropertyGrid::ColTransIndex, QString::fromLatin1(ti));
        Compositor c(doc);
        c.tick();
        c.tick();
        // "x" counts as index 0, which then is transparent.
        EXPECT_EQ(picture(c), std::string(ti) == "x" ? "5f\n" : "0f\n") << "index " << ti;
    }
}

// --- Disposal -----------------------------------------------------------------

struct DisposalCase {
    const char *disposal;
    const char *afterNext; // the screen once the next frame is drawn
};

void PrintTo(const DisposalCase &k, std::ostream *os)
{
    *os << "disposal \"" << k.disposal << "\"";
}

class DisposalTest : public CompositorTest, public ::testing::WithParamInterface<DisposalCase>
{
};

TEST_P(DisposalTest, AppliesToTheFramesRectangleAfterItsTime)
{
    canvas(4, 2);
    solid(3, 2, 1); // frame 0 leaves the right column empty
    solid(3, 1, 2); // frame 1 at (2, 0), clipped to two pixels
    place(1, 2, 0);
    cell(1, PropertyGrid::ColDisposal, QString::fromLatin1(GetParam().disposal));
    solid(1, 1, 3); // frame 2 at (0, 1), outside frame 1's rectangle
    place(2, 0, 1);
    Compositor c(doc);
    c.tick();
    c.tick();
    EXPECT_EQ(picture(c), "1122\n111.\n") << "the disposal waits until the frame has had its time";
    c.tick();
    EXPECT_EQ(picture(c), GetParam().afterNext);
    c.tick();
    EXPECT_EQ(picture(c), "111.\n111.\n") << "the next round starts from an empty screen";
}

INSTANTIATE_TEST_SUITE_P(Values, DisposalTest,
                         ::testing::Values(
                             // Leave the picture; 4..7 are undefined and left alone too.
                             DisposalCase{"0", "1122\n311.\n"}, DisposalCase{"1", "1122\n311.\n"},
                             DisposalCase{"4", "1122\n311.\n"}, DisposalCase{"7", "1122\n311.\n"},
                             DisposalCase{"-2", "1122\n311.\n"}, DisposalCase{"?", "1122\n311.\n"},
                             // Clear the rectangle, also where frame 0 had drawn.
                             DisposalCase{"2", "11..\n311.\n"}, DisposalCase{"2.5", "11..\n311.\n"},
                             // Put back frame 0's pixel and the empty one beside it.
                             DisposalCase{"3", "111.\n311.\n"}, DisposalCase{"3.4", "111.\n311.\n"}));

TEST_F(CompositorTest, RestoringAfterAClearGoesBackToTheClearedRectangle)
{
    // What disposal 3 puts back is taken after the previous frame's disposal.
    canvas(3, 1);
    solid(3, 1, 5);
    solid(2, 1, 6);
    cell(1, PropertyGrid::ColDisposal, "2");
    solid(1, 1, 7);
    cell(2, PropertyGrid::ColDisposal, "3");
    solid(1, 1, 8);
    place(3, 2, 0);
    Compositor c(doc);
    for (const char *want : {"555\n", "665\n", "7.5\n", "..8\n"}) {
        c.tick();
        EXPECT_EQ(picture(c), want);
    }
}

// --- The loop ------------------------------------------------------------------

TEST_F(CompositorTest, LoopWrapsToFrameZeroOnAnEmptyScreen)
{
    canvas(3, 1);
    solid(1, 1, 1);
    solid(3, 1, 2);
    Compositor c(doc);
    EXPECT_EQ(c.tick().frame, 0);
    EXPECT_EQ(c.playPos(), 1);
    EXPECT_EQ(c.tick().frame, 1);
    EXPECT_EQ(c.playPos(), 0);
    EXPECT_EQ(picture(c), "222\n");
    const Compositor::Tick again = c.tick();
    EXPECT_EQ(again.frame, 0);
    EXPECT_EQ(picture(c), "1..\n") << "frame 1's picture must not carry into the next round";
}

TEST_F(CompositorTest, FramesAddedWhilePlayingJoinTheLoop)
{
    canvas(1, 1);
    solid(1, 1, 1);
    solid(1, 1, 2);
    Compositor c(doc);
    EXPECT_EQ(c.tick().frame, 0);
    solid(1, 1, 3); // added while frame 0 is on screen
    EXPECT_EQ(c.tick().frame, 1);
    EXPECT_EQ(c.tick().frame, 2);
    EXPECT_EQ(picture(c), "3\n");
    EXPECT_EQ(c.tick().frame, 0);
    // A frame added after the position wrapped plays in the next round.
    EXPECT_EQ(c.playPos(), 1);
    solid(1, 1, 4);
    int frames[4];
    for (int &f : frames)
        f = c.tick().frame;
    EXPECT_EQ(std::vector<int>(frames, frames + 4), std::vector<int>({1, 2, 3, 0}));
}

TEST_F(CompositorTest, EditsMadeWhilePlayingShowAtTheNextFrame)
{
    canvas(3, 1);
    solid(1, 1, 5, 0);
    Compositor c(doc);
    c.tick();
    EXPECT_EQ(picture(c), "5..\n");
    // The frame is replaced by one of other pixels and colours.
    doc.delPic(0);
    ColorTable colors = rampPalette(0);
    colors[6] = Rgb{1, 2, 3};
    addFrame(doc, 1, 1, {6}, 256, colors);
    place(0, 2, 0);
    cell(0, PropertyGrid::ColDelay, "7");
    const Compositor::Tick tick = c.tick();
    EXPECT_EQ(tick.intervalMs, 70);
    EXPECT_FALSE(c.covered(0, 0)) << "a new round, so the old position is empty";
    EXPECT_EQ(c.pixelAt(2, 0), (Rgba{1, 2, 3, 255}));
}

TEST_F(CompositorTest, EachPixelKeepsTheColourOfTheFrameThatDrewIt)
{
    canvas(2, 1);
    addFrame(doc, 2, 1, {1, 1}, 256, rampPalette(0));
    addFrame(doc, 1, 1, {2}, 256, rampPalette(90)); // a table of its own
    place(1, 1, 0);
    addFrame(doc, 1, 1, {3}, 2, rampPalette(5)); // index 3 beyond its 2 colours
    Compositor c(doc);
    c.tick();
    c.tick();
    EXPECT_EQ(c.pixelAt(0, 0), opaque(rampPalette(0)[1])) << "frame 0's pixel in frame 0's colour";
    EXPECT_EQ(c.pixelAt(1, 0), opaque(rampPalette(90)[2]));
    c.tick();
    EXPECT_EQ(c.pixelAt(0, 0), (Rgba{0, 0, 0, 255})) << "entries beyond a frame's colour count are black";
    EXPECT_EQ(c.pixelAt(1, 0), opaque(rampPalette(90)[2]));
}

TEST_F(CompositorTest, WithNoFramesATickShowsNothing)
{
    canvas(2, 2);
    Compositor c(doc);
    const Compositor::Tick tick = c.tick();
    EXPECT_FALSE(tick.shown);
    EXPECT_EQ(c.shownFrame(), -1);
    EXPECT_EQ(c.playPos(), 0);
}

// --- Loading --------------------------------------------------------------------

TEST_F(CompositorTest, CanvasSizeComesFromTheGlobalFieldsAtLoadOnly)
{
    const struct {
        const char *text;
        int side;
    } cases[] = {{"０", 0},  {"２０", 20}, {"20.5", 20}, {"21.5", 22},
                 {"abc", 0}, {"-5", 0},    {"", 0},      {"1e9", Compositor::kMaxCanvasSide}};
    for (const auto &k : cases) {
        doc.setGblWidth(QString::fromUtf8(k.text));
        doc.setGblHeight(QStringLiteral("3"));
        Compositor c(doc);
        EXPECT_EQ(c.scrW(), k.side) << "width \"" << k.text << "\"";
        EXPECT_EQ(c.scrH(), 3);
        EXPECT_EQ(c.screen().size(), size_t(k.side) * 3);
    }
    canvas(2, 2);
    Compositor c(doc);
    canvas(5, 5); // an open player keeps its canvas
    solid(4, 4, 1);
    c.tick();
    EXPECT_EQ(c.scrW(), 2);
    EXPECT_EQ(picture(c), "11\n11\n");
}

TEST_F(CompositorTest, ZeroCanvasPlaysWithoutDrawing)
{
    solid(3, 3, 1); // the global fields still read "０"
    Compositor c(doc);
    EXPECT_EQ(c.scrW(), 0);
    EXPECT_TRUE(c.tick().shown);
    EXPECT_TRUE(c.screen().empty());
}

TEST_F(CompositorTest, LoadStartsAgainFromFrameZeroWithClearedBuffers)
{
    canvas(2, 1);
    solid(2, 1, 3);
    solid(1, 1, 4);
    Compositor c(doc);
    c.tick();
    c.tick();
    c.load();
    EXPECT_EQ(c.playPos(), 0);
    EXPECT_EQ(c.shownFrame(), -1);
    EXPECT_EQ(c.screen(), std::vector<Rgba>(2));
    EXPECT_EQ(c.tick().frame, 0);
}

TEST_F(CompositorTest, ScreenPpmIsBinaryRgbWithTheBackdropWhereNothingIsDrawn)
{
    canvas(2, 2);
    ColorTable colors{};
    colors[0] = {10, 20, 30};
    colors[1] = {255, 0, 128};
    addFrame(doc, 2, 1, {0, 1}, 2, colors);
    Compositor c(doc);
    c.tick();
    static_assert(Compositor::kBackdrop == Rgb{0xc0, 0xc0, 0xc0});
    const QByteArray expected =
        QByteArrayLiteral("P6\n2 2\n255\n") + QByteArray("\x0a\x14\x1e\xff\x00\x80\xc0\xc0\xc0\xc0\xc0\xc0", 12);
    EXPECT_EQ(c.screenPpm().toHex(' ').toStdString(), expected.toHex(' ').toStdString());
}

// --- Against reference screens ------------------------------------------------

TEST(CompositorReferenceNeedsShared, ScreensMatchThePublicSuitesComposedFrames)
{
    // Each case names an INI file giving the logical screen and, per shown
    // frame, a raw RGBA file of the composed canvas (alpha 0 where nothing
    // is drawn). Images with no delay are combined with the images after
    // them into one shown frame, so the screen is compared after the image
    // that ends each group.
    const QDir suite(QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance/pygif-test-suite"));
    if (!suite.exists())
        GTEST_SKIP() << "needs ../shared: no pygif suite at " << suite.path().toStdString();
    for (const char *name : {"dispose-none", "dispose-keep", "dispose-restore-background", "dispose-restore-previous",
                             "animation", "transparent", "image-inside-bg", "image-overlap-bg", "image-outside-bg",
                             "images-combine", "images-overlap", "local-color-table", "animation-multi-image"}) {
        SCOPED_TRACE(name);
        const QSettings conf(suite.filePath(QString::fromLatin1(name) + ".conf"), QSettings::IniFormat);
        Document doc;
        ASSERT_TRUE(OpenGif(doc, suite.filePath(conf.value("config/input").toString())).ok());
        // The canvas is the file's logical screen, whatever the reader puts in
        // the global fields.
        doc.setGblWidth(conf.value("config/width").toString());
        doc.setGblHeight(conf.value("config/height").toString());
        const QStringList frames = conf.value("config/frames").toStringList();
        Compositor c(doc);
        int image = -1;
        for (int f = 0; f < frames.size(); ++f) {
            do {
                ASSERT_LT(image + 1, doc.picCount()) << "too few images for frame " << f;
                image = c.tick().frame;
            } while (doc.grid().TextMatrix(image + 1, PropertyGrid::ColDelay) == QStringLiteral("0") &&
                     image + 1 < doc.picCount());
            QFile file(suite.filePath(conf.value(frames[f] + "/pixels").toString()));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            const QByteArray want = file.readAll();
            ASSERT_EQ(size_t(want.size()), c.screen().size() * 4) << "frame " << f;
            for (size_t k = 0; k < c.screen().size(); ++k) {
                const auto byte = [&](size_t n) { return uint8_t(want[qsizetype(k * 4 + n)]); };
                const Rgba ref = byte(3) == 0 ? Rgba{} : Rgba{byte(0), byte(1), byte(2), byte(3)};
                EXPECT_EQ(c.screen()[k], ref) << "frame " << f << ", pixel " << k;
            }
        }
    }
}

} // namespace
