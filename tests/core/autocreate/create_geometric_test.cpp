// The Create command on the geometric tabs: the cube and prism loops (frame
// count, sizes, delays, base-window deletion with lowered fields) and the
// dispatch of the globe and the coin with their size checks.
#include "autocreate/createcommand.h"
#include "document/document.h"
#include "effects/cube.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <set>

static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace velmar::autocreate
{
using velmar::test::greys;

namespace
{

using Pixels = std::vector<uint8_t>;

const QString kParameter = QStringLiteral("パラメーターに誤りがあります。");

// A w x h frame filled with index fill (grey fill).
int addSolid(Document &doc, int w, int h, uint8_t fill)
{
    return test::addFrame(doc, w, h, Pixels(size_t(w) * size_t(h), fill), 256, greys());
}

QString create(Document &doc, int tab, FieldValues &fields,
               std::initializer_list<std::pair<const char *, const char *>> changes)
{
    for (const auto &[name, value] : changes)
        EXPECT_TRUE(setField(tab, fields, QString::fromUtf8(name), QString::fromUtf8(value))) << name;
    const Result<> created = Create(doc, tab, fields);
    // Success reads as the empty message, so a refusal must carry one.
    EXPECT_TRUE(created.ok() || !created.error().isEmpty()) << "tab " << tab << " refused without a message";
    return created.error();
}

QString create(Document &doc, int tab, std::initializer_list<std::pair<const char *, const char *>> changes)
{
    FieldValues fields = initialFields(tab);
    return create(doc, tab, fields, changes);
}

QString delay(const Document &doc, int frame)
{
    return doc.grid().TextMatrix(frame + 1, PropertyGrid::ColDelay);
}

std::set<uint8_t> coloursIn(const PicInfo &p)
{
    return std::set<uint8_t>(p.bits.begin(), p.bits.end());
}

// --- Cube loop ---------------------------------------------------------------

TEST(CreateCubeLoop, FiveFramesOfSixteenTenthsTheSmallerSideTurningHalfATurn)
{
    // A is 100 x 60: s = 60, frames round(96) = 96 pixels square. The five
    // angles 0, pi/5, ..., 4 pi/5 are those drawCube gets; the half turn
    // itself (window A again) is left out.
    Document doc;
    const int a = addSolid(doc, 100, 60, 1);
    const int b = addSolid(doc, 100, 60, 2);
    const int c = addSolid(doc, 100, 60, 3);
    ASSERT_EQ(create(doc, 4,
                     {{"txtMasWinA", "0"},
                      {"txtMasWinB", "1"},
                      {"txtMasWinC", "2"},
                      {"chkClear", "0"},
                      {"optBackPal", "1"},
                      {"txtBackPal", "200"},
                      {"optHuchiPal", "1"},
                      {"txtHuchiPal", "9"}}),
              QString());
    ASSERT_EQ(doc.picCount(), 3 + 5);
    Document reference;
    addSolid(reference, 100, 60, 1);
    addSolid(reference, 100, 60, 2);
    addSolid(reference, 100, 60, 3);
    for (int k = 0; k < 5; ++k) {
        const PicInfo &f = doc.pic(3 + k);
        EXPECT_EQ(f.lWidth, 96);
        EXPECT_EQ(f.lHeight, 96);
        EXPECT_EQ(delay(doc, 3 + k), QStringLiteral("10"));
        const int r = test::addedFrame(reference.NewWindow(0, 96, 96, 200));
        drawCube(reference, r, k * 3.14159265358979 / 5, 60, 9, a, b, c);
        EXPECT_EQ(f.bits, reference.pic(r).bits) << "frame " << k << " is not the cube at " << k << " pi / 5";
    }
    EXPECT_EQ(coloursIn(doc.pic(3)), std::set<uint8_t>({1, 9, 200})) << "at rest only window A shows";
    EXPECT_EQ(doc.globals().width, QStringLiteral("96"));
}

TEST(CreateCubeLoop, AFractionalCountStepsByItsOwnAngle)
{
    // n = 2.5: steps of 0.4 pi give 0, 0.4 pi and 0.8 pi; 1.2 pi is past the limit.
    Document doc;
    addSolid(doc, 10, 10, 1);
    ASSERT_EQ(create(doc, 4, {{"txtSumFraNum", "2.5"}, {"chkClear", "0"}}), QString());
    EXPECT_EQ(doc.picCount(), 1 + 3);
    EXPECT_EQ(cubeFramesAdded(2.5), 3);
}

TEST(CreateCubeLoop, DeletingThreeDistinctWindowsLeavesTheNewFramesFromZero)
{
    Document doc;
    addSolid(doc, 20, 20, 1);
    addSolid(doc, 20, 20, 2);
    addSolid(doc, 20, 20, 3);
    FieldValues fields = initialFields(4);
    ASSERT_EQ(create(doc, 4, fields, {{"txtMasWinA", "0"}, {"txtMasWinB", "1"}, {"txtMasWinC", "2"}}), QString());
    EXPECT_EQ(fields.value("txtMasWinA"), "0");
    EXPECT_EQ(fields.value("txtMasWinB"), "0");
    EXPECT_EQ(fields.value("txtMasWinC"), "0");
    ASSERT_EQ(doc.picCount(), 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(doc.pic(k).lWidth, 32) << "frame " << k;
        EXPECT_EQ(doc.grid().TextMatrix(k + 1, 0), QString::number(k));
    }
    EXPECT_TRUE(coloursIn(doc.pic(0)).count(1)) << "the first new frame shows window A's picture";
}

TEST(CreateCubeLoop, WindowsAAndBTheSameDeletesThatWindowOnceAndKeepsTheOther)
{
    Document doc;
    addSolid(doc, 20, 20, 1);
    addSolid(doc, 20, 20, 2);
    addSolid(doc, 20, 20, 3);
    FieldValues fields = initialFields(4);
    ASSERT_EQ(create(doc, 4, fields, {{"txtMasWinA", "0"}, {"txtMasWinB", "0"}, {"txtMasWinC", "2"}}), QString());
    EXPECT_EQ(fields.value("txtMasWinC"), "1") << "C lowered once for A";
    ASSERT_EQ(doc.picCount(), 1 + 5);
    EXPECT_EQ(doc.pic(0).bits, Pixels(400, 2)) << "frame 1 stays, now frame 0";
    EXPECT_EQ(doc.pic(1).lWidth, 32);
}

// --- Prism loop -----------------------------------------------------------------

TEST(CreatePrismLoop, FourPerFaceGivesTwelveFramesWithRestAndNeighbourDelays)
{
    Document doc;
    addSolid(doc, 50, 30, 1);
    addSolid(doc, 50, 30, 2);
    addSolid(doc, 50, 30, 3);
    ASSERT_EQ(
        create(
            doc, 5,
            {{"txtSumFraNum", "4"}, {"txtMasWinD", "0"}, {"txtMasWinE", "1"}, {"txtMasWinF", "2"}, {"chkClear", "0"}}),
        QString());
    ASSERT_EQ(doc.picCount(), 3 + 12);
    // Positions 1 to 12 of the sequence.
    const char *want[12] = {"200", "20", "10", "20", "200", "20", "10", "20", "200", "20", "10", "20"};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(delay(doc, 3 + k), QString::fromLatin1(want[k])) << "position " << k + 1;
        EXPECT_EQ(doc.pic(3 + k).lWidth, 60);
        EXPECT_EQ(doc.pic(3 + k).lHeight, 36);
    }
    // The resting frames show faces D, E, F squarely, one window each.
    for (int face = 0; face < 3; ++face) {
        const std::set<uint8_t> colours = coloursIn(doc.pic(3 + 4 * face));
        for (uint8_t window : {1, 2, 3})
            EXPECT_EQ(colours.count(window), window == face + 1 ? 1u : 0u)
                << "resting frame " << face << ", window colour " << int(window);
    }
}

TEST(CreatePrismLoop, AFractionalCountComparesTheLastPositionAsTyped)
{
    // n = 2.5: positions run k mod 2; n - 1 = 1.5 is never a position, so the
    // delays alternate "200" and "20". A third of a turn in 2.5 steps gives
    // 8 frames before the limit just under a whole turn.
    Document doc;
    addSolid(doc, 10, 10, 1);
    ASSERT_EQ(create(doc, 5, {{"txtSumFraNum", "2.5"}, {"chkClear", "0"}}), QString());
    ASSERT_EQ(doc.picCount(), 1 + 8);
    EXPECT_EQ(prismFramesAdded(2.5), 8);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(delay(doc, 1 + k), k % 2 == 0 ? QStringLiteral("200") : QStringLiteral("20")) << "frame " << k;
}

TEST(CreatePrismLoop, DeletesItsThreeWindowsWhenTicked)
{
    Document doc;
    addSolid(doc, 10, 10, 1);
    addSolid(doc, 10, 10, 2);
    addSolid(doc, 10, 10, 3);
    addSolid(doc, 10, 10, 4);
    FieldValues fields = initialFields(5);
    ASSERT_EQ(
        create(doc, 5, fields, {{"txtSumFraNum", "2"}, {"txtMasWinD", "3"}, {"txtMasWinE", "1"}, {"txtMasWinF", "2"}}),
        QString());
    EXPECT_EQ(fields.value("txtMasWinE"), "1");
    EXPECT_EQ(fields.value("txtMasWinF"), "1") << "2 lowered for E";
    ASSERT_EQ(doc.picCount(), 1 + 6);
    EXPECT_EQ(doc.pic(0).bits, Pixels(100, 1));
}

// --- Globe and coin -----------------------------------------------------------

TEST(CreateGlobe, RefusesBasesNarrowerThanThreeOrLowerThanTwoBeforeTheColour)
{
    Document doc;
    addSolid(doc, 2, 5, 1);
    addSolid(doc, 5, 1, 1);
    addSolid(doc, 3, 2, 1);
    EXPECT_EQ(create(doc, 7, {{"txtMasterWindow", "0"}, {"optBackPal", "1"}, {"txtBackPal", "x"}}), kParameter);
    EXPECT_EQ(create(doc, 7, {{"txtMasterWindow", "1"}}), kParameter);
    EXPECT_EQ(doc.picCount(), 3);
    EXPECT_EQ(create(doc, 7, {{"txtMasterWindow", "2"}, {"optBackPal", "1"}, {"txtBackPal", "x"}}),
              QStringLiteral("背景色に誤りがあります。"));
    EXPECT_EQ(create(doc, 7, {{"txtMasterWindow", "2"}, {"chkClear", "0"}}), QString());
    EXPECT_EQ(doc.picCount(), 3 + 5);
}

TEST(CreateGlobe, BlackBackgroundFromTheBasePaletteAndTheBaseDeleted)
{
    Document doc;
    addSolid(doc, 4, 4, 7);
    ColorTable pal = greys();
    pal[0] = {255, 255, 255};
    pal[1] = {40, 40, 40};
    pal[2] = {1, 0, 0}; // nearest to black
    test::addFrame(doc, 9, 7, Pixels(63, 1), 256, pal);
    ASSERT_EQ(create(doc, 7, {{"txtSumFraNum", "3"}, {"txtMasterWindow", "1"}}), QString());
    ASSERT_EQ(doc.picCount(), 1 + 3) << "base window 1 deleted";
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(doc.pic(k).bits[0], 2) << "corner outside the globe, frame " << k;
        EXPECT_EQ(doc.pic(k).bits[3 * 9 + 4], 1) << "centre of the disc, frame " << k;
    }
}

