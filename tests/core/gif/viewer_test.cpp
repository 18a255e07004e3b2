// The reference viewer of the tests against ImageMagick's coalesced frames,
// on files where viewers agree: if the two part, the oracle the conformance
// checks rely on is wrong.
#include "support/refviewer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace velmar::test;

namespace
{

QByteArray runConvert(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("convert"), args);
    if (!p.waitForStarted() || !p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

class ViewerVsImageMagickNeedsShared : public testing::TestWithParam<const char *>
{
};

// The example animation lives in the source tree, the rest in the shared folder.
QString inputPath(const QString &name)
{
    if (name.startsWith(QStringLiteral("examples/")))
        return QStringLiteral(VELMAR_SOURCE_DIR "/") + name;
    return QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance/") + name;
}

// Disposal 1, 2 and 3 (also on the first frame), transparency, frames at
// offsets, local tables, interlacing, many frames. Left out where viewers
// part: ImageMagick paints the screen's background colour where the first
// frame leaves the screen uncovered (pygif-test-suite image-inside-bg,
// dispose-restore-background, images-combine, image-overlap-bg; pygif's own
// expected frames and browsers leave it transparent, as we do), and it grows
// the screen to hold frames that reach beyond it
// (animated_transparent_loop_frames_out_of_bounds).
TEST_P(ViewerVsImageMagickNeedsShared, SameRgbaAndDelaysInEveryFrame)
{
    const QString path = inputPath(QLatin1String(GetParam()));
    if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is not on PATH";
    // The suites sit beside the repository, reached through "..".
    const bool inRepository = QDir::cleanPath(path).startsWith(QStringLiteral(VELMAR_SOURCE_DIR "/"));
    if (!inRepository && !QFileInfo::exists(path))
        GTEST_SKIP() << "needs ../shared: " << path.toStdString() << " is missing";
    ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();

    const ViewerResult ours = viewGif(path);
    ASSERT_TRUE(ours.unusable.isEmpty()) << ours.unusable.toStdString();
    const QStringList geometry =
        QString::fromLatin1(runConvert({path, QStringLiteral("-coalesce"), QStringLiteral("-format"),
                                        QStringLiteral("%w %h %T\n"), QStringLiteral("info:")}))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QByteArray rgba = runConvert(
        {path, QStringLiteral("-coalesce"), QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("rgba:-")});
    ASSERT_EQ(size_t(geometry.size()), ours.frames.size());
    size_t offset = 0;
    for (size_t i = 0; i < ours.frames.size(); ++i) {
        const QStringList f = geometry[qsizetype(i)].split(QLatin1Char(' '));
        ASSERT_EQ(f.size(), 3);
        ASSERT_EQ(f[0].toInt(), ours.width) << "frame " << i;
        ASSERT_EQ(f[1].toInt(), ours.height) << "frame " << i;
        EXPECT_EQ(f[2].toInt(), ours.frames[i].delay) << "frame " << i;
        const size_t n = ours.frames[i].rgba.size();
        ASSERT_LE(offset + n, size_t(rgba.size()));
        const std::vector<uint8_t> theirs(rgba.constData() + offset, rgba.constData() + offset + n);
        offset += n;
        const long long p = firstDifference(ours.frames[i].rgba, theirs);
        EXPECT_EQ(p, -1) << "frame " << i << " differs first at x " << p % ours.width << ", y " << p / ours.width;
    }
    EXPECT_EQ(offset, size_t(rgba.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ViewerVsImageMagickNeedsShared,
    testing::Values("examples/example.gif", "pygif-test-suite/dispose-keep.gif",
                    "pygif-test-suite/dispose-restore-previous.gif", "pygif-test-suite/local-color-table.gif",
                    "pygif-test-suite/images-overlap.gif", "pygif-test-suite/interlace.gif",
                    "serenity-gif-test-suite/gifs/animated_transparent_frame_restorebackground_loop.gif",
                    "serenity-gif-test-suite/gifs/animated_transparent_frame_restoreprev_loop.gif",
                    "serenity-gif-test-suite/gifs/animated_transparent_firstframerestoreprev_loop.gif",
                    "pillow/dispose_bgnd.gif", "pillow/dispose_prev.gif", "pillow/transparent_dispose.gif",
                    "wuffs/animated-red-blue.gif", "pillow/iss634.gif"));

} // namespace
