#pragma once

// The GIF reader: parses a file into the plain description of giffile.h and
// hands each image to a sink as it is decoded, so a caller can show a picture
// while it builds up, or decode into a buffer of its own, without the reader
// knowing what the caller keeps.

#include "gif/giffile.h"
#include "platform/result.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmar
{

struct GifReadOptions {
    // An image of more pixels is refused, with a message, before anything
    // is allocated for it.
    size_t maxImagePixels = size_t(1) << 28;
    // The pixels already held (memoryInUse), those of the images read and of
    // the image being decoded may take at most this many bytes; the image
    // that would pass it is refused with a message. 0: half the machine's
    // physical memory.
    size_t memoryBudget = 0;
    size_t memoryInUse = 0;
};

// What a read that went on lost on the way. image: the image's number among
// the images kept from this file (for a skipped image or a cut descriptor,
// the number the next kept image gets).
enum class GifWarningKind {
    DescriptorCut, // the file ends inside an image descriptor
    EmptyImage,    // an image of zero width or height, skipped
    ShortData,     // the data ends before the last pixel; the rest is index 0
    DamagedCode,   // a code that names no string; the rest is index 0
    BadCodeSize,   // LZW minimum code size above 8; the image is all index 0
    DataCut,       // the file ends inside the image's data
};

struct GifWarning {
    GifWarningKind kind = GifWarningKind::ShortData;
    int image = 0;
    int width = 0;    // EmptyImage
    int height = 0;   // EmptyImage
    int codeSize = 0; // BadCodeSize
    QString path;     // the file read; empty when reading bytes
};

// Receives what the reader finds, in file order. Only beginImage must be
// given; the reader keeps nothing of an image once endImage returns.
class GifReadSink
{
  public:
    virtual ~GifReadSink() = default;

    // The logical screen and the global table (file.images is empty).
    virtual void start(const GifFile &) {}
    // A graphic control extension, for the next image. held: how many of
    // its fields the file holds, in order (1: disposal, user input and
    // transparent flag; 2: and the delay; 3: and the transparent index),
    // fewer when the file ends inside the block.
    virtual void control(const GifControl &, int /*held*/) {}
    // A comment extension's bytes; a later one replaces an earlier one.
    virtual void comment(const QByteArray &) {}
    // The repeat count of a looping application block, as stored (0..65535).
    virtual void loop(int) {}
    // An image is about to be decoded: image has all but its indices, and
    // its control values from the control blocks before it. tableComplete
    // is false when the file ends inside its local table (the missing
    // entries are black). Returns the width x height array the indices go
    // into. It need not be initialised: the reader writes every pixel, index
    // 0 where the data ends early. An error stops the read with that message.
    virtual Result<std::span<uint8_t>> beginImage(const GifImage &image, bool tableComplete) = 0;
    // Asked at a clear code: true when the sink would show the picture now.
    // The reader then gives the pixels not yet decoded index 0 (once an
    // image) and calls partial.
    virtual bool wantsPartial() { return false; }
    // The first `stored` pixels in file order are in the array (an
    // interlaced image's rows in their places), the rest are index 0.
    virtual void partial(size_t /*stored*/) {}
    // The image's data is read; the array holds everything decoded and index
    // 0 for the pixels the data never reached.
    virtual void endImage() {}
    virtual void warning(const GifWarning &) {}
    // After each block.
    virtual void progress(size_t /*bytesRead*/, size_t /*fileSize*/) {}
};

// Reads every block of the file. A short or damaged image keeps the pixels
// decoded, with a warning, and the read goes on; an image of zero width or
// height is skipped with a warning. Fails with a message for the user when the
// file cannot be read, an image is refused (size, memory, or the sink's
// error), the file ends before its first image, or no image could be read.
Result<void> readGif(const QString &path, GifReadSink &sink, const GifReadOptions &options = {});
Result<void> readGif(std::span<const uint8_t> bytes, GifReadSink &sink, const GifReadOptions &options = {});

// The whole file as data. warnings, when given, receives the warnings also
// when the read fails.
Result<GifFile> readGifFile(const QString &path, const GifReadOptions &options = {},
                            std::vector<GifWarning> *warnings = nullptr);
Result<GifFile> readGifFile(std::span<const uint8_t> bytes, const GifReadOptions &options = {},
                            std::vector<GifWarning> *warnings = nullptr);

// True when the file can be opened and its first three bytes are "GIF"
// (exactly, upper case). error receives why not when it cannot be read.
bool looksLikeGif(const QString &path, QString *error = nullptr);

} // namespace velmar
