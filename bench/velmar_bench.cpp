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
//
// Wuffs, when its source is found at build time, is the second reference,
// on the generated pictures and on the largest animations of the conformance
// suites: its indices must equal ours. Its decode line decodes every frame
// into one canvas made once, set against LZWDecode; its whole-file line
// decodes every frame into a canvas of its own, uninitialised and kept to the
// end, set against OpenGif, which leaves every frame in memory too.
//
// Last, each file is opened once more in a process of its own, to see how
// much opening it adds to the peak resident size against its pixels.
#include "bench_effects.h"
#include "bench_inputs.h"
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifread.h"
#include "gif/lzw.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#ifdef VELMAR_BENCH_WUFFS
#include "wuffs_gif.h"
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>
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
// data ended. Returns the number of images, or -1 on a decoding failure (a
// stream closed by its terminator without an end code decodes, as in the
// reader).
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
            if (!r || (r->end != LzwEnd::EndCode && r->end != LzwEnd::MissingEnd))
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

// ---- Wuffs ----------------------------------------------------------------

#ifdef VELMAR_BENCH_WUFFS
// Every frame into one canvas made once: the decoder alone, as LZWDecode is
// timed into frames made once.
uint8_t *reusedCanvas(void *context, size_t, size_t bytes)
{
    auto *canvas = static_cast<Bytes *>(context);
    if (canvas->size() < bytes)
        canvas->resize(bytes);
    return canvas->data();
}

// Every frame into a canvas of its own, left uninitialised, all kept to the
// end: the decoded animation in memory, as OpenGif leaves it.
uint8_t *keptCanvas(void *context, size_t, size_t bytes)
{
    auto *kept = static_cast<std::vector<std::unique_ptr<uint8_t[]>> *>(context);
    kept->emplace_back(new (std::nothrow) uint8_t[bytes]);
    return kept->back().get();
}

// For the check: each frame on a zeroed canvas, its rectangle copied out.
struct WuffsFrames {
    Bytes canvas;
    std::vector<Bytes> frames;
    std::vector<std::array<uint32_t, 4>> rects; // x0, y0, x1, y1
};

uint8_t *zeroedCanvas(void *context, size_t, size_t bytes)
{
    auto *f = static_cast<WuffsFrames *>(context);
    f->canvas.assign(bytes, 0);
    return f->canvas.data();
}

void copyFrame(void *context, size_t, const uint8_t *canvas, size_t stride, uint32_t x0, uint32_t y0, uint32_t x1,
               uint32_t y1)
{
    auto *f = static_cast<WuffsFrames *>(context);
    Bytes frame;
    for (uint32_t y = y0; y < y1; ++y)
        frame.insert(frame.end(), canvas + y * stride + x0, canvas + y * stride + x1);
    f->frames.push_back(std::move(frame));
    f->rects.push_back({x0, y0, x1, y1});
}

// Wuffs gives the images readGifFile gives. It clips a frame to the screen,
// so the part it keeps is compared.
bool checkWuffs(const std::string &name, const Bytes &file, const GifFile &ours)
{
    WuffsFrames w;
    const long n = wuffs_bench_decode(file.data(), file.size(), &w, zeroedCanvas, copyFrame);
    if (n < 0 || size_t(n) != ours.images.size()) {
        std::fprintf(stderr, "%s: Wuffs gives %ld frames, ours %zu\n", name.c_str(), n, ours.images.size());
        return false;
    }
    for (size_t i = 0; i < ours.images.size(); ++i) {
        const GifImage &image = ours.images[i];
        const auto [x0, y0, x1, y1] = w.rects[i];
        bool same = x0 >= uint32_t(image.left) && y0 >= uint32_t(image.top) &&
                    x1 <= uint32_t(image.left + image.width) && y1 <= uint32_t(image.top + image.height);
        const size_t span = x1 - x0;
        for (uint32_t y = y0; same && y < y1; ++y) {
            const uint8_t *mine =
                image.indices.data() + size_t(y - image.top) * size_t(image.width) + (x0 - uint32_t(image.left));
            same = std::equal(mine, mine + span, w.frames[i].begin() + long((y - y0) * span));
        }
        if (!same) {
            std::fprintf(stderr, "%s: Wuffs differs from ours in frame %zu\n", name.c_str(), i);
            return false;
        }
    }
    std::printf("checked %-24s Wuffs: %ld frames, indices equal\n", name.c_str(), n);
    return true;
}
#endif

