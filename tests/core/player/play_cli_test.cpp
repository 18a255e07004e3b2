// velmar-cli play, run as a script would run it, checked against the
// compositor run in this process on the same document.
#include "document/document.h"
#include "document/gifio.h"
#include "player/compositor.h"
#include "support/cli.h"
#include "support/gifbytes.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velmar;

using velmar::test::CliRun;
using velmar::test::runCli;

namespace
{

QString examplePath()
{
    return QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
}

class PlayCliTest : public ::testing::Test
{
  protected:
    QTemporaryDir tmp;
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(QStringLiteral(VELMAR_CLI_PATH)).isExecutable())
            << "velmar-cli is built with the tests, expected at " << VELMAR_CLI_PATH;
        ASSERT_TRUE(tmp.isValid());
    }
    QString dir(const char *name) const { return tmp.filePath(QString::fromLatin1(name)); }
};

TEST_F(PlayCliTest, EmptyDocumentFailsWithoutWritingScreens)
{
    const CliRun r = runCli({"play", "3", dir("out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no frames"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir("out") + "/0000.ppm"));
}

TEST_F(PlayCliTest, TickCountMustBeAWholeNumber)
{
    for (const char *k : {"x", "-1", "2.5", ""}) {
        const CliRun r = runCli({"play", QString::fromLatin1(k), dir("out")});
        EXPECT_EQ(r.status, 1) << "K = \"" << k << "\"";
        EXPECT_TRUE(r.err.contains(QStringLiteral("tick count"))) << r.err.toStdString();
    }
    const CliRun none = runCli({"play", "0", dir("none")});
    EXPECT_EQ(none.status, 0) << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty());
}

// Runs velmar-cli open FILE play K on the file and checks every printed line
// and every written screen against the compositor run here on the same
// document. K covers two rounds and one frame more, so the wrap to frame 0
// with the buffers carried over is part of what is compared.
void expectCliMatchesCompositor(const QString &gif, const QString &outDir)
{
    Document doc;
    const OpenGifResult read = OpenGif(doc, gif);
    ASSERT_TRUE(read.ok() && doc.picCount() > 0) << gif.toStdString() << ": " << read.error().toStdString();
    const int ticks = 2 * doc.picCount() + 1;
    const CliRun r = runCli({"open", gif, "play", QString::number(ticks), outDir});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), ticks) << r.out.toStdString();

    Compositor player(doc);
    ASSERT_GT(player.scrW(), 0) << "the file sets the canvas size";
    for (int t = 0; t < ticks; ++t) {
        const Compositor::Tick tick = player.tick();
        EXPECT_EQ(lines[t], QStringLiteral("%1 %2").arg(tick.frame).arg(tick.intervalMs)) << "tick " << t;
        QFile ppm(outDir + QStringLiteral("/%1.ppm").arg(t, 4, 10, QLatin1Char('0')));
        ASSERT_TRUE(ppm.open(QIODevice::ReadOnly)) << ppm.fileName().toStdString();
        const QByteArray written = ppm.readAll();
        EXPECT_TRUE(written.startsWith(QByteArrayLiteral("P6\n") + QByteArray::number(player.scrW()) + ' ' +
                                       QByteArray::number(player.scrH()) + "\n255\n"))
            << "tick " << t;
        EXPECT_EQ(written.size(), player.screenPpm().size()) << "tick " << t;
        EXPECT_TRUE(written == player.screenPpm()) << "screen of tick " << t << " differs";
    }
    EXPECT_EQ(lines[doc.picCount()].section(' ', 0, 0), QStringLiteral("0")) << "the loop wraps to frame 0";
}

TEST_F(PlayCliTest, ExampleAnimationScreensAndTimesMatchTheCompositor)
{
    ASSERT_TRUE(QFileInfo::exists(examplePath())) << "examples/example.gif belongs to the repository";
    expectCliMatchesCompositor(examplePath(), dir("example"));
}

