// Our LZW codec against giflib on the same in-memory GIFs.
//
// First the results are checked: our decoder must give the indices giflib
// gives, and giflib must decode our encoder's output back to the input; the
// program stops with status 1 otherwise. Then each case runs as a Google
// Benchmark, one repetition per round, the order of the cases rotated by one
// every round so neither codec always runs first or after the other; the
// table at the end shows the median of the rounds and the ratio ours/giflib.
// Times are CPU times of the process, so other programs sharing the machine
// disturb them less than wall-clock times.
//
// Decoding: ours is LZWDecode on every image of the file (the block scan that
// finds them is a few byte reads); giflib is DGifOpen, DGifGetLine of each
// whole image, DGifCloseFile, reading from memory. Encoding: ours is
// LZWEncode of every frame with the few header bytes around it; giflib is
// EGifOpen to memory, EGifPutLine of each whole frame, EGifCloseFile.
// Throughput is in pixels (decoded bytes) per second. Two more lines per
// input time the whole reader against the same giflib decoding: readGifFile
// from memory (block scan, tables, every image into its own array, no
// Document), and OpenGif on a new Document from a file of giflib's (frames,
// colours, grid rows, status texts, progressive display included).
#include "bench_effects.h"
#include "bench_inputs.h"
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifread.h"
#include "gif/lzw.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using namespace velmar;
using namespace velmar::bench;
using Bytes = std::vector<uint8_t>;

namespace
{

// ---- giflib through memory ---------------------------------------------

struct MemoryOut {
    Bytes bytes;
};

int writeToMemory(GifFileType *gif, const GifByteType *data, int n)
{
    auto *out = static_cast<MemoryOut *>(gif->UserData);
    out->bytes.insert(out->bytes.end(), data, data + n);
    return n;
}

struct MemoryIn {
    const uint8_t *data;
    size_t size;
    size_t pos;
};

int readFromMemory(GifFileType *gif, GifByteType *buffer, int n)
{
    auto *in = static_cast<MemoryIn *>(gif->UserData);
    const size_t k = std::min(size_t(n), in->size - in->pos);
    std::memcpy(buffer, in->data + in->pos, k);
    in->pos += k;
    return int(k);
}

Bytes giflibEncode(const BenchInput &in)
{
    MemoryOut out;
    out.bytes.reserve(in.pixelCount());
    int error = 0;
    GifFileType *gif = EGifOpen(&out, writeToMemory, &error);
    if (!gif)
        throw std::runtime_error("EGifOpen failed");
    GifColorType colors[256];
    for (int i = 0; i < 256; ++i)
        colors[i] = {in.palette[size_t(i) * 3], in.palette[size_t(i) * 3 + 1], in.palette[size_t(i) * 3 + 2]};
    ColorMapObject *map = GifMakeMapObject(256, colors);
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, in.width, in.height, 8, 0, map) == GIF_OK;
    for (const Bytes &frame : in.frames) {
        ok = ok && EGifPutImageDesc(gif, 0, 0, in.width, in.height, false, nullptr) == GIF_OK;
        ok = ok && EGifPutLine(gif, const_cast<GifPixelType *>(frame.data()), int(frame.size())) == GIF_OK;
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    GifFreeMapObject(map);
    if (!ok)
        throw std::runtime_error("giflib could not encode");
    return out.bytes;
}

// Decodes every image of a GIF into frames (each width x height); false when
// giflib reports an error.
bool giflibDecode(const Bytes &file, std::vector<Bytes> &frames)
{
    MemoryIn in{file.data(), file.size(), 0};
    int error = 0;
    GifFileType *gif = DGifOpen(&in, readFromMemory, &error);
    if (!gif)
        return false;
    bool ok = true;
    size_t image = 0;
    for (GifRecordType type; ok;) {
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            ok = false;
            break;
        }
        if (type == TERMINATE_RECORD_TYPE)
            break;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            ok = DGifGetImageDesc(gif) == GIF_OK;
            const size_t n = size_t(gif->Image.Width) * size_t(gif->Image.Height);
            if (image >= frames.size())
                frames.emplace_back();
            frames[image].resize(n);
            ok = ok && DGifGetLine(gif, frames[image].data(), int(n)) == GIF_OK;
            ++image;
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *ext = nullptr;
            ok = DGifGetExtension(gif, &code, &ext) == GIF_OK;
            while (ok && ext)
                ok = DGifGetExtensionNext(gif, &ext) == GIF_OK;
        }
    }
    frames.resize(image);
    DGifCloseFile(gif, &error);
    return ok;
}

