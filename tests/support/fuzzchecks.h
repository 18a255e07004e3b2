#pragma once

// The properties the fuzz targets check, shared with the tests that replay
// every input the fuzzers ever found (tests/data/fuzz/). Each check runs one
// input through a codec path and returns a description of the first property
// that does not hold, or an empty string.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "gif/lzw.h"

namespace velmar::test
{

// What a decode gives, for comparing two decoders.
struct Decoded {
    bool refused = false; // minimum code size above 8
    LzwEnd end = LzwEnd::EndCode;
    size_t consumed = 0;
    size_t produced = 0;
    std::vector<uint8_t> out;
    std::vector<size_t> clears;
};

// The table rules in their plainest form, an oracle for LZWDecode: bytes
// fetched one at a time through the sub-block counter, every code expanded on
// a stack, nothing cached. out starts filled with fill.
Decoded plainDecode(std::span<const uint8_t> in, size_t outSize, uint8_t fill);

// Images above this many pixels are refused by the fuzzed reader, so that a
// ten-byte input cannot spend seconds zero-filling and re-encoding a picture
// of hundreds of megabytes; the refusal itself is covered by the hostile-file
// tests at the real limit.
inline constexpr size_t kFuzzMaxImagePixels = size_t(1) << 18;
// For the same reason a document read by a fuzz target holds at most this
// many bytes of pixels, so that a few kilobytes of image descriptors cannot
// take the fuzzer's memory.
inline constexpr size_t kFuzzMemoryBudget = size_t(64) << 20;

// Input: two bytes (little-endian) giving the size of the output array, then
// an image's data from the minimum code size byte on. LZWDecode must give
// exactly what the plain table rules give, decoded one byte at a time through
// the sub-block counter: refusal, how the stream ends, bytes consumed, bytes produced, the output
// array and the clear-code callbacks.
std::string checkLzwDecode(std::span<const uint8_t> input);

// Input: a whole file. OpenGif on a document with no views: the document is
// consistent afterwards (no staged frame, every frame with a buffer of its
// size, a power-of-two colour count and its grid row), a refusal has a
// message, the status text is cleared, reading the same bytes without a
// document gives the same outcome, warnings and images, and closing all
// frames empties it.
std::string checkOpenGif(std::span<const uint8_t> file);

// Input: a whole file. Decode, save, decode again: the same number of frames,
// the same pixels showing the same colours, the same interlace,
// transparency, delay and disposal cells, repeat count and comment.
std::string checkRoundTrip(std::span<const uint8_t> file);

} // namespace velmar::test
