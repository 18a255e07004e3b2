#pragma once

#include "gif/gifread.h"
#include "platform/result.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <utility>

namespace velmar
{

class Document;

// What OpenGif reports: ok, or why the read stopped (a message for the
// user, Japanese); and, either way, the warnings that name what the read
// lost on the way (an image cut short, a damaged code, an image skipped, a
// file that ends early), one message each, naming the file and the frame.
struct OpenGifResult {
    Result<void> result;
    QStringList warnings;
    bool ok() const { return result.ok(); }
    QString error() const { return result.error(); }
};

// How far a read has come: the bytes of the file read so far, and the images
// of the file that have become frames (the one being decoded included).
struct OpenGifProgress {
    size_t bytesRead = 0;
    size_t fileSize = 0;
    int frames = 0;
};

struct OpenGifOptions {
    // The picture of an image being decoded is repainted at clear codes, but
    // not more often than this (screen rate); the finished picture is always
    // shown.
    int displayIntervalMs = 16;
    // An image of more pixels is refused, with a message, before anything
    // is allocated for it.
    size_t maxImagePixels = size_t(1) << 28;
    // The pixels of the document's frames and of the image being decoded
    // may take at most this many bytes; the image that would pass it is
    // refused with a message. 0: half the machine's physical memory.
    size_t memoryBudget = 0;
    // Told after each block of the file, and while an image decodes each time
    // its picture is redrawn. Returning false stops the read before its next
    // image: the frames read so far, the one being decoded finished whole,
    // stay, and the read fails with openCancelledText().
    std::function<bool(const OpenGifProgress &)> progress = nullptr;
};

// The message of a read stopped through OpenGifOptions::progress.
QString openCancelledText();

// Appends every image of the file as a frame. An image whose data ends
// early, or breaks off at a damaged code, keeps the pixels decoded (index 0
// for the rest) and the read goes on with the next block; an image of zero
// width or height is skipped. Each such loss, and a file that ends inside an
// image, adds a warning. A file that cannot be read, an image that cannot be
// allocated and the frame-number limit end the read with a message. Frames
// read before any of these stay in the document.
OpenGifResult OpenGif(Document &doc, const QString &path, const OpenGifOptions &options = {});

// Writes the whole document as a GIF89a file; an existing file is replaced
// only when the new one is complete. Nothing is written when a grid cell or
// the repeat count cannot be converted; the message then names the frame
// and the column.
// progress, when given, is told after each image is encoded (images done, of
// all); returning false stops the save before anything is written, and it
// fails with saveCancelledText(): an existing file stays as it was.
using SaveGifProgress = std::function<bool(int images, int total)>;
Result<void> SaveGif(Document &doc, const QString &path, const SaveGifProgress &progress = {});
QString saveCancelledText();

// The sizes in bytes of the file SaveGif would write and of the one written.
struct SavedSizes {
    qint64 plain = 0;
    qint64 saved = 0;
};

// Like SaveGif, with the same checks and messages, but writes the smallest
// file we can make that every viewer shows frame for frame as the plain
// one (see optimizeGif). sizes, when given, receives both sizes; working
// out the plain one costs a plain encoding.
Result<void> SaveGifOptimized(Document &doc, const QString &path, SavedSizes *sizes = nullptr);

// Whether SaveGif takes text as the value of a frame's grid column col; the
// failure says why not (a number it cannot read, or one its field cannot
// hold). Columns the writer does not convert take any text.
Result<void> checkGridCell(int col, const QString &text);

} // namespace velmar
