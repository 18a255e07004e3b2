// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pictures of other formats (PNG, JPEG, WebP, BMP and whatever else an
// image plugin reads) become frames: read through Qt's image plugins,
// reduced to at most 256 colours by libimagequant, added at their own size
// at 0,0 through the staging slot.

#include "platform/palette.h"
#include "platform/result.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

#include <cstdint>
#include <vector>

namespace velmar
{

class Document;

struct ImportOptions {
    bool dither = true;
    // One colour table for every picture of an import, or one each.
    bool sharedPalette = false;
    // Hundredths of a second; pictures of an animation keep their own.
    int delay = 10;
    // libimagequant's target quality, 0 to 100: fewer colours as it falls.
    int quality = 100;

    friend bool operator==(const ImportOptions &, const ImportOptions &) = default;
};

// "dither=0|1,shared=0|1,delay=N,quality=N" (commas or blanks between, any
// subset, in any order) over base, or "-" for base as it is.
Result<ImportOptions> parseImportOptions(const QString &text, ImportOptions base = {});
QString importOptionsText(const ImportOptions &options);

// One picture ready to be a frame: indices into colors, rows of width
// bytes. nColors is the smallest power of two (at least 2) that holds the
// colours in use; the entries beyond them are black.
struct QuantizedPicture {
    int width = 0;
    int height = 0;
    int nColors = 2;
    ColorTable colors{};
    std::vector<uint8_t> indices;
    // The entry the fully transparent pixels use, or -1 when none is.
    int transparentIndex = -1;
};

// Quantises each picture with its own table, or all with one table when
// options.sharedPalette is set. Pixels of alpha below one half are
// transparent, the others opaque: a GIF has nothing in between.
Result<std::vector<QuantizedPicture>> quantizePictures(const std::vector<QImage> &pictures,
                                                       const ImportOptions &options);

// Whether some image plugin reads the file, judged by its contents.
bool imagePluginReads(const QString &path);

// The name filter of every format the plugins read, for a file dialog.
QString imageFileFilter();

// Adds every picture of the files as frames (all images of an animated
// file, with its delays), as one undo step. A file no plugin reads is
// skipped with a note (the one a file that is not a GIF gets); a file
// that breaks off keeps the pictures read before. Fails when a frame
// cannot be added; the frames added before stay.
// progress, when given, is called before each picture is read with the
// steps done, the steps to do (one per file, two with a shared table, which
// reads every file twice) and the file; once it returns false the import
// stops and keeps the frames added.
using ImportProgress = std::function<bool(int done, int total, const QString &path)>;
Result<int> importImageFiles(Document &doc, const QStringList &paths, const ImportOptions &options,
                             QStringList *notes = nullptr, const ImportProgress &progress = {});

// Adds one picture (the clipboard's) as a frame, as one undo step.
Result<int> importImage(Document &doc, const QImage &image, const ImportOptions &options);

// Frame n as a picture: its colours, and its transparent entry (when its
// grid row sets one) as transparent.
QImage frameImage(const Document &doc, int n);
Result<void> saveFrameImage(const Document &doc, int n, const QString &path);

// The note a file gets that is neither a GIF nor a picture a plugin reads.
QString notAPictureNote(const QString &path);

} // namespace velmar
