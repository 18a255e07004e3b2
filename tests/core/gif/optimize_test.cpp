// The optimised file must look exactly like the plain one in a viewer (the
// reference viewer, built on giflib), frame for frame, and be made the way
// that makes it small.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifformat.h"
#include "gif/gifwrite.h"
#include "gif/optimize.h"
#include "support/cli.h"
#include "support/refviewer.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>

using namespace velmar;
using namespace velmar::test;

namespace
{

std::vector<Rgb> palette(int count, int seed)
{
    std::vector<Rgb> t(size_t(powerOfTwoCount(count)));
    for (int k = 0; k < count; ++k)
        t[size_t(k)] = {uint8_t(k * 7 + seed), uint8_t(255 - k - seed), uint8_t(k * 13 + 3 * seed)};
    return t;
}

// A w x h image at left, top whose index at (x, y) is paint(x, y).
GifImage image(int left, int top, int w, int h, const std::function<int(int x, int y)> &paint, int delay = 5)
{
    GifImage img;
    img.left = left;
    img.top = top;
    img.width = w;
    img.height = h;
    img.hasControl = true;
    img.control.delay = delay;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.indices.push_back(uint8_t(paint(x, y)));
    return img;
}

GifFile animation(int w, int h, std::vector<Rgb> global)
{
    GifFile gif;
    gif.screenWidth = w;
    gif.screenHeight = h;
    gif.globalTable = std::move(global);
    gif.hasLoop = true;
    gif.loopCount = 3;
    gif.comment = "optimised";
    return gif;
}

int background(int x, int y)
{
    return ((x / 16) + (y / 16)) % 4;
}

bool inside(int x, int y, int left, int top, int size)
{
    return x >= left && x < left + size && y >= top && y < top + size;
}

GifFile movingSquare()
{
    GifFile gif = animation(256, 256, palette(8, 0));
    for (int i = 0; i < 6; ++i)
        gif.images.push_back(image(0, 0, 256, 256, [i](int x, int y) {
            return inside(x, y, 20 + 5 * i, 30 + 7 * i, 8) ? 5 : background(x, y);
        }));
    return gif;
}

// A patch of noise over the background, then the background again.
GifFile changesBack()
{
    GifFile gif = animation(128, 96, palette(16, 1));
    const auto noise = [](int x, int y) {
        return inside(x, y, 30, 20, 40) ? 4 + (x * 7 + y * 11) % 12 : background(x, y);
    };
    gif.images = {image(0, 0, 128, 96, background), image(0, 0, 128, 96, noise), image(0, 0, 128, 96, background)};
    return gif;
}

// Two frames of 200 colours each, none shared.
GifFile manyColours()
{
    GifFile gif = animation(64, 64, palette(200, 0));
    const auto ramp = [](int x, int y) { return (x + 3 * y) % 200; };
    gif.images = {image(0, 0, 64, 64, ramp), image(0, 0, 64, 64, ramp)};
    gif.images[1].localTable = palette(200, 100);
    return gif;
}

// A ball on a transparent screen, bouncing; each frame cleared after it is
// shown, so what it leaves behind is transparent again.
GifFile transparentBall()
{
    GifFile gif = animation(48, 48, palette(4, 2));
    for (int i = 0; i < 5; ++i) {
        const int cx = 10 + 6 * i, cy = 24 + (i % 2 ? 8 : -8);
        GifImage img = image(0, 0, 48, 48, [&](int x, int y) {
            return (x - cx) * (x - cx) + (y - cy) * (y - cy) < 49 ? 1 + (x + y) % 2 : 3;
        });
        img.control.transparent = true;
        img.control.transparentIndex = 3;
        img.control.disposal = 2;
        gif.images.push_back(std::move(img));
    }
    return gif;
}

// Images smaller than the screen, at positions, one of them poking past it,
// with every disposal.
GifFile positioned()
{
    GifFile gif = animation(100, 80, palette(8, 3));
    const int places[][5] = {{10, 20, 30, 30, 1}, {50, 5, 40, 40, 3}, {0, 60, 100, 20, 2}, {80, 70, 30, 30, 0}};
    for (const auto &p : places) {
        gif.images.push_back(image(p[0], p[1], p[2], p[3], [&](int x, int y) { return (x / 4 + y / 3 + p[0]) % 8; }));
        gif.images.back().control.disposal = p[4];
    }
    return gif;
}

// An unchanged frame stays a frame of its own, with its delay.
GifFile repeatedFrame()
{
    GifFile gif = animation(32, 32, palette(4, 4));
    gif.images = {image(0, 0, 32, 32, background, 10), image(0, 0, 32, 32, background, 70)};
    gif.hasLoop = false;
    gif.comment.clear();
    return gif;
}

// Every pixel changes in every frame, and there are enough of them for the
// images to be finished on several threads.
GifFile everythingMoves()
{
    GifFile gif = animation(512, 320, palette(8, 5));
    for (int i = 0; i < 8; ++i)
        gif.images.push_back(image(0, 0, 512, 320, [i](int x, int y) { return ((x ^ y) / 8 + i) % 8; }));
    return gif;
}

// Large frames (more pixels than are weighed every way) in which two small
// squares at far corners move, so each image spans most of the screen
// while most of its pixels stay as they were; the width is no multiple of
// eight. Between them single dots move, one a row, each alone among
// unchanged pixels at every offset from the start of its row.
GifFile cornersMove()
{
    GifFile gif = animation(331, 260, palette(8, 6));
    for (int i = 0; i < 4; ++i)
        gif.images.push_back(image(0, 0, 331, 260, [i](int x, int y) {
            if (y >= 100 && y < 116 && x == 40 + 11 * (y - 100) + 16 * i)
                return 7;
            return inside(x, y, 3 + 2 * i, 5 + i, 6) || inside(x, y, 310 - 3 * i, 240 - i, 9) ? 6 : background(x, y);
        }));
    return gif;
}

ViewerResult view(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    return viewGif(path);
}

// Empty when a viewer shows b frame for frame as a, else the first
// difference.
std::string viewDifference(const ViewerResult &a, const ViewerResult &b)
{
    if (!b.unusable.isEmpty())
        return "unusable: " + b.unusable.toStdString();
    if (b.frames.size() != a.frames.size() || b.width != a.width || b.height != a.height)
        return "frame count or screen size";
    for (size_t i = 0; i < a.frames.size(); ++i) {
        if (b.frames[i].delay != a.frames[i].delay)
            return "delay of frame " + std::to_string(i);
        if (firstDifference(a.frames[i].rgba, b.frames[i].rgba) >= 0)
            return "pixels of frame " + std::to_string(i);
    }
    return {};
}

struct Case {
    const char *name;
    GifFile (*make)();
    std::function<void(const GifFile &optimised)> check;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class OptimizeGif : public testing::TestWithParam<Case>
{
};

TEST_P(OptimizeGif, ViewerShowsWhatItShowsOfThePlainFile)
{
    const GifFile plain = GetParam().make();
    const GifFile optimised = optimizeGif(plain);
    const Result<QByteArray> plainResult = encodeGifFile(plain);
    const Result<QByteArray> optimisedResult = encodeGifFile(optimised);
    ASSERT_TRUE(plainResult && optimisedResult)
        << plainResult.error().toStdString() << optimisedResult.error().toStdString();
    const QByteArray &plainBytes = *plainResult;
    const QByteArray &optimisedBytes = *optimisedResult;
    QTemporaryDir dir;
    const ViewerResult a = view(dir, "plain.gif", plainBytes);
    const ViewerResult b = view(dir, "optimised.gif", optimisedBytes);
    ASSERT_TRUE(a.unusable.isEmpty()) << a.unusable.toStdString();
    EXPECT_EQ(viewDifference(a, b), "");
    EXPECT_EQ(optimised.hasLoop, plain.hasLoop);
    EXPECT_EQ(optimised.loopCount, plain.loopCount);
    EXPECT_EQ(optimised.comment, plain.comment);
    EXPECT_LE(optimisedBytes.size(), plainBytes.size());
    if (GetParam().check)
        GetParam().check(optimised);
}

INSTANTIATE_TEST_SUITE_P(Animations, OptimizeGif,
                         testing::Values(Case{"MovingSquareFramesAreCutToWhatChanged", movingSquare,
                                              [](const GifFile &gif) {
                                                  for (size_t i = 1; i < gif.images.size(); ++i) {
                                                      EXPECT_LE(gif.images[i].width, 16) << "frame " << i;
                                                      EXPECT_LE(gif.images[i].height, 16) << "frame " << i;
                                                  }
                                                  EXPECT_EQ(gif.globalTable.size(), 8u)
                                                      << "the five colours and transparent";
                                              }},
                                         Case{"ChangeBackRestoresThePreviousCanvas", changesBack,
                                              [](const GifFile &gif) { EXPECT_EQ(gif.images[1].control.disposal, 3); }},
                                         Case{"MoreThan256ColoursKeepLocalTables", manyColours,
                                              [](const GifFile &gif) {
                                                  int local = 0;
                                                  for (const GifImage &img : gif.images) {
                                                      if (img.localTable.empty())
                                                          continue;
                                                      ++local;
                                                      const std::span<const uint8_t> indices = img.pixels();
                                                      const int largest =
                                                          *std::max_element(indices.begin(), indices.end());
                                                      EXPECT_EQ(int(img.localTable.size()),
                                                                powerOfTwoCount(largest + 1));
                                                  }
                                                  EXPECT_EQ(local, 1);
                                              }},
                                         Case{"TransparencyOfTheSourceSurvives", transparentBall, {}},
                                         Case{"ImagesAtPositions", positioned, {}},
                                         Case{"UnchangedFrameStaysAFrame", repeatedFrame,
                                              [](const GifFile &gif) {
                                                  EXPECT_EQ(gif.images[1].width * gif.images[1].height, 1);
                                                  // Without the leading clear code its pixel and
                                                  // the end code fit in one data byte.
                                                  EXPECT_EQ(gif.images[1].encoded.size(), 2u);
                                              }},
                                         Case{"LargeFramesLeaveTheUnchangedTransparent", cornersMove,
                                              [](const GifFile &gif) {
                                                  for (size_t i = 1; i < gif.images.size(); ++i) {
                                                      EXPECT_GT(gif.images[i].width * gif.images[i].height, 65536);
                                                      EXPECT_TRUE(gif.images[i].control.transparent) << i;
                                                  }
                                              }},
                                         Case{"EverythingMovesOnAllThreads", everythingMoves,
                                              [](const GifFile &gif) {
                                                  for (const GifImage &img : gif.images)
                                                      EXPECT_FALSE(img.encoded.empty());
                                              }}),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// velmar-cli's save-optimized: the same checks as save, a smaller file that
// looks the same.
TEST(OptimizeCli, SaveOptimizedWritesWhatSaveShowsSmaller)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.gif"), optimised = dir.filePath("optimised.gif");
    const CliRun r =
        runCli({"open", VELMAR_SOURCE_DIR "/examples/example.gif", "save", plain, "save-optimized", optimised});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(viewDifference(viewGif(plain), viewGif(optimised)), "");
    EXPECT_LT(QFile(optimised).size(), QFile(plain).size());
    const CliRun empty = runCli({"save-optimized", dir.filePath("none.gif")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err.trimmed(), QStringLiteral("velmar-cli: save-optimized: 保存するフレームがありません。"));
    EXPECT_FALSE(QFile::exists(dir.filePath("none.gif")));
}

// Every animated file of the public suites that a viewer can show, and the
// example: opened, saved plain and optimised, the two must look the same.
TEST(OptimizeConformanceNeedsShared, OptimisedSaveLooksLikeThePlainSave)
{
    QStringList files;
    QDirIterator it(QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance"), {QStringLiteral("*.gif")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    if (files.isEmpty())
        GTEST_SKIP() << "needs the GIF conformance suites of ../shared";
    files.sort();
    files << QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
    QTemporaryDir dir;
    const QString plainPath = dir.filePath("plain.gif"), optimisedPath = dir.filePath("optimised.gif");
    int compared = 0;
    qint64 plainBytes = 0, optimisedBytes = 0;
    for (const QString &path : files) {
        Document doc;
        OpenGif(doc, path);
        if (doc.picCount() < 2 || !SaveGif(doc, plainPath).ok())
            continue;
        const ViewerResult plain = viewGif(plainPath);
        if (!plain.unusable.isEmpty())
            continue;
        ASSERT_TRUE(SaveGifOptimized(doc, optimisedPath).ok()) << path.toStdString();
        EXPECT_EQ(viewDifference(plain, viewGif(optimisedPath)), "") << path.toStdString();
        ++compared;
        plainBytes += QFile(plainPath).size();
        optimisedBytes += QFile(optimisedPath).size();
    }
    std::cout << "[          ] " << compared << " animations: " << plainBytes << " bytes plain, " << optimisedBytes
              << " optimised\n";
    EXPECT_GT(compared, 40);
    EXPECT_LT(optimisedBytes, plainBytes);
}

} // namespace
