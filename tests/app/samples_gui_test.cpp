// The animated effect samples of the auto-create dialog: the embedded
// pictures, loading on a tab's first visit, and the eight timers driven
// through their tick handlers (no test waits for a timer).
#include "autocreate/samples.h"
#include "document/document.h"
#include "frmauto.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <set>

using namespace velmar;
using autocreate::sampleSets;

namespace
{

class SamplesTest : public ::testing::Test
{
  protected:
    Document doc;
    frmAuto dialog{doc};

    void selectTab(int tab) { dialog.SSTab1()->setCurrentIndex(tab); }

    // Ticks a forward timer and returns the picture it showed in its box.
    int tick(int timer)
    {
        switch (timer) {
        case 1:
            dialog.Timer1_Timer();
            return dialog.shownPicture(dialog.curTab());
        case 2:
            dialog.Timer2_Timer();
            break;
        case 3:
            dialog.Timer3_Timer();
            break;
        case 4:
            dialog.Timer4_Timer();
            break;
        case 5:
            dialog.Timer5_Timer();
            break;
        case 6:
            dialog.Timer6_Timer();
            break;
        case 7:
            dialog.Timer7_Timer();
            break;
        case 8:
            dialog.Timer8_Timer();
            break;
        }
        return dialog.shownPicture(timer + 2);
    }
};

TEST(SampleResources, EveryTabHasItsPicturesAtTheirSizes)
{
    for (int t = 0; t < autocreate::kTabCount; ++t) {
        const autocreate::SampleSet &s = sampleSets()[size_t(t)];
        EXPECT_EQ(s.firstResource, (t + 1) * 100);
        std::set<qint64> distinct;
        for (int k = 0; k < s.loaded; ++k) {
            const QImage image(autocreate::samplePath(t, k));
            ASSERT_FALSE(image.isNull()) << "tab " << t << " picture " << k;
            EXPECT_EQ(image.size(), QSize(s.width, s.height)) << "tab " << t << " picture " << k;
            // 8-bit pictures with their own colour table.
            EXPECT_EQ(image.format(), QImage::Format_Indexed8) << "tab " << t;
            EXPECT_LE(image.colorCount(), 256);
            // Compare pixels, not objects: two equal pictures would make the
            // sample stand still.
            QImage rgb = image.convertToFormat(QImage::Format_RGB32);
            distinct.insert(
                qint64(qHash(QByteArray(reinterpret_cast<const char *>(rgb.constBits()), rgb.sizeInBytes()))));
        }
        // No picture beyond the table.
        EXPECT_TRUE(QImage(autocreate::samplePath(t, s.loaded)).isNull()) << "tab " << t;
        // The samples move: most pictures differ (the coin's and the push's
        // rests and turning points may repeat one).
        EXPECT_GE(int(distinct.size()), s.loaded - 1) << "tab " << t;
    }
}

TEST(SampleResources, TimersAndCountsFollowTheTable)
{
    const int timers[11] = {1, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8};
    const int counts[11] = {6, 6, 6, 6, 6, 14, 8, 10, 12, 20, 12};
    for (int t = 0; t < 11; ++t) {
        EXPECT_EQ(sampleSets()[size_t(t)].timer, timers[t]) << t;
        EXPECT_EQ(sampleSets()[size_t(t)].cycled, counts[t]) << t;
    }
    EXPECT_EQ(sampleSets()[5].loaded, 15);
}

TEST_F(SamplesTest, LoadStartsOnlyTheFirstTabAndLoadsOnlyItsPictures)
{
    EXPECT_EQ(dialog.curTab(), 0);
    EXPECT_EQ(dialog.previewCount(0), 6);
    for (int t = 1; t < 11; ++t)
        EXPECT_EQ(dialog.previewCount(t), 0) << t;
    EXPECT_FALSE(dialog.previewPic(0, 0).isNull());
    EXPECT_TRUE(dialog.previewPic(0, 9).isNull());
    EXPECT_TRUE(dialog.timer(1)->isActive());
    for (int k = 2; k <= 8; ++k)
        EXPECT_FALSE(dialog.timer(k)->isActive()) << "Timer" << k;
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(dialog.previewPos(k), 0);
    EXPECT_EQ(dialog.timer(1)->objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(dialog.timer(8)->objectName(), QStringLiteral("Timer8"));
}

TEST_F(SamplesTest, FirstVisitOfTabNineLoadsTwentyPicturesAndPlaysEvery300ms)
{
    selectTab(9);
    EXPECT_EQ(dialog.previewCount(9), 20);
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(dialog.previewPic(k, 9).size(), QSize(60, 60)) << k;
    EXPECT_TRUE(dialog.previewPic(20, 9).isNull());
    QTimer *timer7 = dialog.timer(7);
    EXPECT_TRUE(timer7->isActive());
    EXPECT_EQ(timer7->interval(), 500);
    EXPECT_EQ(tick(7), 0);
    EXPECT_EQ(timer7->interval(), 300);
    for (int k = 1; k < 45; ++k) {
        EXPECT_EQ(tick(7), k % 20);
        EXPECT_EQ(timer7->interval(), 300);
    }
    // A later visit keeps the pictures and the running timer.
    const QImage first = dialog.previewPic(0, 9);
    selectTab(0);
    EXPECT_TRUE(timer7->isActive());
    selectTab(9);
    EXPECT_EQ(dialog.previewPic(0, 9), first);
}

TEST_F(SamplesTest, TimerOnePlaysForwardAndBackWithTwoTicksOnEachEnd)
{
    const std::vector<int> expected = {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(tick(1), expected[i]) << "tick " << i;
        // The box shows that picture of tab 0.
        EXPECT_EQ(dialog.previewBox(0)->picture(), dialog.previewPic(expected[i], 0)) << "tick " << i;
        EXPECT_EQ(dialog.timer(1)->interval(), 500);
    }
}

TEST_F(SamplesTest, TimerOneTicksFasterOnTheFadeAndTheSwitch)
{
    selectTab(1);
    tick(1);
    EXPECT_EQ(dialog.timer(1)->interval(), 250);
    selectTab(2);
    tick(1);
    EXPECT_EQ(dialog.timer(1)->interval(), 250);
    selectTab(3);
    tick(1);
    EXPECT_EQ(dialog.timer(1)->interval(), 500);
}

TEST_F(SamplesTest, TimerOneContinuesWhereItStoodAfterAVisitToTheCube)
{
    for (int i = 0; i < 7; ++i)
        tick(1); // 0 1 2 3 4 5 5: now on the way back
    selectTab(4);
    EXPECT_FALSE(dialog.timer(1)->isActive());
    EXPECT_TRUE(dialog.timer(2)->isActive());
    EXPECT_EQ(dialog.timer(2)->interval(), 300);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(tick(2), i);
    selectTab(0);
    EXPECT_TRUE(dialog.timer(1)->isActive());
    EXPECT_FALSE(dialog.timer(2)->isActive());
    EXPECT_EQ(tick(1), 4);
    // Changing among tabs 0 to 3 continues the cycle too, in that tab's box.
    selectTab(3);
    EXPECT_EQ(tick(1), 3);
    EXPECT_EQ(dialog.previewBox(3)->picture(), dialog.previewPic(3, 3));
    // Timer2 keeps its own position and its interval.
    selectTab(4);
    EXPECT_EQ(tick(2), 4);
    EXPECT_EQ(tick(2), 5);
    EXPECT_EQ(tick(2), 0);
    EXPECT_EQ(dialog.timer(2)->interval(), 300);
}

TEST_F(SamplesTest, PrismRestsOnItsFacesAndNeverShowsPictureFourteen)
{
    selectTab(5);
    EXPECT_EQ(dialog.previewCount(5), 14);
    EXPECT_FALSE(dialog.previewPic(14, 5).isNull()); // loaded all the same
    EXPECT_EQ(dialog.timer(3)->interval(), 500);
    const int intervals[5] = {2000, 200, 100, 100, 200};
    for (int i = 0; i < 3 * 14; ++i) {
        const int shown = tick(3);
        EXPECT_EQ(shown, i % 14);
        EXPECT_NE(shown, 14);
        EXPECT_EQ(dialog.timer(3)->interval(), intervals[shown % 5]) << "after picture " << shown;
    }
}

TEST_F(SamplesTest, CoinRestsOnItsFirstPictureAndThePushOnItsTwoWholePictures)
{
    selectTab(8);
    for (int i = 0; i < 30; ++i) {
        const int shown = tick(6);
        EXPECT_EQ(shown, i % 12);
        EXPECT_EQ(dialog.timer(6)->interval(), shown == 0 ? 800 : 200) << "after picture " << shown;
    }
    selectTab(10);
    for (int i = 0; i < 30; ++i) {
        const int shown = tick(8);
        EXPECT_EQ(shown, i % 12);
        EXPECT_EQ(dialog.timer(8)->interval(), shown == 0 || shown == 6 ? 800 : 200) << "after picture " << shown;
    }
}

TEST_F(SamplesTest, ScrollAndGlobeKeepSteadyRhythms)
{
    selectTab(6);
    selectTab(7);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(tick(4), i % 8);
        EXPECT_EQ(dialog.timer(4)->interval(), 500);
        EXPECT_EQ(tick(5), i % 10);
        EXPECT_EQ(dialog.timer(5)->interval(), 500);
    }
}

TEST_F(SamplesTest, LaterTimersRunOnBehindOtherTabsWithinTheirOwnSample)
{
    selectTab(6);
    tick(4);
    tick(4);
    selectTab(9); // twenty pictures in front
    EXPECT_TRUE(dialog.timer(4)->isActive());
    EXPECT_TRUE(dialog.timer(7)->isActive());
    for (int i = 0; i < 25; ++i) {
        const int shown = tick(4);
        EXPECT_LT(shown, 8);
        EXPECT_EQ(dialog.previewBox(6)->picture(), dialog.previewPic(shown, 6));
    }
    // Back on the scrolling tab the sample goes on without a blank picture.
    selectTab(6);
    const int shown = tick(4);
    EXPECT_EQ(shown, (2 + 25) % 8);
    EXPECT_FALSE(dialog.previewBox(6)->picture().isNull());
}

} // namespace
