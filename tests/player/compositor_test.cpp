#include "player/compositor.h"
#include "shell/document.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmar;
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
    void cell(int frame, int col, const QString &text) { doc.grid().setTextMatrix(frame + 1, col, text); }
    void place(int frame, int x, int y)
    {
        cell(frame, PropertyGrid::ColX, QString::number(x));
        cell(frame, PropertyGrid::ColY, QString::number(y));
    }

    // The screen as rows of hex digits, for readable failure messages.
    static std::string picture(const Compositor &c)
    {
        std::string s;
        for (int y = 0; y < c.scrH(); ++y) {
            for (int x = 0; x < c.scrW(); ++x)
                s += "0123456789abcdef"[c.indexAt(x, y) & 15];
            s += '\n';
        }
        return s;
    }
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
            const int want = (x >= 5 && y >= 5) ? (y - 5) * 10 + (x - 5) + 1 : 0;
            ASSERT_EQ(c.indexAt(x, y), want) << "at " << x << "," << y << "\n" << picture(c);
        }
    // The frame's pixel (6, 6) is the last one drawn: only 7 x 7 pixels show.
    EXPECT_EQ(c.indexAt(11, 11), 67);
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
    EXPECT_EQ(picture(c), "ef00\n3400\n0000\n") << "rows 2, 3 of the frame: 14 15 / 19 20";
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
        EXPECT_EQ(picture(c), "000\n000\n000\n") << "X = " << pos;
        place(0, 0, 0);
        cell(0, PropertyGrid::ColY, QString::fromLatin1(pos));
        c.load();
        c.tick();
        EXPECT_EQ(picture(c), "000\n000\n000\n") << "Y = " << pos;
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
    EXPECT_EQ(picture(c), "400\n");
    cell(0, PropertyGrid::ColX, "1.5"); // halves go to the even neighbour: 2
    c.tick();
    EXPECT_EQ(picture(c), "404\n");
}

// --- Transparency -------------------------------------------------------------

TEST_F(CompositorTest, TransparentIndexLetsTheEarlierPictureShowOnlyWhenOn)
{
    canvas(4, 1);
    solid(4, 1, 5);
    addFrame(doc, 4, 1, {3, 7, 3, 1}, 256, rampPalette(1));
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
    addFrame(doc, 2, 1, {0, 255}, 256, rampPalette(1));
    cell(1, PropertyGrid::ColTransparent, "1");
    for (const char *ti : {"256", "-1", "511", "x"}) {
        cell(1, PropertyGrid::ColTransIndex, QString::fromLatin1(ti));
        Compositor c(doc);
        c.tick();
        c.tick();
        // "x" counts as index 0, which then is transparent.
        const uint8_t left = std::string(ti) == "x" ? 5 : 0;
        EXPECT_EQ(c.indexAt(0, 0), left) << "index " << ti;
        EXPECT_EQ(c.indexAt(1, 0), 255) << "index " << ti;
    }
}

// --- Disposal -----------------------------------------------------------------

TEST_F(CompositorTest, DisposalTwoRestoresTheScreenFromBeforeThePreviousFrame)
{
    canvas(4, 2);
    solid(4, 2, 1); // frame 0: background of 1
    solid(2, 1, 2); // frame 1: a patch of 2 at the top-left
    solid(1, 1, 3); // frame 2: one pixel at (3, 1), disposal 2
    place(2, 3, 1);
    cell(2, PropertyGrid::ColDisposal, "2");
    Compositor c(doc);
    c.tick();
    c.tick();
    EXPECT_EQ(picture(c), "2211\n1111\n");
    c.tick();
    EXPECT_EQ(picture(c), "1111\n1113\n") << "frame 1's patch must be gone";
    // The saved screen is what frame 2 was drawn over.
    EXPECT_EQ(c.savedScreen(), std::vector<uint8_t>(8, 1));
}

TEST_F(CompositorTest, DisposalThreeDrawsOverIndexZeroInTheNewFramesColours)
{
    canvas(3, 1);
    solid(3, 1, 6, 0);
    addFrame(doc, 1, 1, {4}, 256, rampPalette(50));
    place(1, 1, 0);
    cell(1, PropertyGrid::ColDisposal, "3");
    Compositor c(doc);
    c.tick();
    c.tick();
    EXPECT_EQ(picture(c), "040\n");
    const Rgb zero = rampPalette(50)[0];
    EXPECT_EQ(c.colorAt(0, 0), zero) << "index 0 through frame 1's table";
    EXPECT_EQ(c.colorAt(1, 0), rampPalette(50)[4]);
}