// ---- ours ---------------------------------------------------------------

void putWord(Bytes &out, int v)
{
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(v >> 8));
}

// The same file layout giflib writes: header, screen with a 256-entry global
// table, and per frame an image descriptor and the LZW data.
void ourEncode(const BenchInput &in, Bytes &out)
{
    out.assign({'G', 'I', 'F', '8', '9', 'a'});
    putWord(out, in.width);
    putWord(out, in.height);
    out.insert(out.end(), {0xF7, 0x00, 0x00});
    out.insert(out.end(), in.palette.begin(), in.palette.end());
    for (const Bytes &frame : in.frames) {
        out.push_back(0x2C);
        putWord(out, 0);
        putWord(out, 0);
        putWord(out, in.width);
        putWord(out, in.height);
        out.push_back(0x00);
        out.push_back(8);
        if (!LZWEncode(frame, 8, out))
            std::abort();
        out.push_back(0x00);
    }
    out.push_back(0x3B);
}

// Finds each image in turn and decodes it into frames[i] (width x height +
// 257 bytes, as the reader dimensions it); the decoder tells where the image
// data ended. Returns the number of images, or -1 on a decoding failure.
int ourDecode(const Bytes &file, std::vector<Bytes> &frames)
{
    size_t p = 13;
    if (file.size() < p)
        return -1;
    if (file[10] & 0x80)
        p += size_t(3) << ((file[10] & 7) + 1);
    int image = 0;
    while (p < file.size()) {
        const uint8_t introducer = file[p++];
        if (introducer == 0x3B)
            break;
        if (introducer == 0x21) {
            ++p; // label
            while (p < file.size() && file[p] != 0)
                p += size_t(file[p]) + 1;
            ++p;
        } else if (introducer == 0x2C) {
            if (p + 9 > file.size())
                return -1;
            const size_t w = size_t(file[p + 4] | file[p + 5] << 8), h = size_t(file[p + 6] | file[p + 7] << 8);
            const uint8_t flags = file[p + 8];
            p += 9;
            if (flags & 0x80)
                p += size_t(3) << ((flags & 7) + 1);
            if (size_t(image) >= frames.size())
                frames.emplace_back();
            frames[size_t(image)].resize(w * h + 257);
            const Result<LzwDecoded> r =
                LZWDecode(std::span(file).subspan(std::min(p, file.size())), frames[size_t(image)]);
            if (!r || r->end != LzwEnd::EndCode)
                return -1;
            p += r->consumed;
            ++image;
        }
    }
    return image;
}

// ---- checks -------------------------------------------------------------

bool samePixels(const BenchInput &in, const std::vector<Bytes> &frames, const char *what)
{
    if (frames.size() != in.frames.size()) {
        std::fprintf(stderr, "%s: %s gives %zu frames, expected %zu\n", in.name.c_str(), what, frames.size(),
                     in.frames.size());
        return false;
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        const Bytes &want = in.frames[i];
        if (frames[i].size() < want.size() || !std::equal(want.begin(), want.end(), frames[i].begin())) {
            std::fprintf(stderr, "%s: %s differs from the input in frame %zu\n", in.name.c_str(), what, i);
            return false;
        }
    }
    return true;
}

