// velmar-cli play, run as a script would run it, checked against the
// compositor run in this process on the same document.
#include "gif/gifio.h"
#include "player/compositor.h"
#include "shell/document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velmar;

namespace
{

QString cliPath()
{
#ifdef VELMAR_CLI_PATH
    return QStringLiteral(VELMAR_CLI_PATH);
#else
    // The test binary is built in tests/ below the program.
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../velmar-cli"));
#endif
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList &args)
{
    QProcess p;
    p.start(cliPath(), args);
    CliRun r;
    if (!p.waitForStarted() || !p.waitForFinished(120000)) {
        r.err = p.errorString();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class PlayCliTest : public ::testing::Test
{
  protected:
    QTemporaryDir tmp;
    void SetUp() override
    {
        if (!QFileInfo(cliPath()).isExecutable())
            GTEST_SKIP() << "velmar-cli not built at " << cliPath().toStdString();
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

TEST_F(PlayCliTest, ExampleAnimationScreensAndTimesMatchTheCompositor)
{
    const QString example = QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
    if (!QFileInfo::exists(example))
        GTEST_SKIP() << "no example animation at " << example.toStdString();
    Document doc;
    const GifResult read = OpenGif(doc, example);
    if (!read.ok || doc.gPicCount == 0)
        GTEST_SKIP() << "the GIF reader cannot read the example yet: " << read.message.toStdString();

    // Two rounds and one frame more: the wrap to frame 0 with the buffers
    // carried over is part of what is compared.
    const int ticks = 2 * doc.gPicCount + 1;
    const CliRun r = runCli({"open", example, "play", QString::number(ticks), dir("screens")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), ticks) << r.out.toStdString();

    Compositor player(doc);
    ASSERT_GT(player.scrW(), 0) << "the example sets the canvas size";
    for (int t = 0; t < ticks; ++t) {
        const Compositor::Tick tick = player.tick();
        EXPECT_EQ(lines[t], QStringLiteral("%1 %2").arg(tick.frame).arg(tick.intervalMs)) << "tick " << t;
        QFile ppm(dir("screens") + QStringLiteral("/%1.ppm").arg(t, 4, 10, QLatin1Char('0')));
        ASSERT_TRUE(ppm.open(QIODevice::ReadOnly)) << ppm.fileName().toStdString();
        const QByteArray written = ppm.readAll();
        EXPECT_TRUE(written.startsWith(QByteArrayLiteral("P6\n") + QByteArray::number(player.scrW()) + ' ' +
                                       QByteArray::number(player.scrH()) + "\n255\n"))
            << "tick " << t;
        EXPECT_EQ(written.size(), player.screenPpm().size()) << "tick " << t;
        EXPECT_TRUE(written == player.screenPpm()) << "screen of tick " << t << " differs";
    }
    EXPECT_EQ(lines[doc.gPicCount].section(' ', 0, 0), QStringLiteral("0")) << "the loop wraps to frame 0";
}

} // namespace
