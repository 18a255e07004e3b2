#pragma once

#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmar
{

// How a code stream ended. Every end keeps the bytes produced before it in
// the output: EndCode and MissingEnd end the image where its data ends;
// BadCode ends it at a damaged code with the rest of its sub-blocks consumed;
// Truncated leaves nothing more to read.
enum class LzwEnd {
    EndCode,    // the end code was reached
    Truncated,  // the input ended before the end code
    MissingEnd, // a zero-length sub-block came before the end code
    BadCode,    // a code beyond the next free code, or a non-root code with
                // no string before it since the clear
};

const char *lzwEndText(LzwEnd end);

struct LzwDecoded {
    LzwEnd end = LzwEnd::EndCode;
    // Bytes of input consumed: up to and including the zero-length sub-block
    // that closes the image's data (or all of the input when there is none).
    // Data after the end code is passed over with its sub-blocks: scanned as
    // blocks, a 0x2C or 0x21 byte there would start a phantom image.
    size_t consumed = 0;
    // Bytes written to out (never more than out.size(); the surplus of a
    // stream that decodes beyond the array is discarded). The bytes of out
    // after these are as the caller left them, also during onClear.
    size_t produced = 0;
};

// Decodes one image's data: input starts at the LZW minimum code size byte,
// followed by the data sub-blocks. out is the caller's array (width x height
// bytes, or more; a stream that decodes beyond it loses only the surplus).
// onClear, when set, is called at every clear code that arrives after more
// than one byte was output since the previous clear, with the number of bytes
// produced so far, so the caller can show the picture as it builds up.
// Fails, writing nothing, when the minimum code size is above 8: no code of
// such a stream can be read.
Result<LzwDecoded> LZWDecode(std::span<const uint8_t> input, std::span<uint8_t> out,
                             const std::function<void(size_t produced)> &onClear = {});

// Encodes pixels (in file order, already interlace-reordered) with minimum
// code size m (2..8), appending the data sub-blocks, but not the block
// terminator, to out. Fails (and appends nothing) when pixels is empty.
// Also fails, appending nothing, when m is outside 2..8 or a pixel is not
// below 2^m: such a pixel would be read back as a control code or a wrong
// string, so the caller must raise the code size instead.
//
// By default the table starts over with a clear code once code 4092 is
// defined. With deferClear the encoder instead fills the table up to code
// 4095 and then goes on with the strings it holds, never clearing again:
// a picture whose later part repeats its earlier strings (a flat background,
// a pattern) often encodes shorter that way. Decoders handle a full table
// without a clear code by defining nothing more.
//
// Without leadingClear the stream starts straight with the first pixel's
// code: a decoder starts with a fresh table anyway, and a tiny image saves
// the clear code's bits.
struct LzwEncodeOptions {
    bool deferClear = false;
    bool leadingClear = true;
};
Result<void> LZWEncode(std::span<const uint8_t> pixels, int minCodeSize, std::vector<uint8_t> &out,
                       LzwEncodeOptions options = {});

} // namespace velmar