bool check(const BenchInput &in, const Bytes &giflibFile)
{
    std::vector<Bytes> ours, theirs;
    if (ourDecode(giflibFile, ours) < 0 || !giflibDecode(giflibFile, theirs)) {
        std::fprintf(stderr, "%s: decoding giflib's file failed\n", in.name.c_str());
        return false;
    }
    bool ok =
        samePixels(in, theirs, "giflib decoding giflib's file") && samePixels(in, ours, "our decoder on giflib's file");
    Bytes ourFile;
    ourEncode(in, ourFile);
    std::vector<Bytes> back;
    if (!giflibDecode(ourFile, back)) {
        std::fprintf(stderr, "%s: giflib cannot decode our encoder's file\n", in.name.c_str());
        return false;
    }
    ok = ok && samePixels(in, back, "giflib decoding our file");
    std::vector<Bytes> ownBack;
    ok = ok && ourDecode(ourFile, ownBack) >= 0 && samePixels(in, ownBack, "our decoder on our file");
    if (ok)
        std::printf("checked %-22s giflib's file %8zu bytes, ours %8zu bytes: indices equal\n", in.name.c_str(),
                    giflibFile.size(), ourFile.size());
    return ok;
}

// ---- timing -------------------------------------------------------------

struct Case {
    std::string input;
    std::string operation; // "decode", "encode" or "open"
    std::string codec;     // "ours" or "giflib"
    size_t pixels;
    std::function<void()> run;
    std::string name() const { return input + "/" + operation + "/" + codec; }
};

// Collects the seconds per iteration of every run.
class Collector : public benchmark::BenchmarkReporter
{
  public:
    std::map<std::string, std::vector<double>> seconds;
    bool ReportContext(const Context &) override { return true; }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.run_name.function_name].push_back(run.GetAdjustedCPUTime() /
                                                              benchmark::GetTimeUnitMultiplier(run.time_unit));
        }
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

