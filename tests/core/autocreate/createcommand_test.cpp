// The Create command: its checks in order with their messages, the colour
// choice, the dispatch and the deletion of base windows.
#include "autocreate/createcommand.h"
#include "support/frames.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>

// Readable failure messages for the Japanese texts.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace velmar::autocreate
{
namespace
{

using Pixels = std::vector<uint8_t>;

const QString kParameter = QStringLiteral("パラメーターに誤りがあります。");

// A document of `count` frames w x h; frame k is filled with index k + 1.
void addFrames(Document &doc, int count, int w = 4, int h = 4)
{
    for (int k = 0; k < count; ++k)
        test::addFrame(doc, w, h, Pixels(size_t(w * h), uint8_t(doc.picCount() + 1)), 256, test::rampPalette(0));
}

// Runs tab with the given fields changed from their initial texts.
QString create(Document &doc, int tab, std::initializer_list<std::pair<const char *, const char *>> changes)
{
    FieldValues fields = initialFields(tab);
    for (const auto &[name, value] : changes)
        EXPECT_TRUE(setField(tab, fields, QString::fromUtf8(name), QString::fromUtf8(value))) << name;
    const Result<> created = Create(doc, tab, fields);
    // Success reads as the empty message, so a refusal must carry one.
    EXPECT_TRUE(created.ok() || !created.error().isEmpty()) << "tab " << tab << " refused without a message";
    return created.error();
}

// Everything a failed check must leave as it was.
struct Snapshot {
    int count;
    std::vector<Pixels> pixels;
    QStringList delays;
    explicit Snapshot(const Document &doc) : count(doc.picCount())
    {
        for (int f = 0; f < doc.picCount(); ++f) {
            pixels.push_back(doc.pic(f).bits);
            delays << doc.grid().TextMatrix(f + 1, PropertyGrid::ColDelay);
        }
    }
    bool operator==(const Snapshot &) const = default;
};

// --- Common checks -----------------------------------------------------------

TEST(CreateCommonChecks, NoFrameOpenComesFirstEvenWithAnEmptyCount)
{
    Document doc;
    for (int tab = 0; tab < kTabCount; ++tab)
        EXPECT_EQ(create(doc, tab, {{"txtSumFraNum", ""}}), "基本ｳｨﾝﾄﾞｳ(GIFﾌｧｲﾙ)を開いて下さい。") << "tab " << tab;
}

TEST(CreateCommonChecks, FrameCountMustBeANumberAboveOneUpToThirty)
{
    Document doc;
    addFrames(doc, 1);
    const Snapshot before(doc);
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "abc"}}), "コマ数を正しく入力して下さい。");
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", ""}}), "コマ数を正しく入力して下さい。");
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "1"}}), "コマ数を正しく入力して下さい。(2-30)");
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "30.5"}}), "コマ数を正しく入力して下さい。(2-30)");
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "-4"}}), "コマ数を正しく入力して下さい。(2-30)");
    EXPECT_EQ(Snapshot(doc), before) << "a failed check changes nothing";

    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "30"}}), QString());
    EXPECT_EQ(doc.picCount(), 1 + 29);
}

TEST(CreateCommonChecks, FractionalFrameCountPassesAndRoundsHalfToEven)
{
    Document doc;
    addFrames(doc, 1);
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "1.5"}}), QString());
    EXPECT_EQ(doc.picCount(), 2) << "1.5 rounds to 2: one turned frame";
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "4.5"}}), QString());
    EXPECT_EQ(doc.picCount(), 2 + 3) << "4.5 rounds to 4";
}

TEST(CreateCommonChecks, BaseWindowMustNameAFrameAfterRounding)
{
    Document doc;
    addFrames(doc, 3);
    const Snapshot before(doc);
    EXPECT_EQ(create(doc, 9, {{"txtMasterWindow", "3"}}), kParameter);
    EXPECT_EQ(create(doc, 9, {{"txtMasterWindow", "2.6"}}), kParameter) << "2.6 is frame 3, which does not exist";
    EXPECT_EQ(create(doc, 9, {{"txtMasterWindow", "-1"}}), kParameter);
    EXPECT_EQ(create(doc, 9, {{"txtMasterWindow", "x"}}), kParameter);
    EXPECT_EQ(Snapshot(doc), before);

    EXPECT_EQ(create(doc, 9, {{"txtMasterWindow", "2"}, {"txtSumFraNum", "2"}}), QString());
    EXPECT_EQ(doc.picCount(), 4);
    EXPECT_EQ(doc.pic(3).bits[5], 3) << "frame 2 (filled with 3) was turned";
    EXPECT_EQ(create(doc, 9, {{"txtMasterWindow", "1.4"}, {"txtSumFraNum", "2"}}), QString());
    EXPECT_EQ(doc.pic(4).bits[5], 2) << "1.4 names frame 1";
}