TEST_F(CompositorTest, DisposalTwoAfterThreeReturnsToTheClearedScreen)
{
    // The screen is saved after a frame's disposal, so "before the previous
    // frame" means after that frame cleared the screen, not before.
    canvas(3, 1);
    solid(3, 1, 5);
    solid(1, 1, 6);
    solid(1, 1, 7);
    cell(1, PropertyGrid::ColDisposal, "3");
    place(2, 2, 0);
    cell(2, PropertyGrid::ColDisposal, "2");
    Compositor c(doc);
    c.tick();
    c.tick();
    EXPECT_EQ(picture(c), "600\n");
    c.tick();
    EXPECT_EQ(picture(c), "007\n");
}

TEST_F(CompositorTest, DisposalsZeroAndOneLeaveThePreviousPicture)
{
    canvas(2, 1);
    solid(2, 1, 7);
    solid(1, 1, 8);
    for (const char *d : {"0", "1", "4", "-2"}) {
        cell(1, PropertyGrid::ColDisposal, QString::fromLatin1(d));
        Compositor c(doc);
        c.tick();
        c.tick();
        EXPECT_EQ(picture(c), "87\n") << "disposal " << d;
    }
}

// --- The loop ------------------------------------------------------------------

TEST_F(CompositorTest, LoopWrapsToFrameZeroWithTheBuffersCarriedOver)
{
    canvas(3, 1);
    solid(1, 1, 1);
    solid(3, 1, 2);
    Compositor c(doc);
    EXPECT_EQ(c.tick().frame, 0);
    EXPECT_EQ(c.playPos(), 1);
    EXPECT_EQ(c.tick().frame, 1);
    EXPECT_EQ(c.playPos(), 0);
    const Compositor::Tick again = c.tick();
    EXPECT_EQ(again.frame, 0);
    EXPECT_EQ(picture(c), "122\n") << "frame 0 drawn over frame 1's picture";
    EXPECT_EQ(c.savedScreen(), std::vector<uint8_t>({2, 2, 2}));
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
    EXPECT_EQ(c.indexAt(0, 0), 3);
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
    EXPECT_EQ(picture(c), "500\n");
    place(0, 2, 0);
    doc.pic(0).bits[0] = 6;
    doc.pic(0).colors[6] = Rgb{1, 2, 3};
    cell(0, PropertyGrid::ColDelay, "7");
    const Compositor::Tick tick = c.tick();
    EXPECT_EQ(picture(c), "506\n");
    EXPECT_EQ(tick.intervalMs, 70);
    EXPECT_EQ(c.colorAt(2, 0), (Rgb{1, 2, 3}));
}

TEST_F(CompositorTest, WholeScreenIsSeenThroughTheShownFramesColours)
{
    canvas(2, 1);
    addFrame(doc, 1, 1, {1}, 256, rampPalette(0));
    addFrame(doc, 1, 1, {2}, 256, rampPalette(90));
    place(1, 1, 0);
    Compositor c(doc);
    c.tick();
    EXPECT_EQ(c.shownFrame(), 0);
    EXPECT_EQ(c.colorAt(0, 0), rampPalette(0)[1]);
    c.tick();
    EXPECT_EQ(c.shownFrame(), 1);
    EXPECT_EQ(c.colorAt(0, 0), rampPalette(90)[1]) << "frame 0's index read through frame 1's table";
    EXPECT_EQ(c.colorAt(1, 0), rampPalette(90)[2]);
    // Entries beyond a frame's colour count are black.
    addFrame(doc, 1, 1, {3}, 2, rampPalette(5));
    EXPECT_EQ(c.tick().frame, 0);
    EXPECT_EQ(c.tick().frame, 1);
    EXPECT_EQ(c.tick().frame, 2);
    EXPECT_EQ(c.colorAt(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(c.colorAt(1, 0), (Rgb{0, 0, 0}));
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
    EXPECT_EQ(c.screen(), std::vector<uint8_t>(2, 0));
    EXPECT_EQ(c.savedScreen(), std::vector<uint8_t>(2, 0));
    EXPECT_EQ(c.tick().frame, 0);
}

TEST_F(CompositorTest, ScreenPpmIsBinaryRgbThroughTheShownColours)
{
    canvas(2, 2);
    ColorTable colors{};
    colors[0] = {10, 20, 30};
    colors[1] = {255, 0, 128};
    addFrame(doc, 2, 2, {0, 1, 1, 0}, 2, colors);
    Compositor c(doc);
    c.tick();
    const QByteArray expected =
        QByteArrayLiteral("P6\n2 2\n255\n") + QByteArray("\x0a\x14\x1e\xff\x00\x80\xff\x00\x80\x0a\x14\x1e", 12);
    EXPECT_EQ(c.screenPpm().toHex(' ').toStdString(), expected.toHex(' ').toStdString());
}

} // namespace
