// SPDX-License-Identifier: GPL-3.0-or-later
// Opening long animations in the main window (`make bench-gui`): the time of
// velmar-cli open against the time until the main window shows every frame,
// the resident size after the open against the frames' pixel bytes, and the
// time of closing all frames.
//
// Each measurement runs in a process of its own, so that the memory of the
// generator or of an earlier run does not count in the resident size:
//   velmar_bench_gui                   the whole benchmark
//   velmar_bench_gui --make N PATH     writes an N-frame 320 x 240 animation
//   velmar_bench_gui --window PATH     opens PATH in the main window, prints
//                                      "open_ms rss_bytes close_ms frames
//                                      open_cpu_ms close_cpu_ms undo_cpu_ms"
//                                      (undo brings back what close all took)
//
// Times are given as elapsed time and as processor time (user + system) of
// the process; on a loaded machine only the second compares runs fairly,
// so the targets are judged on it.

#include "bench_inputs.h"
#include "document/document.h"
#include "gif/giffile.h"
#include "gif/gifwrite.h"
#include "mdimain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

using namespace velmar;

namespace
{

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kTimeoutMs = 30 * 60 * 1000;

bool makeAnimation(int frames, const QString &path)
{
    bench::BenchInput in = bench::sceneInput(frames, kWidth, kHeight);
    GifFile gif;
    gif.screenWidth = in.width;
    gif.screenHeight = in.height;
    gif.hasLoop = true;
    for (size_t k = 0; k < 256; ++k)
        gif.globalTable.push_back({in.palette[k * 3], in.palette[k * 3 + 1], in.palette[k * 3 + 2]});
    for (auto &frame : in.frames) {
        GifImage img;
        img.width = in.width;
        img.height = in.height;
        img.hasControl = true;
        img.control.delay = 4;
        img.indices = std::move(frame);
        gif.images.push_back(std::move(img));
    }
    const Result<QByteArray> bytes = encodeGifFile(gif);
    if (!bytes) {
        std::fprintf(stderr, "%s\n", qPrintable(bytes.error()));
        return false;
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(*bytes) > 0;
}

// Processor time of this process, or of its finished children.
double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// Runs in its own process: the main window opens the file, shows every
// frame, then closes all.
int windowRun(const QString &path)
{
    Document doc;
    mdiMain window(doc);
    window.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    double cpu = cpuMs(RUSAGE_SELF);
    window.openPath(path);
    QCoreApplication::processEvents();
    const qint64 openMs = timer.elapsed();
    const double openCpuMs = cpuMs(RUSAGE_SELF) - cpu;
    const qint64 rss = residentBytes();
    const int frames = doc.picCount();
    timer.restart();
    cpu = cpuMs(RUSAGE_SELF);
    window.mAllDel_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    const qint64 closeMs = timer.elapsed();
    const double closeCpuMs = cpuMs(RUSAGE_SELF) - cpu;
    if (doc.picCount() != 0 || !window.mdiArea()->subWindowList().isEmpty()) {
        std::fprintf(stderr, "close all left frames behind\n");
        return 1;
    }
    // Bringing them all back is one undo step.
    cpu = cpuMs(RUSAGE_SELF);
    window.mUndo_Click();
    QCoreApplication::processEvents();
    const double undoCpuMs = cpuMs(RUSAGE_SELF) - cpu;
    if (doc.picCount() != frames) {
        std::fprintf(stderr, "undo of close all brought back %d of %d frames\n", doc.picCount(), frames);
        return 1;
    }
    std::printf("%lld %lld %lld %d %.0f %.0f %.0f\n", (long long)openMs, (long long)rss, (long long)closeMs, frames,
                openCpuMs, closeCpuMs, undoCpuMs);
    return 0;
}

// Runs a child and returns its standard output, or an empty array when it
// failed.
QByteArray runChild(const QString &program, const QStringList &args, qint64 *ms = nullptr, double *cpu = nullptr)
{
    const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(program, args);
    if (!p.waitForFinished(kTimeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program + QLatin1Char(' ') + args.join(QLatin1Char(' '))));
        return {};
    }
    if (ms)
        *ms = timer.elapsed();
    if (cpu)
        *cpu = cpuMs(RUSAGE_CHILDREN) - cpuBefore;
    const QByteArray out = p.readAllStandardOutput();
    return out.isEmpty() ? QByteArray("\n") : out;
}

int wholeBenchmark(const QString &self)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bool allMet = true;
    for (const int frames : {600, 3000}) {
        const QString path = dir.filePath(QStringLiteral("scene%1.gif").arg(frames));
        if (runChild(self, {QStringLiteral("--make"), QString::number(frames), path}).isEmpty())
            return 1;
        qint64 cliMs = 0;
        double cliCpuMs = 0;
        if (runChild(QStringLiteral(VELMAR_CLI_PATH), {QStringLiteral("open"), path}, &cliMs, &cliCpuMs).isEmpty())
            return 1;
        const QList<QByteArray> fields = runChild(self, {QStringLiteral("--window"), path}).simplified().split(' ');
        if (fields.size() != 7 || fields[3].toInt() != frames) {
            std::fprintf(stderr, "the main window did not open %d frames\n", frames);
            return 1;
        }
        const double openMs = fields[0].toDouble();
        const double rssMb = fields[1].toDouble() / 1e6;
        const double closeMs = fields[2].toDouble();
        const double openCpuMs = fields[4].toDouble();
        const double closeCpuMs = fields[5].toDouble();
        const double undoCpuMs = fields[6].toDouble();
        const double pixelMb = double(frames) * kWidth * kHeight / 1e6;
        const double ratio = openCpuMs / std::max(cliCpuMs, 1.0);
        const double rssLimitMb = 1.5 * pixelMb + 150;
        std::printf("%4d frames: open cpu/elapsed ms: cli %.0f/%lld, window %.0f/%.0f (cpu %.1f x, target <= 4) | "
                    "RSS %.0f MB, pixels %.0f MB (limit %.0f MB) | close all cpu/elapsed %.0f/%.0f ms | "
                    "undo of close all cpu %.0f ms\n",
                    frames, cliCpuMs, (long long)cliMs, openCpuMs, openMs, ratio, rssMb, pixelMb, rssLimitMb,
                    closeCpuMs, closeMs, undoCpuMs);
        std::fflush(stdout);
        allMet = allMet && ratio <= 4 && rssMb <= rssLimitMb && (frames != 3000 || closeCpuMs < 1000);
    }
    std::printf(allMet ? "all targets met\n" : "some targets missed\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("velmar-bench"));
    const QStringList args = QApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--make"))
        return makeAnimation(args[2].toInt(), args[3]) ? 0 : 1;
    if (args.size() == 3 && args[1] == QLatin1String("--window"))
        return windowRun(args[2]);
    return wholeBenchmark(QApplication::applicationFilePath());
}
