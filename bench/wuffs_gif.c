// SPDX-License-Identifier: GPL-3.0-or-later
// The reference decoder compiled with the GIF module only; its source is
// found on a system include path so that its own warnings stay quiet.
#define WUFFS_IMPLEMENTATION
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include <wuffs-v0.4.c>

#include "wuffs_gif.h"

#include <stdlib.h>

long wuffs_bench_decode(const uint8_t *data, size_t size, void *context, wuffs_bench_canvas_fn canvas,
                        wuffs_bench_frame_fn frame)
{
    long frames = -1;
    uint8_t *workbuf = NULL;
    wuffs_gif__decoder *decoder = (wuffs_gif__decoder *)malloc(sizeof__wuffs_gif__decoder());
    if (!decoder)
        return -1;
    // The decoder fills its tables before it reads them; zeroing them on
    // every call would time memset, not decoding.
    wuffs_base__status status = wuffs_gif__decoder__initialize(decoder, sizeof__wuffs_gif__decoder(), WUFFS_VERSION,
                                                               WUFFS_INITIALIZE__LEAVE_INTERNAL_BUFFERS_UNINITIALIZED);
    if (!wuffs_base__status__is_ok(&status))
        goto out;
    // The reader only reads; the io_buffer type has no const variant.
    wuffs_base__io_buffer src = wuffs_base__ptr_u8__reader((uint8_t *)data, size, true);
    wuffs_base__image_config config;
    status = wuffs_gif__decoder__decode_image_config(decoder, &config, &src);
    if (!wuffs_base__status__is_ok(&status))
        goto out;
    const uint32_t width = wuffs_base__pixel_config__width(&config.pixcfg);
    const uint32_t height = wuffs_base__pixel_config__height(&config.pixcfg);
    wuffs_base__pixel_config__set(&config.pixcfg, WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                  WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, width, height);
    const size_t bytes = WUFFS_BASE__PIXEL_FORMAT__INDEXED__PALETTE_BYTE_LENGTH + (size_t)width * height;
    const size_t workLength = (size_t)wuffs_gif__decoder__workbuf_len(decoder).max_incl;
    workbuf = (uint8_t *)malloc(workLength ? workLength : 1);
    if (!workbuf)
        goto out;
    for (size_t index = 0;; ++index) {
        wuffs_base__frame_config frameConfig;
        status = wuffs_gif__decoder__decode_frame_config(decoder, &frameConfig, &src);
        if (status.repr == wuffs_base__note__end_of_data) {
            frames = (long)index;
            break;
        }
        if (!wuffs_base__status__is_ok(&status))
            break;
        uint8_t *memory = canvas(context, index, bytes);
        wuffs_base__pixel_buffer buffer;
        if (!memory)
            break;
        status =
            wuffs_base__pixel_buffer__set_from_slice(&buffer, &config.pixcfg, wuffs_base__make_slice_u8(memory, bytes));
        if (!wuffs_base__status__is_ok(&status))
            break;
        status = wuffs_gif__decoder__decode_frame(decoder, &buffer, &src, WUFFS_BASE__PIXEL_BLEND__SRC,
                                                  wuffs_base__make_slice_u8(workbuf, workLength), NULL);
        if (!wuffs_base__status__is_ok(&status))
            break;
        if (frame) {
            const wuffs_base__rect_ie_u32 r = wuffs_base__frame_config__bounds(&frameConfig);
            frame(context, index, memory + WUFFS_BASE__PIXEL_FORMAT__INDEXED__PALETTE_BYTE_LENGTH, width, r.min_incl_x,
                  r.min_incl_y, r.max_excl_x, r.max_excl_y);
        }
    }
out:
    free(workbuf);
    free(decoder);
    return frames;
}
