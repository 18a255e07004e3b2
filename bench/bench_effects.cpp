// The eleven auto-create tabs on a 540 x 330 base with 30 frames, through the
// Create command as the dialog runs them. For each tab: nanoseconds per output
// pixel (every pixel of every frame the tab adds) in CPU time with one thread
// and in wall time with the machine's threads, and both as a multiple of the
// time a large memcpy takes per byte in the same run, so numbers from machines
// of different speed can be compared. Each figure is the median of the rounds.
#include "bench_effects.h"

#include "autocreate/createcommand.h"
#include "bench_inputs.h"
#include "document/document.h"
#include "platform/parallel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace velmar::bench
{
namespace
{

constexpr int kWidth = 540;
constexpr int kHeight = 330;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Nanoseconds per byte of a 64 MB memcpy, best of a few.
double memcpyNsPerByte()
{
    const size_t n = size_t(64) << 20;
    std::vector<uint8_t> a(n, 1), b(n, 2);
    double best = 1e9;
    for (int k = 0; k < 5; ++k) {
        const double t0 = wallSeconds();
        std::memcpy(b.data(), a.data(), n);
        const double t = wallSeconds() - t0;
        best = std::min(best, t * 1e9 / double(n));
        a[size_t(k)] = b[n - 1 - size_t(k)];
    }
    return best;
}

struct Window {
    std::vector<uint8_t> pixels;
    velmar::ColorTable colors{};
};

Window crop(const BenchInput &in, int x0, int y0)
{
    Window w;
    w.pixels.resize(size_t(kWidth) * size_t(kHeight));
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(&w.pixels[size_t(y) * kWidth], &in.frames[0][size_t(y + y0) * size_t(in.width) + size_t(x0)],
                    size_t(kWidth));
    for (size_t i = 0; i < 256; ++i)
        w.colors[i] = {in.palette[3 * i], in.palette[3 * i + 1], in.palette[3 * i + 2]};
    return w;
}

void addWindow(Document &doc, const Window &w)
{
    // The windows are a fixed size well inside the limits: a refusal here
    // is a fault, and value() stops the run at it.
    const int n = doc.beginFrame(kWidth, kHeight, 256, w.colors).value();
    std::copy(w.pixels.begin(), w.pixels.end(), doc.pixelsForWriting(n).begin());
    doc.ensureGridRows(n + 2);
    doc.setCell(n + 1, 0, QString::number(n));
    doc.endFrame();
}

autocreate::FieldValues fieldsFor(int tab)
{
    using autocreate::setField;
    autocreate::FieldValues f = autocreate::initialFields(tab);
    setField(tab, f, QStringLiteral("txtSumFraNum"), QStringLiteral("30"));
    setField(tab, f, QStringLiteral("chkClear"), QStringLiteral("0"));
    setField(tab, f, QStringLiteral("txtToWinNo"), QStringLiteral("1"));
    setField(tab, f, QStringLiteral("txtMasterWindow2"), QStringLiteral("1"));
    for (const char *name : {"txtMasWinB", "txtMasWinE"})
        setField(tab, f, QLatin1String(name), QStringLiteral("1"));
    for (const char *name : {"txtMasWinC", "txtMasWinF"})
        setField(tab, f, QLatin1String(name), QStringLiteral("2"));
    return f;
}

struct Timing {
    double cpu = 0, wall = 0;
    size_t pixels = 0;
};

Timing runTab(int tab, const std::vector<Window> &windows)
{
    Document doc;
    for (const Window &w : windows)
        addWindow(doc, w);
    autocreate::FieldValues fields = fieldsFor(tab);
    const int before = doc.picCount();
    const double c0 = threadCpuSeconds(), w0 = wallSeconds();
    const Result<> result = autocreate::Create(doc, tab, fields);
    Timing t{threadCpuSeconds() - c0, wallSeconds() - w0, 0};
    if (!result)
        std::fprintf(stderr, "tab %d: %s\n", tab, qPrintable(result.error()));
    for (int i = before; i < doc.picCount(); ++i)
        t.pixels += doc.pic(i).pixelCount();
    return t;
}

} // namespace

void runEffectsBench(int rounds)
{
    const BenchInput photo = photoInput();
    const BenchInput screen = screenshotInput();
    const std::vector<Window> windows = {crop(photo, 0, 0), crop(screen, 100, 100), crop(photo, 400, 500)};
    const int threads = parallelThreads();
    // VELMAR_BENCH_TABS=4,5,8 measures those tabs only (for profiling one).
    std::vector<bool> wanted(autocreate::kTabCount, true);
    if (const QByteArray only = qgetenv("VELMAR_BENCH_TABS"); !only.isEmpty()) {
        std::fill(wanted.begin(), wanted.end(), false);
        for (const QByteArray &t : only.split(','))
            if (const int k = t.toInt(); k >= 0 && k < autocreate::kTabCount)
                wanted[size_t(k)] = true;
    }

    std::vector<double> copyNs;
    std::vector<std::vector<double>> cpu(autocreate::kTabCount), wall1(autocreate::kTabCount),
        wall(autocreate::kTabCount);
    std::vector<size_t> pixels(autocreate::kTabCount);
    for (int round = 0; round < rounds; ++round) {
        copyNs.push_back(memcpyNsPerByte());
        for (int tab = 0; tab < autocreate::kTabCount; ++tab) {
            if (!wanted[size_t(tab)])
                continue;
            setParallelThreads(1);
            const Timing one = runTab(tab, windows);
            setParallelThreads(threads);
            const Timing all = runTab(tab, windows);
            pixels[size_t(tab)] = one.pixels;
            cpu[size_t(tab)].push_back(one.cpu * 1e9 / double(std::max<size_t>(1, one.pixels)));
            wall1[size_t(tab)].push_back(one.wall * 1e9 / double(std::max<size_t>(1, one.pixels)));
            wall[size_t(tab)].push_back(all.wall * 1e9 / double(std::max<size_t>(1, all.pixels)));
        }
        std::printf("effects round %d of %d done\n", round + 1, rounds);
        std::fflush(stdout);
    }
    const double copy = medianOf(copyNs);
    std::printf("\nEffects on a %d x %d base, 30 frames; median of %d rounds. memcpy: %.3f ns/byte.\n", kWidth, kHeight,
                rounds, copy);
    std::printf("ns per output pixel: CPU and wall time with 1 thread, wall time with %d threads; x = multiple of "
                "memcpy.\n",
                threads);
    std::printf("%-4s %-14s %10s %10s %9s %10s %10s %9s\n", "tab", "", "pixels", "cpu 1t", "x", "wall 1t", "wall", "x");
    bool met = true;
    for (int tab = 0; tab < autocreate::kTabCount; ++tab) {
        if (!wanted[size_t(tab)])
            continue;
        const double c = medianOf(cpu[size_t(tab)]);
        const double w1 = medianOf(wall1[size_t(tab)]);
        const double w = medianOf(wall[size_t(tab)]);
        met = met && c <= 10;
        std::printf("%-4d %-14s %10zu %10.2f %9.0f %10.2f %10.2f %9.0f%s\n", tab,
                    qPrintable(autocreate::tabDescriptors()[size_t(tab)].caption), pixels[size_t(tab)], c, c / copy, w1,
                    w, w / copy, c > 10 ? "  (over 10 ns)" : "");
    }
    std::printf("target (every tab <= 10 ns per pixel, 1 thread CPU): %s\n", met ? "met" : "NOT met");
}

} // namespace velmar::bench