TEST(CreateCommonChecks, WindowChecksComeBeforeTheTabsOwnChecks)
{
    Document doc;
    addFrames(doc, 1);
    EXPECT_EQ(create(doc, 0, {{"txtMasterWindow", "5"}, {"optClrPalette", "1"}, {"txtClrPal", "x"}}), kParameter);
    EXPECT_EQ(create(doc, 4, {{"txtMasWinC", "1"}, {"optBackPal", "1"}, {"txtBackPal", "x"}}), kParameter);
    EXPECT_EQ(create(doc, 10, {{"txtMasterWindow2", "1"}}), kParameter) << "default window 2 with one frame";
}

TEST(CreateCommonChecks, RefusesACountWhoseFramesWouldPassTheLastFrameNumber)
{
    Document doc;
    // 32760 one-pixel frames: the erase with n = 5 adds 9, the limit is 32768.
    for (int k = 0; k < Document::kMaxFrames - 8; ++k)
        test::addFrame(doc, 1, 1, {0}, 2, test::rampPalette(0));
    const int count = doc.picCount();
    EXPECT_EQ(create(doc, 1, {{"txtSumFraNum", "5"}}), kParameter);
    EXPECT_EQ(doc.picCount(), count);
    EXPECT_EQ(create(doc, 1, {{"txtSumFraNum", "4"}}), QString()) << "7 frames fit";
    EXPECT_EQ(doc.picCount(), count + 7);
}

// --- Tab checks and colours ---------------------------------------------------

TEST(CreateTabChecks, TileEraseRefusesZeroNegativeAndTooManyDivisions)
{
    Document doc;
    addFrames(doc, 1, 10, 10);
    const Snapshot before(doc);
    EXPECT_EQ(create(doc, 0, {{"txtDivX", "0"}}), kParameter);
    EXPECT_EQ(create(doc, 0, {{"txtDivY", "y"}}), kParameter);
    EXPECT_EQ(create(doc, 0, {{"txtDivX", "-2"}}), kParameter);
    EXPECT_EQ(create(doc, 0, {{"txtDivX", "11"}}), kParameter) << "110 tiles on 100 pixels";
    EXPECT_EQ(create(doc, 0, {{"txtDivX", "1e12"}}), kParameter);
    EXPECT_EQ(Snapshot(doc), before);
    EXPECT_EQ(create(doc, 0, {{"txtDivX", "3"}, {"txtDivY", "0.4"}}), QString()) << "0.4 is 0: one tile per row";
    EXPECT_EQ(doc.picCount(), 1 + 9);
}

TEST(CreateTabChecks, EraseColourMessagesAndBlackFromTheBasePalette)
{
    Document doc;
    ColorTable colors{};
    colors[0] = {50, 50, 50};
    colors[1] = {200, 0, 0};
    colors[2] = {1, 2, 1}; // nearest to black
    test::addFrame(doc, 2, 2, {1, 1, 1, 1}, 3, colors);
    const Snapshot before(doc);
    EXPECT_EQ(create(doc, 1, {{"optClrPalette", "1"}, {"txtClrPal", "256"}}), "消去色に誤りがあります。(0-255)");
    EXPECT_EQ(create(doc, 1, {{"optClrPalette", "1"}, {"txtClrPal", "-0.1"}}), "消去色に誤りがあります。(0-255)");
    EXPECT_EQ(create(doc, 1, {{"optClrPalette", "1"}, {"txtClrPal", "x"}}), "消去色に誤りがあります。");
    EXPECT_EQ(create(doc, 0, {{"txtDivX", "1"}, {"txtDivY", "1"}, {"optClrPalette", "1"}, {"txtClrPal", "256"}}),
              "消去色に誤りがあります。(0-255)");
    EXPECT_EQ(Snapshot(doc), before);

    // The black option ignores the palette field.
    EXPECT_EQ(create(doc, 1, {{"txtClrPal", "x"}, {"txtSumFraNum", "2"}}), QString());
    EXPECT_EQ(doc.pic(2).bits, (Pixels{2, 2, 2, 2})) << "blank frame in the entry nearest to black";
    EXPECT_EQ(create(doc, 1, {{"optClrPalette", "1"}, {"txtClrPal", "0.5"}, {"txtSumFraNum", "2"}}), QString());
    EXPECT_EQ(doc.pic(5).bits, (Pixels{0, 0, 0, 0})) << "0.5 rounds to 0";
}