// readGifFile and OpenGif give the input's frames back.
bool checkReaders(const BenchInput &in, const Bytes &file, const QString &path)
{
    const Result<GifFile> read = readGifFile(file);
    bool ok = read.ok() && read->images.size() == in.frames.size();
    for (size_t i = 0; ok && i < in.frames.size(); ++i)
        ok = read->images[i].indices == in.frames[i];
    if (!ok) {
        std::fprintf(stderr, "%s: readGifFile does not give the input back\n", in.name.c_str());
        return false;
    }
    Document doc;
    const OpenGifResult r = OpenGif(doc, path);
    ok = r.ok() && doc.picCount() == int(in.frames.size());
    for (int i = 0; ok && i < doc.picCount(); ++i)
        ok = doc.pic(i).bits.size() >= in.frames[size_t(i)].size() &&
             std::equal(in.frames[size_t(i)].begin(), in.frames[size_t(i)].end(), doc.pic(i).bits.begin());
    if (!ok)
        std::fprintf(stderr, "%s: OpenGif does not give the input back\n", in.name.c_str());
    return ok;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // VELMAR_BENCH_SECTION=codec or =effects runs one section only.
    const QByteArray section = qgetenv("VELMAR_BENCH_SECTION");
    const int effectRounds =
        std::getenv("VELMAR_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("VELMAR_BENCH_ROUNDS"))) : 3;
    if (section == "effects") {
        runEffectsBench(effectRounds);
        return 0;
    }
    QTemporaryDir dir;
    const std::vector<BenchInput> inputs = {photoInput(), screenshotInput(), animationInput()};
    std::vector<Bytes> giflibFiles;
    bool ok = true;
    for (const BenchInput &in : inputs) {
        giflibFiles.push_back(giflibEncode(in));
        ok = check(in, giflibFiles.back()) && ok;
        QFile f(dir.filePath(QString::number(giflibFiles.size()) + QStringLiteral(".gif")));
        ok = f.open(QIODevice::WriteOnly) &&
             f.write(reinterpret_cast<const char *>(giflibFiles.back().data()), qint64(giflibFiles.back().size())) ==
                 qint64(giflibFiles.back().size()) &&
             ok;
        f.close();
        ok = checkReaders(in, giflibFiles.back(), f.fileName()) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "checks failed: no timing\n");
        return 1;
    }

    // Buffers made once, as the reader allocates before it decodes.
    std::vector<std::vector<Bytes>> ourFrames(inputs.size()), giflibFrames(inputs.size());
    std::vector<Bytes> encoded(inputs.size());
    std::vector<Case> cases;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const BenchInput &in = inputs[i];
        const Bytes &file = giflibFiles[i];
        cases.push_back({in.name, "decode", "ours", in.pixelCount(), [&, i] {
                             const int n = ourDecode(file, ourFrames[i]);
                             benchmark::DoNotOptimize(n);
                         }});
        cases.push_back({in.name, "decode", "giflib", in.pixelCount(), [&, i] {
                             const bool r = giflibDecode(file, giflibFrames[i]);
                             benchmark::DoNotOptimize(r);
                         }});
        cases.push_back({in.name, "read", "ours", in.pixelCount(), [&file] {
                             const Result<GifFile> r = readGifFile(file);
                             benchmark::DoNotOptimize(r.ok());
                         }});
        const QString path = dir.filePath(QString::number(i + 1) + QStringLiteral(".gif"));
        cases.push_back({in.name, "open", "ours", in.pixelCount(), [path] {
                             Document doc;
                             const OpenGifResult r = OpenGif(doc, path);
                             benchmark::DoNotOptimize(r.ok());
                         }});
        cases.push_back({in.name, "encode", "ours", in.pixelCount(), [&, i] {
                             ourEncode(in, encoded[i]);
                             benchmark::DoNotOptimize(encoded[i].data());
                         }});
        cases.push_back({in.name, "encode", "giflib", in.pixelCount(), [&] {
                             Bytes b = giflibEncode(in);
                             benchmark::DoNotOptimize(b.data());
                         }});
    }

    benchmark::Initialize(&argc, argv);
    const int kRounds =
        std::getenv("VELMAR_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("VELMAR_BENCH_ROUNDS"))) : 7;
    Collector collector;
    for (int round = 0; round < kRounds; ++round) {
        benchmark::ClearRegisteredBenchmarks();
        for (size_t k = 0; k < cases.size(); ++k) {
            const Case &c = cases[(k + size_t(round)) % cases.size()];
            benchmark::RegisterBenchmark(c.name().c_str(),
                                         [&c](benchmark::State &state) {
                                             for (auto _ : state)
                                                 c.run();
                                             state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(c.pixels));
                                         })
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.3);
        }
        benchmark::RunSpecifiedBenchmarks(&collector);
        std::printf("round %d of %d done\n", round + 1, kRounds);
        std::fflush(stdout);
    }

    std::printf("\nMedian of %d rounds; throughput in million pixels per second (CPU time).\n", kRounds);
    std::printf("%-22s %-19s %10s %10s %10s %10s\n", "input", "", "ours", "giflib", "ratio", "ours ms");
    auto seconds = [&](const std::string &name) {
        const auto it = collector.seconds.find(name);
        return it == collector.seconds.end() ? 0.0 : median(it->second);
    };
    bool targetsMet = true;
    for (const BenchInput &in : inputs) {
        const double mp = double(in.pixelCount()) / 1e6;
        // The reader is set against giflib's decoding, with no target.
        struct Line {
            const char *label, *ours, *giflib;
            double target;
        };
        for (const Line &line : {Line{"decode (LZWDecode)", "decode/ours", "decode/giflib", 2.0},
                                 Line{"read (readGifFile)", "read/ours", "decode/giflib", 0.0},
                                 Line{"open (OpenGif)", "open/ours", "decode/giflib", 0.0},
                                 Line{"encode (LZWEncode)", "encode/ours", "encode/giflib", 1.5}}) {
            const double ours = seconds(in.name + "/" + line.ours);
            const double theirs = seconds(in.name + "/" + line.giflib);
            if (ours == 0 || theirs == 0)
                continue; // filtered out on the command line
            const double ratio = theirs / ours;
            const bool below = line.target > 0 && ratio < line.target;
            targetsMet = targetsMet && !below;
            std::printf("%-22s %-19s %10.1f %10.1f %9.2fx %10.3f%s\n", in.name.c_str(), line.label, mp / ours,
                        mp / theirs, ratio, ours * 1e3, below ? "  (below target)" : "");
        }
    }
    std::printf("targets (decode >= 2.0x, encode >= 1.5x): %s\n", targetsMet ? "met" : "NOT met");
    benchmark::Shutdown();
    if (section != "codec")
        runEffectsBench(effectRounds);
    return 0;
}
