// SPDX-License-Identifier: GPL-3.0-or-later
// Frame buffers share arena chunks: however frames come and go, a live
// buffer's bytes are its own.
#include "document/pixelbuffer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
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

// Freed inside a batch, buffers among live ones give their pages back when
// the batch ends, and a whole chunk freed meanwhile is no harm to the rest.
TEST(PixelBuffer, ABatchGivesBackTheFreedPagesAtItsEndAndLeavesTheLiveBuffersWhole)
{
    const auto residentBytes = [] {
        std::ifstream statm("/proc/self/statm");
        long size = 0, resident = 0;
        statm >> size >> resident;
        return resident * sysconf(_SC_PAGESIZE);
    };
    constexpr size_t kSize = size_t(1) << 20;
    std::vector<std::unique_ptr<PixelBuffer>> buffers;
    for (size_t k = 0; k < 80; ++k) {
        buffers.push_back(std::make_unique<PixelBuffer>(kSize));
        std::fill(buffers.back()->begin(), buffers.back()->end(), uint8_t(k + 1));
    }
    const long before = residentBytes();
    size_t freed = 0;
    {
        pixelmemory::ReleaseBatch batch;
        // Every other buffer of the first 40, and all of the next 32 (a
        // chunk's worth whatever the first one's start): some chunks keep
        // frames, at least one empties.
        for (size_t k = 0; k < 72; ++k) {
            if (k >= 40 || k % 2) {
                buffers[k].reset();
                freed += kSize;
            }
        }
    }
    const long after = residentBytes();
    for (size_t k = 0; k < buffers.size(); ++k) {
        if (buffers[k]) {
            EXPECT_EQ(size_t(std::count(buffers[k]->begin(), buffers[k]->end(), uint8_t(k + 1))), kSize)
                << "buffer " << k;
        }
    }
    // All of it but the huge page an emptied chunk keeps for reuse.
    EXPECT_GE(before - after, long(freed) - (4L << 20)) << "bytes given back of " << freed << " freed";
}