TEST(CreateTabChecks, CubeReportsTheBackgroundBeforeTheBorder)
{
    Document doc;
    addFrames(doc, 1);
    EXPECT_EQ(create(doc, 4, {{"optBackPal", "1"}, {"txtBackPal", "300"}, {"optHuchiPal", "1"}, {"txtHuchiPal", "x"}}),
              "背景色に誤りがあります。(0-255)");
    EXPECT_EQ(create(doc, 4, {{"optHuchiPal", "1"}, {"txtHuchiPal", "x"}}), "縁取り色に誤りがあります。");
    EXPECT_EQ(create(doc, 5, {{"optHuchiPal", "1"}, {"txtHuchiPal", "256"}}), "縁取り色に誤りがあります。(0-255)");
    EXPECT_EQ(create(doc, 8, {{"optAtsusaPal", "1"}, {"txtAtsusaPal", "a"}}), "厚さ部分の色に誤りがあります。");
    EXPECT_EQ(create(doc, 7, {{"optBackPal", "1"}, {"txtBackPal", "-1"}}), "背景色に誤りがあります。(0-255)");
    EXPECT_EQ(doc.picCount(), 1);
}

TEST(CreateTabChecks, TickerWidthOutsideOneToTheBaseWidthShowsTheRangeMessage)
{
    Document doc;
    addFrames(doc, 1, 6, 2);
    const Snapshot before(doc);
    const QString range = QStringLiteral("横幅に誤りがあります。(0-255)");
    EXPECT_EQ(create(doc, 6, {{"optYokohabaShitei", "1"}, {"txtYokohaba", "0"}}), range);
    EXPECT_EQ(create(doc, 6, {{"optYokohabaShitei", "1"}, {"txtYokohaba", "7"}}), range);
    EXPECT_EQ(create(doc, 6, {{"optYokohabaShitei", "1"}, {"txtYokohaba", "w"}}), "横幅に誤りがあります。");
    EXPECT_EQ(Snapshot(doc), before);

    EXPECT_EQ(create(doc, 6, {{"optYokohabaShitei", "1"}, {"txtYokohaba", "2.5"}, {"chkClear", "0"}}), QString());
    ASSERT_EQ(doc.picCount(), 1 + 5);
    EXPECT_EQ(doc.pic(1).lWidth, 2) << "2.5 rounds to 2";
    EXPECT_EQ(create(doc, 6, {{"txtYokohaba", "w"}, {"chkClear", "0"}}), QString()) << "own width ignores the field";
    EXPECT_EQ(doc.pic(6).lWidth, 6);
}

TEST(CreateTabChecks, DissolveAndPushRefuseWindowsOfDifferentSizes)
{
    Document doc;
    addFrames(doc, 1, 4, 4);
    addFrames(doc, 1, 4, 3);
    EXPECT_EQ(create(doc, 2, {}), kParameter);
    EXPECT_EQ(create(doc, 10, {}), kParameter);
    EXPECT_EQ(doc.picCount(), 2);
}

TEST(CreateTabChecks, RotationBackgroundFromThePaletteFieldRoundsHalfToEven)
{
    Document doc;
    test::addFrame(doc, 4, 4, Pixels(16, 9), 256, test::rampPalette(0));
    EXPECT_EQ(create(doc, 9, {{"txtSumFraNum", "2"}, {"optBackPal", "1"}, {"txtBackPal", "2.5"}}), QString());
    EXPECT_EQ(doc.pic(1).bits[0], 2) << "corner in background 2";
    EXPECT_EQ(doc.pic(1).bits[5], 9);
}

