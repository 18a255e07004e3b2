// SPDX-License-Identifier: GPL-3.0-or-later
// Frame buffers share arena chunks: however frames come and go, a live
// buffer's bytes are its own.
#include "document/pixelbuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace velmar;

TEST(PixelBuffer, BuffersFreedInAnyOrderNeverOverlapTheLiveOnes)
{
    // From the heap, from arena chunks (several to a chunk, and large enough
    // to fill one early), and from a mapping of their own.
    const std::vector<size_t> sizes = {1000, 70000, 307200, size_t(1) << 20, 5000000, 9000000};
    std::vector<std::unique_ptr<PixelBuffer>> live;
    std::vector<uint8_t> marks;
    uint8_t mark = 1;
    for (size_t round = 0; round < 3; ++round) {
        for (size_t k = 0; k < 24; ++k) {
            live.push_back(std::make_unique<PixelBuffer>(sizes[(k * 5 + round) % sizes.size()]));
            std::fill(live.back()->begin(), live.back()->end(), mark);
            marks.push_back(mark++);
        }
        // Freed from the middle of chunks, and the one handed out last.
        const size_t last = live.size() - 1;
        for (size_t i = live.size(); i-- > 0;) {
            if (i % 3 == round || i == last) {
                live.erase(live.begin() + long(i));
                marks.erase(marks.begin() + long(i));
            }
        }
    }
    for (size_t i = 0; i < live.size(); ++i)
        EXPECT_EQ(size_t(std::count(live[i]->begin(), live[i]->end(), marks[i])), live[i]->size()) << "buffer " << i;
}
