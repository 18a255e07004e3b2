#pragma once

// A GIF file as data: what the reader produces and the writer consumes,
// without anything of the editor (frames, grid text, windows). Values are
// the file's own, unconverted; sizes and positions are in pixels.

#include "platform/palette.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmar
{

// The fields of a graphic control extension.
struct GifControl {
    int disposal = 0; // 0..7, as stored
    bool userInput = false;
    bool transparent = false;
    int transparentIndex = 0;
    int delay = 0; // hundredths of a second
};

struct GifImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    // A local colour table when non-empty (a power of two from 2 to 256
    // entries); otherwise the image is seen through the global table.
    std::vector<Rgb> localTable;
    bool hasControl = false;
    GifControl control;
    // width x height indices, top row first (already de-interlaced).
    std::vector<uint8_t> indices;
    // When non-empty, the image's indices are these bytes instead of
    // indices: pixels held elsewhere (a document's frame, read in place
    // rather than copied), which must stay as they are while the file is in
    // use.
    std::span<const uint8_t> borrowed;
    // The image's indices, wherever they are held.
    std::span<const uint8_t> pixels() const { return borrowed.empty() ? std::span<const uint8_t>(indices) : borrowed; }
    // The LZW minimum code size to write with; 0: the smallest that holds
    // every index of the image and its table (at least 2).
    int minCodeSize = 0;
    // LZW: once the code table is full, go on with it instead of clearing it
    // (LzwEncodeOptions::deferClear).
    bool deferClear = false;
    // LZW: start the stream without a clear code
    // (LzwEncodeOptions::leadingClear).
    bool noLeadingClear = false;
    // When non-empty, the image's data sub-blocks as already encoded from
    // indices (with the code size and options above), written as they are:
    // a writer that has measured its streams need not encode them again.
    std::vector<uint8_t> encoded;
};

struct GifFile {
    int screenWidth = 0;
    int screenHeight = 0;
    // The global colour table when non-empty (a power of two from 2 to 256).
    std::vector<Rgb> globalTable;
    int backgroundIndex = 0;
    int aspect = 0;
    bool hasLoop = false; // a looping application block
    int loopCount = 0;
    // The comment extension's bytes, as stored in the file; empty: none.
    QByteArray comment;
    std::vector<GifImage> images;
    // What the images' borrowed pixels live in when the file itself keeps
    // it alive (a file made rather than read); null otherwise.
    std::shared_ptr<const void> storage;
};

} // namespace velmar