// --- Deletion step ---------------------------------------------------------------

TEST(CreateDeletion, DissolveDeletesToAndTheCopyTakesItsPlace)
{
    Document doc;
    addFrames(doc, 2, 2, 2); // frame 0 filled with 1, frame 1 with 2
    EXPECT_EQ(create(doc, 2, {{"txtSumFraNum", "3"}}), QString());
    // 2 + 5 frames, then To (frame 1) goes: From, two dissolves, the copy of To, two copies.
    ASSERT_EQ(doc.picCount(), 6);
    EXPECT_EQ(doc.pic(0).bits, Pixels(4, 1));
    EXPECT_EQ(doc.pic(3).bits, Pixels(4, 2));
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(doc.grid().TextMatrix(f + 1, 0), QString::number(f)) << "grid numbered in step";
}

TEST(CreateDeletion, DissolveOfAWindowIntoItselfDeletesNothing)
{
    Document doc;
    addFrames(doc, 2, 2, 2);
    EXPECT_EQ(create(doc, 2, {{"txtSumFraNum", "3"}, {"txtToWinNo", "0.4"}}), QString());
    EXPECT_EQ(doc.picCount(), 2 + 5) << "0.4 and 0 are the same window";
}

TEST(CreateDeletion, PushDeletesWindowTwoEvenWhenItLiesInFront)
{
    Document doc;
    addFrames(doc, 2, 2, 2);
    EXPECT_EQ(create(doc, 10, {{"txtSumFraNum", "3"}, {"txtMasterWindow1", "1"}, {"txtMasterWindow2", "0"}}),
              QString());
    // Added: one pushed frame and a copy of window 2 (frame 0); frame 0 goes.
    ASSERT_EQ(doc.picCount(), 3);
    EXPECT_EQ(doc.pic(0).bits, Pixels(4, 2)) << "window 1 moved to 0";
    EXPECT_EQ(doc.pic(2).bits, Pixels(4, 1)) << "the copy of window 2 ends the sequence";
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), "50");
}

TEST(CreateDeletion, PushThatAddsNothingKeepsWindowTwo)
{
    Document doc;
    addFrames(doc, 2, 2, 2);
    EXPECT_EQ(create(doc, 10, {{"txtSumFraNum", "2"}}), QString());
    EXPECT_EQ(doc.picCount(), 2) << "no copy was made, so window 2 must stay";
}

TEST(CreateDeletion, TickerDeletesTheBaseOnlyWhenTicked)
{
    Document doc;
    addFrames(doc, 2, 4, 1);
    EXPECT_EQ(create(doc, 6, {{"txtSumFraNum", "2"}, {"chkClear", "0"}}), QString());
    EXPECT_EQ(doc.picCount(), 4);
    EXPECT_EQ(create(doc, 6, {{"txtSumFraNum", "2"}, {"txtMasterWindow", "1"}}), QString());
    EXPECT_EQ(doc.picCount(), 5);
    EXPECT_EQ(doc.pic(1).lWidth, 4);
    EXPECT_EQ(doc.pic(1).bits, Pixels(4, 1)) << "frame 1 (filled with 2) is gone; the first ticker frame moved up";
}

// The cube and prism rule, run directly on three windows.
struct ThreeWindowCase {
    int a, b, c;
    std::vector<int> survivors; // original fill values left, in order
    QStringList fields;         // the window fields afterwards
};

TEST(CreateDeletion, ThreeWindowsAreEachDeletedOnceAndTheFieldsShowLoweredNumbers)
{
    const std::vector<ThreeWindowCase> cases = {
        {0, 1, 2, {4}, {"0", "0", "0"}},       {0, 0, 2, {2, 4}, {"0", "0", "1"}}, {2, 0, 1, {4}, {"2", "0", "0"}},
        {1, 1, 1, {1, 3, 4}, {"1", "1", "1"}}, {3, 2, 0, {2}, {"3", "2", "0"}},
    };
    for (const ThreeWindowCase &k : cases) {
        Document doc;
        addFrames(doc, 4, 1, 1); // fills 1, 2, 3, 4
        FieldValues fields = initialFields(4);
        const TabDescriptor &tab = tabDescriptors()[4];
        fields[tab.windowFields[0]] = QString::number(k.a);
        fields[tab.windowFields[1]] = QString::number(k.b);
        fields[tab.windowFields[2]] = QString::number(k.c);
        CreateArgs args;
        args.windows = {k.a, k.b, k.c};
        deleteBaseWindows(doc, tab, args, fields);
        std::vector<int> left;
        for (int f = 0; f < doc.picCount(); ++f)
            left.push_back(doc.pic(f).bits[0] - 1);
        std::vector<int> expected;
        for (int v : k.survivors)
            expected.push_back(v - 1);
        EXPECT_EQ(left, expected) << k.a << "," << k.b << "," << k.c;
        EXPECT_EQ((QStringList{fields[tab.windowFields[0]], fields[tab.windowFields[1]], fields[tab.windowFields[2]]}),
                  k.fields)
            << k.a << "," << k.b << "," << k.c;
    }
}

