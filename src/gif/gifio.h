#pragma once

#include <QString>

namespace velmar {

class Document;

// What a file command reports: ok, or a message for the user (Japanese).
struct GifResult {
    bool ok = true;
    QString message;
};

// True when the file can be opened and its first three bytes are "GIF"
// (exactly, upper case). error receives why not when it cannot be read.
bool looksLikeGif(const QString &path, QString *error = nullptr);

// Appends every image of the file as a frame. Frames read before a failure
// stay in the document.
GifResult OpenGif(Document &doc, const QString &path);

// Writes the whole document as a GIF89a file; an existing file is replaced
// only when the new one is complete.
GifResult SaveGif(Document &doc, const QString &path);

} // namespace velmar