// ---- inputs ---------------------------------------------------------------

// The largest animations of the conformance suites, beside the generated
// pictures.
constexpr const char *kSuiteFiles[] = {"image-gif/samples/sample_big.gif", "image-gif/samples/gifplayer-muybridge.gif",
                                       "pillow/iss634.gif"};

struct Input {
    std::string name;
    Bytes file;   // giflib's encoding of a generated picture, or a suite's file
    QString path; // the same bytes on disk, for OpenGif
    size_t pixels = 0;
    const BenchInput *generated = nullptr; // for the encoding lines
};

bool writeFile(const QString &path, const Bytes &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// ---- peak memory ------------------------------------------------------------

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:"), -1 when absent.
long statusKb(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == key) {
            long kb = -1;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

// Run as `velmar_bench --peak-open FILE` in a process of its own: prints the
// kB that opening FILE into a new Document added to the peak resident size.
// A process of its own, because in the benchmark's the heap and the arenas
// are already warm from the cases before.
int peakOpen(const QString &path)
{
    {
        // The peak starts from the resident size now.
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
    }
    const long before = statusKb("VmRSS:");
    Document doc;
    const OpenGifResult r = OpenGif(doc, path);
    const long peak = statusKb("VmHWM:");
    if (!r.ok() || before < 0 || peak < 0)
        return 1;
    std::printf("%ld\n", peak - before);
    return 0;
}

// The kB added to the peak by opening path, -1 when it could not be measured.
long measurePeakKb(const QString &path)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak-open"), path});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    bool ok = false;
    const long kb = p.readAllStandardOutput().trimmed().toLong(&ok);
    return ok ? kb : -1;
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

// A suite's file: the timed LZWDecode loop and OpenGif give what
// readGifFile gives.
bool checkSuiteFile(const Input &input, const GifFile &read)
{
    std::vector<Bytes> frames;
    const int decoded = ourDecode(input.file, frames);
    bool ok = decoded == int(read.images.size());
    for (size_t i = 0; ok && i < read.images.size(); ++i)
        ok = std::equal(read.images[i].indices.begin(), read.images[i].indices.end(), frames[i].begin());
    if (!ok) {
        std::fprintf(stderr, "%s: LZWDecode gives %d images, readGifFile %zu, or other indices\n", input.name.c_str(),
                     decoded, read.images.size());
        return false;
    }
    Document doc;
    ok = OpenGif(doc, input.path).ok() && doc.picCount() == int(read.images.size());
    for (int i = 0; ok && i < doc.picCount(); ++i)
        ok = std::equal(doc.pic(i).bits.begin(), doc.pic(i).bits.end(), read.images[size_t(i)].indices.begin(),
                        read.images[size_t(i)].indices.end());
    if (!ok)
        std::fprintf(stderr, "%s: OpenGif and readGifFile disagree\n", input.name.c_str());
    return ok;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--peak-open") == 0)
        return peakOpen(QString::fromLocal8Bit(argv[2]));
    // VELMAR_BENCH_SECTION=codec or =effects runs one section only.
    const QByteArray section = qgetenv("VELMAR_BENCH_SECTION");
    const int effectRounds =
        std::getenv("VELMAR_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("VELMAR_BENCH_ROUNDS"))) : 3;
    if (section == "effects") {
        runEffectsBench(effectRounds);
        return 0;
    }
    QTemporaryDir dir;
    const std::vector<BenchInput> generated = {photoInput(), screenshotInput(), animationInput()};
    std::vector<Input> inputs;
    bool ok = true;
    for (const BenchInput &in : generated) {
        Input input{in.name, giflibEncode(in), dir.filePath(QString::number(inputs.size()) + QStringLiteral(".gif")),
                    in.pixelCount(), &in};
        ok = check(in, input.file) && ok;
        ok = writeFile(input.path, input.file) && ok;
        ok = checkReaders(in, input.file, input.path) && ok;
        inputs.push_back(std::move(input));
    }
    for (const char *relative : kSuiteFiles) {
        const QString path = QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance/") + QLatin1String(relative);
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::printf("skipped %s: cannot be read\n", qPrintable(path));
            continue;
        }
        const QByteArray bytes = f.readAll();
        Input input{QFileInfo(path).fileName().toStdString(), Bytes(bytes.begin(), bytes.end()), path, 0, nullptr};
        const Result<GifFile> read = readGifFile(input.file);
        if (!read) {
            std::fprintf(stderr, "%s: %s\n", input.name.c_str(), qPrintable(read.error()));
            ok = false;
            continue;
        }
        for (const GifImage &image : read->images)
            input.pixels += image.indices.size();
        ok = checkSuiteFile(input, *read) && ok;
        inputs.push_back(std::move(input));
    }
#ifdef VELMAR_BENCH_WUFFS
    for (const Input &input : inputs) {
        const Result<GifFile> read = readGifFile(input.file);
        ok = read.ok() && checkWuffs(input.name, input.file, *read) && ok;
    }
#else
    std::printf("Wuffs is not built in (%s not found): no Wuffs lines\n", VELMAR_WUFFS_DIR);
#endif
    if (!ok) {
        std::fprintf(stderr, "checks failed: no timing\n");
        return 1;
    }

    // Buffers made once, as the reader allocates before it decodes.
    std::vector<std::vector<Bytes>> ourFrames(inputs.size()), giflibFrames(inputs.size());
    std::vector<Bytes> encoded(inputs.size()), wuffsCanvas(inputs.size());
    std::vector<Case> cases;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const Input &input = inputs[i];
        const Bytes &file = input.file;
        cases.push_back({input.name, "decode", "ours", input.pixels, [&, i] {
                             const int n = ourDecode(file, ourFrames[i]);
                             benchmark::DoNotOptimize(n);
                         }});
        cases.push_back({input.name, "decode", "giflib", input.pixels, [&, i] {
                             const bool r = giflibDecode(file, giflibFrames[i]);
                             benchmark::DoNotOptimize(r);
                         }});
        cases.push_back({input.name, "read", "ours", input.pixels, [&file] {
                             const Result<GifFile> r = readGifFile(file);
                             benchmark::DoNotOptimize(r.ok());
                         }});
        cases.push_back({input.name, "open", "ours", input.pixels, [&input] {
                             Document doc;
                             const OpenGifResult r = OpenGif(doc, input.path);
                             benchmark::DoNotOptimize(r.ok());
                         }});
#ifdef VELMAR_BENCH_WUFFS
        cases.push_back({input.name, "decode", "wuffs", input.pixels, [&, i] {
                             const long n =
                                 wuffs_bench_decode(file.data(), file.size(), &wuffsCanvas[i], reusedCanvas, nullptr);
                             benchmark::DoNotOptimize(n);
                         }});
        cases.push_back({input.name, "open", "wuffs", input.pixels, [&file] {
                             std::vector<std::unique_ptr<uint8_t[]>> kept;
                             const long n = wuffs_bench_decode(file.data(), file.size(), &kept, keptCanvas, nullptr);
                             benchmark::DoNotOptimize(n);
                         }});
#endif
        if (!input.generated)
            continue;
        cases.push_back({input.name, "encode", "ours", input.pixels, [&, i] {
                             ourEncode(*input.generated, encoded[i]);
                             benchmark::DoNotOptimize(encoded[i].data());
                         }});
        cases.push_back({input.name, "encode", "giflib", input.pixels, [&input] {
                             Bytes b = giflibEncode(*input.generated);
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

    std::printf("\nMedian of %d rounds; throughput in million pixels per second (CPU time); ratio: ours' speed over "
                "the other's.\n",
                kRounds);
    std::printf("%-24s %-19s %9s %9s %8s %9s %8s %9s\n", "input", "", "ours", "giflib", "ratio", "wuffs", "ratio",
                "ours ms");
    auto seconds = [&](const std::string &name) {
        const auto it = collector.seconds.find(name);
        return it == collector.seconds.end() ? 0.0 : median(it->second);
    };
    bool targetsMet = true;
    for (const Input &input : inputs) {
        const double mp = double(input.pixels) / 1e6;
        // The giflib targets hold for the generated pictures; the Wuffs
        // targets for every input.
        struct Line {
            const char *label, *ours, *giflib, *wuffs;
            double giflibTarget, wuffsTarget;
        };
        for (const Line &line : {Line{"decode (LZWDecode)", "decode/ours", "decode/giflib", "decode/wuffs", 2.0, 1.2},
                                 Line{"read (readGifFile)", "read/ours", "decode/giflib", "open/wuffs", 0.0, 0.0},
                                 Line{"open (OpenGif)", "open/ours", "decode/giflib", "open/wuffs", 0.0, 1.0},
                                 Line{"encode (LZWEncode)", "encode/ours", "encode/giflib", "", 1.5, 0.0}}) {
            const double ours = seconds(input.name + "/" + line.ours);
            const double giflib = seconds(input.name + "/" + line.giflib);
            const double wuffs = *line.wuffs ? seconds(input.name + "/" + line.wuffs) : 0.0;
            if (ours == 0 || giflib == 0)
                continue; // filtered out on the command line, or not an encoding input
            const double giflibRatio = giflib / ours;
            const double wuffsRatio = wuffs / ours;
            const bool belowGiflib = input.generated && line.giflibTarget > 0 && giflibRatio < line.giflibTarget;
            const bool belowWuffs = wuffs > 0 && line.wuffsTarget > 0 && wuffsRatio < line.wuffsTarget;
            targetsMet = targetsMet && !belowGiflib && !belowWuffs;
            char wuffsText[40] = "        -        -";
            if (wuffs > 0)
                std::snprintf(wuffsText, sizeof wuffsText, "%9.1f %7.2fx", mp / wuffs, wuffsRatio);
            std::printf("%-24s %-19s %9.1f %9.1f %7.2fx %s %9.3f%s%s\n", input.name.c_str(), line.label, mp / ours,
                        mp / giflib, giflibRatio, wuffsText, ours * 1e3, belowGiflib ? "  (below giflib target)" : "",
                        belowWuffs ? "  (below Wuffs target)" : "");
        }
    }
    // Opening a file may add to the peak resident size its pixels, an
    // eighth more, and a fixed 30 MB (the file, tables, the Document).
    std::printf(
        "\nPeak resident size added by OpenGif (a process of its own per file): limit 1.15 x pixels + 30 MB.\n");
    for (const Input &input : inputs) {
        const long kb = measurePeakKb(input.path);
        const double pixelMb = double(input.pixels) / 1e6;
        const double limitMb = 1.15 * pixelMb + 30;
        const double peakMb = double(kb) * 1024 / 1e6;
        const bool over = kb < 0 || peakMb > limitMb;
        targetsMet = targetsMet && !over;
        std::printf("%-24s %-19s peak %7.1f MB  pixels %7.1f MB  (%.2fx)  limit %7.1f MB%s\n", input.name.c_str(),
                    "memory (OpenGif)", peakMb, pixelMb, pixelMb > 0 ? peakMb / pixelMb : 0.0, limitMb,
                    kb < 0 ? "  (not measured)"
                    : over ? "  (above the limit)"
                           : "");
    }
    std::printf("targets (giflib: decode >= 2.0x, encode >= 1.5x; Wuffs: LZWDecode >= 1.2x, OpenGif >= 1.0x; "
                "OpenGif peak <= 1.15x pixels + 30 MB): %s\n",
                targetsMet ? "met" : "NOT met");
    benchmark::Shutdown();
    if (section != "codec")
        runEffectsBench(effectRounds);
    return 0;
}
