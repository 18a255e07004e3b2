// velmar-cli create on the geometric tabs: the cube (4), the prism (5), the
// globe (7) and the coin (8) run from a crafted file, add their frames with
// the sizes and delays of their sequences, and refuse bases too small for
// them with the command's message.
#include "support/cli.h"
#include "support/gifbytes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using velmar::test::CliRun;
using velmar::test::runCli;

namespace
{

// One image w x h with a 4-entry global table; pixel (x, y) is index
// (x + y) % 4, so the top-left pixel is 0.
QString craftedGif(const QString &name, int w, int h)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels.push_back(uint8_t((x + y) % 4));
    velmar::test::GifBytes gif;
    gif.header(w, h, true, 1).image(0, 0, w, h, false).data(2, velmar::test::literalStream(pixels, 2)).trailer();
    return velmar::test::writeTempFile(name, gif.toByteArray());
}

struct Frame {
    int width = 0;
    int height = 0;
    QString delay;
};

std::vector<Frame> framesAfter(const QStringList &args)
{
    const CliRun r = runCli(args + QStringList{QStringLiteral("info")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    std::vector<Frame> frames;
    const QJsonArray list = QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("frames")).toArray();
    for (const auto &v : list) {
        const QJsonObject o = v.toObject();
        frames.push_back({o.value(QStringLiteral("width")).toInt(), o.value(QStringLiteral("height")).toInt(),
                          o.value(QStringLiteral("row")).toArray().at(8).toString()});
    }
    return frames;
}

class CliCreateGeometric : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        picture = craftedGif(QStringLiteral("geometric-10x6.gif"), 10, 6);
        ASSERT_EQ(framesAfter({QStringLiteral("open"), picture}).size(), 1u) << "the crafted picture opens";
    }

    QString picture;
};

TEST_F(CliCreateGeometric, CubeAddsNFramesOfSixteenTenthsTheSmallerSide)
{
    // Two copies of the picture: A = 0, B = C = 1; both deleted afterwards.
    const std::vector<Frame> frames =
        framesAfter({"open", picture, "open", picture, "create", "4", "txtSumFraNum=4,txtMasWinB=1,txtMasWinC=1"});
    ASSERT_EQ(frames.size(), 4u);
    for (const Frame &f : frames) {
        EXPECT_EQ(f.width, 10); // round(6 * 1.6) = round(9.6)
        EXPECT_EQ(f.height, 10);
        EXPECT_EQ(f.delay, QStringLiteral("10"));
    }
}

TEST_F(CliCreateGeometric, PrismAddsThreeFramesPerFaceWithItsDelays)
{
    const std::vector<Frame> frames = framesAfter({"open", picture, "create", "5", "txtSumFraNum=3,chkClear=0"});
    ASSERT_EQ(frames.size(), 1u + 9u);
    // n = 3: positions k mod 3 = 0 rest, 1 and n - 1 = 2 neighbours.
    const char *want[9] = {"200", "20", "20", "200", "20", "20", "200", "20", "20"};
    for (size_t k = 0; k < 9; ++k) {
        EXPECT_EQ(frames[k + 1].width, 12);
        EXPECT_EQ(frames[k + 1].height, 7); // round(7.2)
        EXPECT_EQ(frames[k + 1].delay, QString::fromLatin1(want[k])) << "position " << k + 1;
    }
}

TEST_F(CliCreateGeometric, GlobeAndCoinAddTheirFramesAndDeleteTheBase)
{
    std::vector<Frame> frames = framesAfter({"open", picture, "create", "7", "txtSumFraNum=3"});
    ASSERT_EQ(frames.size(), 3u);
    for (const Frame &f : frames) {
        EXPECT_EQ(f.width, 10);
        EXPECT_EQ(f.height, 6);
        EXPECT_EQ(f.delay, QStringLiteral("50"));
    }
    frames = framesAfter({"open", picture, "create", "8", "txtSumFraNum=2,optAtsusaPal=1,txtAtsusaPal=3"});
    ASSERT_EQ(frames.size(), 2u);
    for (const Frame &f : frames) {
        EXPECT_EQ(f.width, 10);
        EXPECT_EQ(f.height, 7);
        EXPECT_EQ(f.delay, QStringLiteral("10"));
    }
}

TEST_F(CliCreateGeometric, TooSmallBasesAreRefusedWithTheParameterMessage)
{
    const QString thin = craftedGif(QStringLiteral("geometric-1x5.gif"), 1, 5);
    const QString narrow = craftedGif(QStringLiteral("geometric-2x5.gif"), 2, 5);
    const QString flat = craftedGif(QStringLiteral("geometric-5x1.gif"), 5, 1);
    const QString message = QStringLiteral("パラメーターに誤りがあります。");
    for (const QStringList &args :
         {QStringList{"open", thin, "create", "8", "-"}, QStringList{"open", narrow, "create", "7", "-"},
          QStringList{"open", flat, "create", "7", "-"}}) {
        const CliRun r = runCli(args);
        EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.trimmed(), message) << args.join(' ').toStdString();
    }
    const CliRun coin = runCli({"open", narrow, "create", "8", "txtSumFraNum=2", "info"});
    EXPECT_EQ(coin.status, 0) << "a coin 2 pixels wide turns: " << coin.err.toStdString();
}

} // namespace
