#include "support/fuzzchecks.h"

#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifread.h"
#include "gif/lzw.h"
#include "platform/numeric.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <vector>

namespace velmar::test
{

// The table rules in their plainest form: the data is fetched one byte at a
// time through a sub-block counter, every code is expanded on a stack from
// its prefix chain, nothing is cached. Slow, and easy to check by reading.
Decoded plainDecode(std::span<const uint8_t> in, size_t outSize, uint8_t fill)
{
    Decoded r;
    r.out.assign(outSize, fill);
    size_t at = 0;
    size_t blockLength = 0, blockCount = 0;
    // False at the end of the input or at a zero length byte.
    const auto dataByte = [&](uint8_t &b, LzwEnd &why) {
        if (at >= in.size()) {
            why = LzwEnd::Truncated;
            return false;
        }
        if (blockLength == 0) {
            const uint8_t n = in[at++];
            if (n == 0) {
                why = LzwEnd::MissingEnd;
                return false;
            }
            blockLength = n;
            if (at >= in.size()) {
                why = LzwEnd::Truncated;
                return false;
            }
        }
        b = in[at++];
        if (++blockCount == blockLength)
            blockLength = blockCount = 0;
        return true;
    };
    size_t outIndex = 0;
    const auto finish = [&](LzwEnd end) {
        r.end = end;
        r.consumed = at;
        r.produced = std::min(outIndex, outSize);
        return r;
    };

    if (at >= in.size())
        return finish(LzwEnd::Truncated);
    const unsigned m = in[at++];
    if (m > 8) {
        r.refused = true;
        return finish(LzwEnd::Truncated);
    }
    const unsigned clear = 1u << m;
    const unsigned end = clear + 1;
    std::vector<uint16_t> prefix(4097), suffix(4097), stack(4097);
    unsigned nextFree = 0, width = 0, limit = 0;
    size_t sinceClear = 0;
    const auto reset = [&] {
        for (unsigned i = 0; i < 4097; ++i) {
            prefix[i] = 0;
            suffix[i] = uint16_t(i < clear ? i : 0);
        }
        nextFree = clear + 2;
        width = m + 1;
        limit = 1u << width;
        sinceClear = 0;
    };
    reset();
    unsigned prev = 0, prevFirst = 0, bit = 0;
    bool havePrev = false; // a code since the start or the last clear
    uint8_t current = 0;
    for (;;) {
        unsigned c = 0;
        for (unsigned l = 0; l < width; ++l) {
            LzwEnd why = LzwEnd::EndCode;
            if (bit == 0 && !dataByte(current, why))
                return finish(why);
            if ((current >> bit) & 1)
                c |= 1u << l;
            bit = (bit + 1) & 7;
        }
        if (c == clear) {
            if (sinceClear > 1)
                r.clears.push_back(std::min(outIndex, outSize));
            reset();
            havePrev = false;
            continue;
        }
        // After the end code, or at a code naming no string, the rest of
        // the image's data is passed over up to and including its
        // zero-length sub-block.
        const auto skipRest = [&] {
            at = std::min(in.size(), at + (blockLength - blockCount));
            while (at < in.size()) {
                const size_t n = in[at++];
                if (n == 0)
                    break;
                at = std::min(in.size(), at + n);
            }
        };
        if (c == end) {
            skipRest();
            return finish(LzwEnd::EndCode);
        }
        if (c > nextFree || (c >= nextFree && !havePrev)) {
            skipRest();
            return finish(LzwEnd::BadCode);
        }
        unsigned sp = 0;
        unsigned x = c;
        if (c == nextFree) {
            stack[sp++] = uint16_t(prevFirst);
            x = prev;
        }
        while (x > clear) {
            stack[sp++] = suffix[x];
            x = prefix[x];
        }
        stack[sp++] = uint16_t(x);
        const unsigned first = x;
        while (sp > 0) {
            const uint16_t v = stack[--sp];
            if (outIndex < outSize)
                r.out[outIndex] = uint8_t(v);
            ++outIndex;
            ++sinceClear;
        }
        if (sinceClear > 1 && nextFree < 4096) {
            prefix[nextFree] = uint16_t(prev);
            suffix[nextFree] = uint16_t(first);
            ++nextFree;
            if (nextFree >= limit && width < 12) {
                ++width;
                limit <<= 1;
            }
        }
        prev = c;
        prevFirst = first;
        havePrev = true;
    }
}

namespace
{

using Bytes = std::vector<uint8_t>;

std::string num(size_t v)
{
    return std::to_string(v);
}

// A file of this process for the reader and the writer, which take paths.
QString scratchPath(const char *name)
{
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("velmar-fuzz-%1-%2.gif").arg(QCoreApplication::applicationPid()).arg(name));
}

bool writeFile(const QString &path, std::span<const uint8_t> bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

std::string text(const QString &s)
{
    return s.toStdString();
}

// The reader as the fuzzers drive it: a document with no views, the image
// size and the memory capped (see kFuzzMaxImagePixels).
OpenGifResult openBytes(Document &doc, std::span<const uint8_t> file, const char *name, std::string *problem)
{
    const QString path = scratchPath(name);
    if (!writeFile(path, file)) {
        *problem = "cannot write the scratch file " + text(path);
        return {};
    }
    OpenGifOptions options;
    options.maxImagePixels = kFuzzMaxImagePixels;
    options.memoryBudget = kFuzzMemoryBudget;
    OpenGifResult r = OpenGif(doc, path, options);
    QFile::remove(path);
    return r;
}

std::string frameProblem(const Document &doc, int i)
{
    const PicInfo &pic = doc.pic(i);
    const std::string f = "frame " + num(size_t(i)) + ": ";
    if (pic.lWidth < 1 || pic.lHeight < 1)
        return f + "size " + num(size_t(pic.lWidth)) + "x" + num(size_t(pic.lHeight));
    if (pic.bits.size() != pic.pixelCount())
        return f + "buffer of " + num(pic.bits.size()) + " bytes for " + num(pic.pixelCount()) + " pixels";
    const int n = pic.nColors;
    if (n < 2 || n > 256 || (n & (n - 1)) != 0)
        return f + "colour count " + num(size_t(n));
    for (size_t k = size_t(n); k < pic.colors.size(); ++k)
        if (!(pic.colors[k] == Rgb{}))
            return f + "entry " + num(k) + " beyond the colour count is not black";
    const PropertyGrid &grid = doc.grid();
    if (grid.TextMatrix(i + 1, PropertyGrid::ColNumber) != numberText(i))
        return f + "grid column 0 holds \"" + text(grid.TextMatrix(i + 1, 0)) + "\"";
    if (grid.TextMatrix(i + 1, PropertyGrid::ColWidth) != numberText(pic.lWidth) ||
        grid.TextMatrix(i + 1, PropertyGrid::ColHeight) != numberText(pic.lHeight))
        return f + "grid size cells differ from the frame";
    return {};
}

std::string documentProblem(const Document &doc)
{
    if (doc.hasStagedFrame())
        return "a staged frame was left behind";
    if (doc.slotCount() != size_t(doc.picCount()))
        return "the table holds " + num(doc.slotCount()) + " records for " + num(size_t(doc.picCount())) + " frames";
    if (doc.picCount() > Document::kMaxFrames)
        return "more frames than the limit";
    if (doc.grid().Rows() < doc.picCount() + 1)
        return "the grid has fewer rows than frames";
    for (int i = 0; i < doc.picCount(); ++i)
        if (std::string p = frameProblem(doc, i); !p.empty())
            return p;
    return {};
}

// The same bytes read without a document: the same outcome, warnings and
// images.
std::string withoutDocumentProblem(std::span<const uint8_t> file, const Document &doc, const OpenGifResult &opened)
{
    GifReadOptions options;
    options.maxImagePixels = kFuzzMaxImagePixels;
    options.memoryBudget = kFuzzMemoryBudget;
    std::vector<GifWarning> warnings;
    const Result<GifFile> read = readGifFile(file, options, &warnings);
    if (read.ok() != opened.ok())
        return std::string("without a document the read ") + (read.ok() ? "succeeds" : "fails");
    if (warnings.size() != size_t(opened.warnings.size()))
        return "without a document " + num(warnings.size()) + " warnings, with one " +
               num(size_t(opened.warnings.size()));
    if (!read.ok())
        return {};
    if (read->images.size() != size_t(doc.picCount()))
        return "without a document " + num(read->images.size()) + " images";
    for (int i = 0; i < doc.picCount(); ++i) {
        const GifImage &image = read->images[size_t(i)];
        if (image.width != doc.pic(i).lWidth || image.height != doc.pic(i).lHeight || image.indices != doc.pic(i).bits)
            return "frame " + num(size_t(i)) + " differs without a document";
    }
    return {};
}

// The colour pixel index p shows in a frame: entries beyond the count are
// black, as the frame window draws them.
Rgb shown(const PicInfo &pic, int p)
{
    return p < pic.nColors ? pic.colors[size_t(p)] : Rgb{};
}

} // namespace

std::string checkLzwDecode(std::span<const uint8_t> input)
{
    if (input.size() < 2)
        return {};
    const size_t outSize = size_t(input[0]) | size_t(input[1]) << 8;
    const std::span<const uint8_t> stream = input.subspan(2);

    // An exact-size array: a write past it is an AddressSanitizer report.
    Decoded fast;
    fast.out.assign(outSize, 0xA5);
    const Result<LzwDecoded> r =
        LZWDecode(stream, std::span<uint8_t>(fast.out), [&](size_t produced) { fast.clears.push_back(produced); });
    fast.refused = !r.ok();
    if (r) {
        fast.end = r->end;
        fast.consumed = r->consumed;
        fast.produced = r->produced;
    }

    const Decoded plain = plainDecode(stream, outSize, 0xA5);
    if (fast.refused != plain.refused)
        return fast.refused ? "refused, the table rules decode" : "decoded, the table rules refuse";
    if (plain.refused)
        return fast.out == plain.out ? std::string() : "a refused stream wrote to the array";
    if (fast.end != plain.end)
        return std::string("ends at ") + lzwEndText(fast.end) + ", the table rules at " + lzwEndText(plain.end);
    if (fast.consumed != plain.consumed)
        return "consumed " + num(fast.consumed) + " bytes, the table rules " + num(plain.consumed);
    if (fast.produced != plain.produced)
        return "produced " + num(fast.produced) + " bytes, the table rules " + num(plain.produced);
    if (fast.consumed > stream.size() || fast.produced > outSize)
        return "counts beyond the input or the array";
    if (fast.clears != plain.clears)
        return "clear-code callbacks differ (" + num(fast.clears.size()) + " against " + num(plain.clears.size()) + ")";
    const auto diff = std::mismatch(fast.out.begin(), fast.out.end(), plain.out.begin());
    if (diff.first != fast.out.end())
        return "output differs at byte " + num(size_t(diff.first - fast.out.begin()));
    return {};
}

std::string checkOpenGif(std::span<const uint8_t> file)
{
    Document doc;
    std::string problem;
    const OpenGifResult r = openBytes(doc, file, "open", &problem);
    if (!problem.empty())
        return problem;
    if (!r.ok() && r.error().isEmpty())
        return "a refusal without a message";
    if (!doc.statusText().isEmpty())
        return "the status text was left as \"" + text(doc.statusText()) + "\"";
    if (std::string p = documentProblem(doc); !p.empty())
        return p;
    if (std::string p = withoutDocumentProblem(file, doc, r); !p.empty())
        return p;
    const bool hadFrames = doc.picCount() > 0;
    doc.closeAll();
    // The last deletion shrinks the grid to its heading row.
    if (doc.picCount() != 0 || doc.slotCount() != 0 || (hadFrames && doc.grid().Rows() != 1))
        return "closing all frames left " + num(doc.slotCount()) + " records and " + num(size_t(doc.grid().Rows())) +
               " grid rows";
    return {};
}

std::string checkRoundTrip(std::span<const uint8_t> file)
{
    Document first;
    std::string problem;
    openBytes(first, file, "first", &problem);
    if (!problem.empty())
        return problem;
    if (first.picCount() == 0)
        return {}; // nothing to save
    if (std::string p = documentProblem(first); !p.empty())
        return "first read: " + p;

    const QString savedPath = scratchPath("saved");
    const Result<void> saved = SaveGif(first, savedPath);
    if (!saved.ok()) {
        // The one refusal a read document can meet: a file that ends inside
        // an image's colour table leaves that frame's property cells empty,
        // as the file gave them, and an empty cell is not a number.
        for (int i = 0; i < first.picCount(); ++i)
            for (int col = PropertyGrid::ColTransparent; col <= PropertyGrid::ColDisposal; ++col)
                if (first.grid().TextMatrix(i + 1, col).isEmpty())
                    return {};
        return "save refused: " + text(saved.error());
    }
    QFile savedFile(savedPath);
    if (!savedFile.open(QIODevice::ReadOnly))
        return "the saved file cannot be read";
    const QByteArray bytes = savedFile.readAll();
    savedFile.close();
    QFile::remove(savedPath);

    Document second;
    const OpenGifResult r = openBytes(
        second, std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())),
        "second", &problem);
    if (!problem.empty())
        return problem;
    if (!r.ok())
        return "the saved file is refused: " + text(r.error());
    if (std::string p = documentProblem(second); !p.empty())
        return "second read: " + p;
    if (second.picCount() != first.picCount())
        return num(size_t(first.picCount())) + " frames became " + num(size_t(second.picCount()));

    for (int i = 0; i < first.picCount(); ++i) {
        const PicInfo &a = first.pic(i);
        const PicInfo &b = second.pic(i);
        const std::string f = "frame " + num(size_t(i)) + ": ";
        if (a.lWidth != b.lWidth || a.lHeight != b.lHeight)
            return f + "size changed";
        if (a.bits != b.bits)
            return f + "pixels changed";
        // The writer may give a frame more entries (up to its largest index,
        // or a power of two) and may leave out a local table whose colours
        // the global one has; what a pixel shows must not change.
        if (b.nColors < a.nColors)
            return f + "colour count fell from " + num(size_t(a.nColors)) + " to " + num(size_t(b.nColors));
        for (int k = 0; k < a.nColors; ++k)
            if (!(a.colors[size_t(k)] == b.colors[size_t(k)]))
                return f + "colour " + num(size_t(k)) + " changed";
        for (uint8_t p : a.bits)
            if (!(shown(a, p) == shown(b, p)))
                return f + "index " + num(p) + " shows another colour";
        for (int col = PropertyGrid::ColX; col <= PropertyGrid::ColDisposal; ++col)
            if (first.grid().TextMatrix(i + 1, col) != second.grid().TextMatrix(i + 1, col))
                return f + "grid column " + num(size_t(col)) + " \"" + text(first.grid().TextMatrix(i + 1, col)) +
                       "\" became \"" + text(second.grid().TextMatrix(i + 1, col)) + "\"";
    }

    const GlobalFields &g1 = first.globals();
    const GlobalFields &g2 = second.globals();
    const auto writable = [](const QString &side) {
        const std::optional<int32_t> v = textToInt32(side);
        return v && *v >= 1 && *v <= 65535;
    };
    if (writable(g1.width) && writable(g1.height)) {
        if (g1.width != g2.width || g1.height != g2.height)
            return "canvas size changed";
    } else {
        // A canvas the format cannot hold (a frame 0 read past 65535) gives
        // way to the frames' box, at most 65535 a side, which the second read
        // enlarges only where frame 0 sticks out.
        const auto cellOf = [&](int frame, int col) {
            return textToInt32(first.grid().TextMatrix(frame + 1, col)).value_or(0);
        };
        int64_t boxW = 0, boxH = 0;
        for (int i = 0; i < first.picCount(); ++i) {
            boxW = std::max<int64_t>(boxW, cellOf(i, PropertyGrid::ColX) + first.pic(i).lWidth);
            boxH = std::max<int64_t>(boxH, cellOf(i, PropertyGrid::ColY) + first.pic(i).lHeight);
        }
        const int64_t w =
            std::max<int64_t>(std::min<int64_t>(boxW, 65535), cellOf(0, PropertyGrid::ColX) + first.pic(0).lWidth);
        const int64_t h =
            std::max<int64_t>(std::min<int64_t>(boxH, 65535), cellOf(0, PropertyGrid::ColY) + first.pic(0).lHeight);
        if (g2.width != numberText(w) || g2.height != numberText(h))
            return "canvas " + text(g1.width) + " x " + text(g1.height) + " became " + text(g2.width) + " x " +
                   text(g2.height) + ", not the frames' box";
    }
    if (g2.loopBlock != g1.loopBlock)
        return g1.loopBlock ? "the saved file lost its looping block" : "the saved file gained a looping block";
    if (g1.loopBlock && textToInt16(g1.loop) != textToInt16(g2.loop))
        return "repeat count \"" + text(g1.loop) + "\" became \"" + text(g2.loop) + "\"";
    // An empty comment and a single space are not written.
    const QString comment = g1.comment == QStringLiteral(" ") ? QString() : g1.comment;
    if (g2.comment != comment)
        return "comment changed";
    return {};
}

} // namespace velmar::test