TEST(CreateCardTurn, RefusesAOnePixelWideBaseAndRunsOnTwo)
{
    Document doc;
    addSolid(doc, 1, 4, 1);
    addSolid(doc, 2, 4, 1);
    EXPECT_EQ(create(doc, 8, {{"txtMasterWindow", "0"}}), kParameter);
    EXPECT_EQ(doc.picCount(), 2);
    EXPECT_EQ(create(doc, 8, {{"txtSumFraNum", "3"}, {"txtMasterWindow", "1"}, {"chkClear", "0"}}), QString());
    EXPECT_EQ(doc.picCount(), 2 + 3);
}

TEST(CreateCardTurn, ThicknessColourFromThePaletteField)
{
    // The picture: background column 0, picture columns 1 to 4. At a quarter
    // turn (n = 4, second frame) the edge shows in the chosen colour 77.
    Document doc;
    Pixels px(5 * 4, 100);
    for (int y = 0; y < 4; ++y)
        px[size_t(y * 5)] = 0;
    test::addFrame(doc, 5, 4, px, 256, greys());
    ASSERT_EQ(create(doc, 8, {{"txtSumFraNum", "4"}, {"optAtsusaPal", "1"}, {"txtAtsusaPal", "77"}}), QString());
    ASSERT_EQ(doc.picCount(), 4) << "four frames added, the base deleted";
    EXPECT_TRUE(coloursIn(doc.pic(1)).count(77));
    EXPECT_FALSE(coloursIn(doc.pic(0)).count(77)) << "no edge at rest";
}

} // namespace
} // namespace velmar::autocreate
