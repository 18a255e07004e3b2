// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reference decoder of the benchmark, behind a small C interface so that
// its single-file release is compiled as C in a translation unit of its own.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Supplies the memory frame `index` is decoded into: at least `bytes` bytes,
// 1024 of palette followed by the canvas (screen width x height indices,
// rows of screen width). The content need not be initialised.
typedef uint8_t *(*wuffs_bench_canvas_fn)(void *context, size_t index, size_t bytes);
// Frame `index` is decoded: its pixels are the rectangle [x0, x1) x [y0, y1)
// of canvas (the pointer past the palette), whose rows are `stride` bytes.
typedef void (*wuffs_bench_frame_fn)(void *context, size_t index, const uint8_t *canvas, size_t stride, uint32_t x0,
                                     uint32_t y0, uint32_t x1, uint32_t y1);

// Decodes every frame of the GIF in data to palette indices. frame may be
// null. Returns the number of frames, or -1 when the decoder reports an
// error (or memory runs out).
long wuffs_bench_decode(const uint8_t *data, size_t size, void *context, wuffs_bench_canvas_fn canvas,
                        wuffs_bench_frame_fn frame);

#ifdef __cplusplus
}
#endif
