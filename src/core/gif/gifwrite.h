#pragma once

#include "gif/giffile.h"
#include "platform/result.h"

#include <QByteArray>

#include <functional>

namespace velmar
{

// Called after each image is written, with its number and the bytes written
// so far; false stops the encoding.
using GifWriteProgress = std::function<bool(int image, qsizetype bytes)>;

// The GIF89a bytes of the file: header, screen descriptor, global table,
// looping block, then per image its control extension, descriptor, local
// table and LZW data, then the comment extension and the trailer. Fails,
// naming the image, when an image's indices cannot be coded: none at all, or
// one that does not fit its minimum code size; and when progress stops it.
Result<QByteArray> encodeGifFile(const GifFile &gif, const GifWriteProgress &progress = {});

// The LZW minimum code size the writer uses for an image whose minCodeSize
// is 0: the smallest that holds every index and the table the image is
// seen through (at least 2).
int effectiveMinCodeSize(const GifFile &gif, const GifImage &image);

} // namespace velmar
