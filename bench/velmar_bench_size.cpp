// File sizes of the optimised save against the plain save, gifsicle -O3 and
// ImageMagick's -layers Optimize, over the benchmark's generated animations,
// examples/ and the animated files of the conformance suites that giflib
// decodes. Every file goes the way the editor takes it: opened into a
// Document, saved plain (SaveGif) and optimised (SaveGifOptimized); the two
// other tools get the plain file.
//
// Before a size is reported the reference viewer (giflib) must show the
// optimised file frame for frame as the plain one; otherwise the program
// reports the file and ends with status 1. The other tools' outputs are
// checked the same way and marked "=" when they look the same, "≠" when not
// (frames merged or colours reduced), so that their sizes can be read for
// what they are.
//
// Last, the save times of the largest generated animation: CPU time of the
// process and wall-clock time, the best of three runs each. With --times
// only these are measured.
#include "bench_inputs.h"
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifwrite.h"
#include "support/refviewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <stdexcept>

using namespace velmar;

namespace
{

// Screens of all frames together, for the viewer's comparison.
constexpr size_t kViewerLimit = size_t(1) << 28;

double clockMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Empty when a viewer shows b as it shows a.
QString viewDifference(const test::ViewerResult &a, const test::ViewerResult &b)
{
    if (!b.unusable.isEmpty())
        return b.unusable;
    if (a.frames.size() != b.frames.size())
        return QStringLiteral("%1 frames instead of %2").arg(b.frames.size()).arg(a.frames.size());
    if (a.width != b.width || a.height != b.height)
        return QStringLiteral("screen size");
    for (size_t i = 0; i < a.frames.size(); ++i)
        if (a.frames[i].delay != b.frames[i].delay || test::firstDifference(a.frames[i].rgba, b.frames[i].rgba) >= 0)
            return QStringLiteral("frame %1").arg(i);
    return {};
}

bool animatedForGiflib(const QString &path)
{
    int error = 0;
    GifFileType *gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    if (!gif)
        return false;
    const bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount > 1;
    DGifCloseFile(gif, &error);
    return ok;
}

// The size of what the tool wrote, or -1 when it failed.
qint64 runTool(const QString &program, const QStringList &args, const QString &out)
{
    QFile::remove(out);
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return QFileInfo(out).size();
}

QString generated(const bench::BenchInput &in, const QString &dir)
{
    GifFile gif;
    gif.screenWidth = in.width;
    gif.screenHeight = in.height;
    gif.hasLoop = true;
    for (size_t k = 0; k < 256; ++k)
        gif.globalTable.push_back({in.palette[k * 3], in.palette[k * 3 + 1], in.palette[k * 3 + 2]});
    for (const auto &frame : in.frames) {
        GifImage img;
        img.width = in.width;
        img.height = in.height;
        img.hasControl = true;
        img.control.delay = 4;
        img.indices = frame;
        gif.images.push_back(std::move(img));
    }
    const QString path = dir + QStringLiteral("/") + QString::fromStdString(in.name).replace(' ', '-') + ".gif";
    QFile f(path);
    const Result<QByteArray> bytes = encodeGifFile(gif);
    if (!bytes || !f.open(QIODevice::WriteOnly) || f.write(*bytes) < 0)
        return {};
    return path;
}

struct Totals {
    qint64 plain = 0, ours = 0, gifsicle = 0, magick = 0;
    qint64 oursWhereGifsicle = 0;
    int files = 0, aboveGifsicle = 0, aboveEqualGifsicle = 0, notBelowMagick = 0, notBelowEqualMagick = 0;
    // The largest ratio to gifsicle's file, and the largest where that file
    // looks the same: a file that merged frames or dropped colours is not
    // one the optimiser may write.
    double worst = 0, worstEqual = 0;
};

char mark(const QString &difference)
{
    return difference.isEmpty() ? '=' : '~';
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QString plainPath = work.filePath("plain.gif"), oursPath = work.filePath("ours.gif");
    const QString gifsiclePath = work.filePath("gifsicle.gif"), magickPath = work.filePath("magick.gif");

    QStringList files;
    const bench::BenchInput scene = bench::sceneInput(300, 640, 480);
    const bool timesOnly = app.arguments().contains(QStringLiteral("--times"));
    if (!timesOnly)
        files << generated(bench::animationInput(), work.path());
    files << generated(scene, work.path());
    const QString scenePath = files.last();
    for (const QString &dir :
         {QStringLiteral(VELMAR_SOURCE_DIR "/examples"), QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance")}) {
        QStringList found;
        QDirIterator it(dir, {QStringLiteral("*.gif")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        found.sort();
        files << found;
    }

    if (timesOnly)
        files.clear();
    else
        std::printf("%-58s %9s %9s %9s %9s %6s\n", "file", "plain", "ours", "gifsicle", "magick", "ours/g");
    Totals t;
    bool failed = false;
    for (const QString &path : files) {
        if (path.isEmpty() || !animatedForGiflib(path))
            continue;
        Document doc;
        OpenGif(doc, path);
        if (doc.picCount() < 2 || !SaveGif(doc, plainPath).ok())
            continue;
        const test::ViewerResult plainView = test::viewGif(plainPath, kViewerLimit);
        if (!plainView.unusable.isEmpty())
            continue;
        const Result<void> saved = SaveGifOptimized(doc, oursPath);
        const QString name = QDir(QStringLiteral(VELMAR_SHARED_DIR)).relativeFilePath(path).section('/', -2);
        const QString ourDifference =
            saved.ok() ? viewDifference(plainView, test::viewGif(oursPath, kViewerLimit)) : saved.error();
        if (!ourDifference.isEmpty()) {
            std::printf("%-58s optimised file looks different: %s\n", qPrintable(name), qPrintable(ourDifference));
            failed = true;
            continue;
        }
        const qint64 plain = QFileInfo(plainPath).size(), ours = QFileInfo(oursPath).size();
        const qint64 g = runTool(QStringLiteral("gifsicle"), {"-O3", plainPath, "-o", gifsiclePath}, gifsiclePath);
        const qint64 m = runTool(QStringLiteral("convert"), {plainPath, "-layers", "Optimize", magickPath}, magickPath);
        const QString gDifference =
            g < 0 ? QString() : viewDifference(plainView, test::viewGif(gifsiclePath, kViewerLimit));
        const QString mDifference =
            m < 0 ? QString() : viewDifference(plainView, test::viewGif(magickPath, kViewerLimit));
        const double ratio = g > 0 ? double(ours) / double(g) : 0;
        std::printf("%-58s %9lld %9lld %8lld%c %8lld%c %6.3f\n", qPrintable(name), (long long)plain, (long long)ours,
                    (long long)g, g < 0 ? ' ' : mark(gDifference), (long long)m, m < 0 ? ' ' : mark(mDifference),
                    ratio);
        ++t.files;
        t.plain += plain;
        t.ours += ours;
        if (g > 0) {
            t.gifsicle += g;
            t.oursWhereGifsicle += ours;
            t.worst = std::max(t.worst, ratio);
            t.aboveGifsicle += ratio > 1.05;
            if (gDifference.isEmpty()) {
                t.worstEqual = std::max(t.worstEqual, ratio);
                t.aboveEqualGifsicle += ratio > 1.05;
            }
        }
        if (m > 0) {
            t.magick += m;
            t.notBelowMagick += ours >= m;
            t.notBelowEqualMagick += ours >= m && mDifference.isEmpty();
        }
    }
    if (!timesOnly) {
        std::printf("%-58s %9lld %9lld %9lld %9lld %6.3f\n",
                    qPrintable(QStringLiteral("total (%1 files)").arg(t.files)), (long long)t.plain, (long long)t.ours,
                    (long long)t.gifsicle, (long long)t.magick,
                    t.gifsicle ? double(t.oursWhereGifsicle) / double(t.gifsicle) : 0.0);
        std::printf("largest ours/gifsicle %.3f, %d files above 1.05 (where gifsicle's file looks the same: largest "
                    "%.3f, %d files above 1.05); not smaller than magick on %d files (%d where magick's file looks "
                    "the same); '~': that tool's file looks different from the plain save\n",
                    t.worst, t.aboveGifsicle, t.worstEqual, t.aboveEqualGifsicle, t.notBelowMagick,
                    t.notBelowEqualMagick);
    }

    // Save times of the scene.
    Document doc;
    OpenGif(doc, scenePath);
    struct Times {
        double cpu = 1e300, wall = 1e300;
    };
    const auto best = [&](const std::function<void()> &save) {
        Times fastest;
        for (int run = 0; run < 3; ++run) {
            const double cpu = clockMs(CLOCK_PROCESS_CPUTIME_ID), wall = clockMs(CLOCK_MONOTONIC);
            save();
            fastest.cpu = std::min(fastest.cpu, clockMs(CLOCK_PROCESS_CPUTIME_ID) - cpu);
            fastest.wall = std::min(fastest.wall, clockMs(CLOCK_MONOTONIC) - wall);
        }
        return fastest;
    };
    // The sizes were checked above; a failure here would only make a save
    // look fast, so it stops the benchmark.
    const auto must = [](const Result<void> &r) {
        if (!r)
            throw std::runtime_error(r.error().toStdString());
    };
    const Times plainMs = best([&] { must(SaveGif(doc, plainPath)); });
    const Times oursMs = best([&] { must(SaveGifOptimized(doc, oursPath)); });
    std::printf("%s: plain save %.0f ms CPU / %.0f ms wall, optimised save %.0f ms CPU / %.0f ms wall (%.2f / %.2f "
                "times)\n",
                scene.name.c_str(), plainMs.cpu, plainMs.wall, oursMs.cpu, oursMs.wall, oursMs.cpu / plainMs.cpu,
                oursMs.wall / plainMs.wall);
    return failed ? 1 : 0;
}