TEST_F(PlayCliTest, SharedAnimationsWithOffsetsTransparencyAndDisposalMatchTheCompositorNeedsShared)
{
    // Frames reaching past the canvas, transparent pixels and every disposal
    // value, from the public test suites.
    const QString suite = QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance/");
    if (!QFileInfo::exists(suite))
        GTEST_SKIP() << "needs ../shared: the GIF suites are not at " << suite.toStdString();
    const char *files[] = {
        "serenity-gif-test-suite/gifs/animated_transparent_loop_frames_out_of_bounds.gif",
        "serenity-gif-test-suite/gifs/animated_transparent_frame_restoreprev_loop.gif",
        "serenity-gif-test-suite/gifs/animated_transparent_firstframerestoreprev_loop.gif",
        "pillow/dispose_bgnd_transparency.gif",
    };
    for (const char *name : files) {
        const QString path = suite + QString::fromLatin1(name);
        SCOPED_TRACE(name);
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        expectCliMatchesCompositor(path, tmp.filePath(QString::fromLatin1(name).replace('/', '_')));
    }
}

TEST_F(PlayCliTest, CraftedAnimationGivesTheExpectedScreens)
{
    // A 4 x 2 canvas with the global table entry k = (k, 2k, 3k).
    // Frame 0: the whole canvas, index 0 transparent so the right column
    // stays empty; delay 50.
    // Frame 1: 2 x 2 at (2, 0), index 1 transparent; disposal 2 clears its
    // rectangle once its time is up; delay 0.
    // Frame 2: one pixel at (0, 1); delay 20.
    test::GifBytes gif;
    gif.header(4, 2, true, 1)
        .control(1, true, 50, 0)
        .image(0, 0, 4, 2, false)
        .data(2, test::literalStream({1, 1, 1, 0, 1, 1, 1, 0}, 2))
        .control(2, true, 0, 1)
        .image(2, 0, 2, 2, false)
        .data(2, test::literalStream({2, 3, 1, 3}, 2))
        .control(0, false, 20, 0)
        .image(0, 1, 1, 1, false)
        .data(2, test::literalStream({2}, 2))
        .trailer();
    const QString path = tmp.filePath(QStringLiteral("crafted.gif"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gif.toByteArray());
    file.close();

    const CliRun r = runCli({"open", path, "play", "4", dir("crafted")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("0 500\n1 10\n2 200\n0 500\n"));

    // -1 stands for a pixel no frame has drawn: the grey backdrop.
    const auto ppm = [](std::initializer_list<int> indices) {
        QByteArray out = QByteArrayLiteral("P6\n4 2\n255\n");
        for (int k : indices) {
            if (k < 0)
                out.append(3, char(192));
            else
                out.append(char(k)).append(char(2 * k)).append(char(3 * k));
        }
        return out;
    };
    const QByteArray expected[] = {
        ppm({1, 1, 1, -1, 1, 1, 1, -1}), ppm({1, 1, 2, 3, 1, 1, 1, 3}), // frame 0's pixel shows through at (2, 1)
        ppm({1, 1, -1, -1, 2, 1, -1, -1}),                              // frame 1's rectangle cleared
        ppm({1, 1, 1, -1, 1, 1, 1, -1}),                                // a new round from an empty screen
    };
    for (int t = 0; t < 4; ++t) {
        QFile screen(dir("crafted") + QStringLiteral("/000%1.ppm").arg(t));
        ASSERT_TRUE(screen.open(QIODevice::ReadOnly)) << screen.fileName().toStdString();
        EXPECT_EQ(screen.readAll().toHex(' ').toStdString(), expected[t].toHex(' ').toStdString()) << "tick " << t;
    }
}

TEST_F(PlayCliTest, UnwritableFolderFails)
{
    QFile blocker(dir("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const CliRun r = runCli({"open", examplePath(), "play", "1", dir("file")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("play: cannot"))) << r.err.toStdString();
}

} // namespace