TEST(CreateDeletion, UntickedCubeDeletesNothing)
{
    Document doc;
    addFrames(doc, 3, 1, 1);
    FieldValues fields = initialFields(5);
    setField(5, fields, QStringLiteral("chkClear"), QStringLiteral("0"));
    CreateArgs args;
    args.windows = {0, 1, 2};
    deleteBaseWindows(doc, tabDescriptors()[5], args, fields);
    EXPECT_EQ(doc.picCount(), 3);
}

// --- The descriptor table and field helpers --------------------------------------

TEST(CreateDescriptors, EveryNameTheCommandReadsIsAFieldOfItsTab)
{
    for (const TabDescriptor &tab : tabDescriptors()) {
        std::set<QString> names;
        for (const FieldSpec &f : tab.fields)
            EXPECT_TRUE(names.insert(f.objectName).second) << "duplicate " << f.objectName.toStdString();
        EXPECT_TRUE(names.count(tab.countField)) << tab.index;
        for (const QString &w : tab.windowFields)
            EXPECT_TRUE(names.count(w)) << w.toStdString();
        for (const ColourSetting &c : tab.colours) {
            EXPECT_TRUE(names.count(c.presetOption)) << c.presetOption.toStdString();
            EXPECT_TRUE(names.count(c.paletteField)) << c.paletteField.toStdString();
        }
        if (!tab.clearCheck.isEmpty()) {
            EXPECT_TRUE(names.count(tab.clearCheck)) << tab.clearCheck.toStdString();
        }
        EXPECT_NE(tab.action, nullptr) << tab.index;
    }
}

TEST(CreateDescriptors, InitialTextsMatchTheDialog)
{
    const auto &tabs = tabDescriptors();
    ASSERT_EQ(tabs.size(), size_t(kTabCount));
    EXPECT_EQ(tabs[8].caption, "回るコイン");
    EXPECT_EQ(initialFields(8).value("txtSumFraNum_9"), "12");
    EXPECT_EQ(initialFields(9).value("txtSumFraNum_10"), "8");
    EXPECT_EQ(initialFields(10).value("txtMasterWindow2_11"), "1");
    EXPECT_EQ(initialFields(2).value("txtToWinNo"), "1");
    EXPECT_EQ(initialFields(0).value("txtDivX"), "10");
    EXPECT_EQ(initialFields(4).value("optBackWhite_5"), "1");
    EXPECT_EQ(initialFields(4).value("chkClear_5"), "1");
    EXPECT_FALSE(initialFields(9).contains("chkClear_10")) << "rotation has no delete option";
}

TEST(CreateDescriptors, ChoosingAnOptionClearsTheOtherOptionOfItsGroupOnly)
{
    FieldValues fields = initialFields(4);
    ASSERT_TRUE(setField(4, fields, QStringLiteral("optBackPal"), QStringLiteral("1")));
    EXPECT_EQ(fields.value("optBackWhite_5"), "0");
    EXPECT_EQ(fields.value("optHuchiBlack_5"), "1") << "the border group is untouched";
    EXPECT_FALSE(setField(4, fields, QStringLiteral("txtDivX"), QStringLiteral("3"))) << "not a field of tab 4";
    EXPECT_TRUE(setField(10, fields, QStringLiteral("txtMasterWindow1_11"), QStringLiteral("2")));
    EXPECT_EQ(fields.value("txtMasterWindow1_11"), "2");
}

} // namespace
} // namespace velmar::autocreate
