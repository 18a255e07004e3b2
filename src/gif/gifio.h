#pragma once

#include <QString>

#include <cstddef>

namespace velmar
{

class Document;

// What a file command reports: ok, or a message for the user (Japanese).
struct GifResult {
    bool ok = true;
    QString message;
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
};

// True when the file can be opened and its first three bytes are "GIF"
// (exactly, upper case). error receives why not when it cannot be read.
bool looksLikeGif(const QString &path, QString *error = nullptr);

// Appends every image of the file as a frame. Frames read before a failure
// stay in the document. A damaged code stream ends the read silently (ok);
// a file that cannot be read, an image that cannot be allocated and the
// frame-number limit end it with a message.
GifResult OpenGif(Document &doc, const QString &path, const OpenGifOptions &options = {});

// Writes the whole document as a GIF89a file; an existing file is replaced
// only when the new one is complete. Nothing is written when a grid cell or
// the repeat count cannot be converted; the message then names the frame
// and the column.
GifResult SaveGif(Document &doc, const QString &path);

} // namespace velmar
