// SPDX-License-Identifier: GPL-3.0-or-later
// Where frame buffers live. Every page a new buffer gets costs a page fault on
// its first write, and on an animation of hundreds of frames those faults
// took longer than decoding the pictures. Frames of a usual size are
// therefore placed one after another in large chunks that the kernel backs
// with huge pages, one fault per 2 MB instead of one per 4 KB. A freed frame
// gives its pages back to the system at once, so a deleted frame among live
// ones holds no memory, only address space; a chunk is unmapped when its
// last frame goes. Small buffers stay on the ordinary heap, and very large
// ones get a mapping of their own.
//
// Giving pages back is a system call that flushes the address translations
// of every processor the program ran on, and it breaks the huge page it cuts
// into small ones. When a whole document goes, its frames are therefore
// freed inside a ReleaseBatch: the pages of the frames whose chunk empties
// go with the chunk, and only the others are given back, in one pass at the
// end.
#include "document/pixelbuffer.h"

#include "platform/memory.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sys/mman.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace velmar::pixelmemory
{

namespace
{

// Up to this: the heap. Above it a slot's rounding to whole pages wastes at
// most an eighth of the frame.
constexpr size_t kSmall = size_t(32) << 10;
constexpr size_t kChunk = size_t(32) << 20; // an arena chunk, aligned to its size
constexpr size_t kLarge = kChunk / 4;       // above this: a mapping of its own
constexpr size_t kPage = size_t(4) << 10;   // slots are whole pages, so they can be released
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kKeptOnEmpty = 4 * kHugePage; // see Arena::emptied

size_t pages(size_t n)
{
    return (n + kPage - 1) / kPage * kPage;
}

struct Chunk {
    size_t used = 0;    // bytes handed out, from the start
    size_t live = 0;    // slots not yet freed
    bool split = false; // a slot's pages were given back inside a huge page
};

class Arena
{
  public:
    void *allocate(size_t size)
    {
        std::lock_guard lock(mutex_);
        if (!current_ || chunks_[current_].used + size > kChunk) {
            retireCurrent();
            current_ = reinterpret_cast<uintptr_t>(mapAligned(kChunk, kChunk));
            chunks_[current_] = Chunk{};
        }
        Chunk &c = chunks_[current_];
        void *p = reinterpret_cast<void *>(current_ + c.used);
        c.used += size;
        ++c.live;
        return p;
    }

    void deallocate(void *p, size_t size)
    {
        std::lock_guard lock(mutex_);
        const uintptr_t address = reinterpret_cast<uintptr_t>(p);
        const uintptr_t base = address / kChunk * kChunk;
        const auto it = chunks_.find(base);
        if (it == chunks_.end())
            return;
        Chunk &c = it->second;
        --c.live;
        if (c.live == 0) {
            emptied(it);
            return;
        }
        if (base == current_ && address + size == base + c.used) {
            // The last slot handed out: the next one takes its place.
            c.used -= size;
            return;
        }
        if (batches_ > 0) {
            try {
                pending_.emplace_back(address, size);
                return;
            } catch (const std::bad_alloc &) {
                // Given back now instead.
            }
        }
        madvise(p, size, MADV_DONTNEED);
        c.split = true;
    }

    void beginBatch()
    {
        std::lock_guard lock(mutex_);
        ++batches_;
    }

    // The slots freed during the batch whose chunks still hold frames give
    // their pages back, neighbouring slots in one call.
    void endBatch()
    {
        std::lock_guard lock(mutex_);
        if (--batches_ > 0)
            return;
        std::sort(pending_.begin(), pending_.end());
        for (size_t i = 0; i < pending_.size();) {
            const uintptr_t start = pending_[i].first;
            uintptr_t end = start + pending_[i].second;
            for (++i; i < pending_.size() && pending_[i].first == end; ++i)
                end += pending_[i].second;
            const auto it = chunks_.find(start / kChunk * kChunk);
            if (it == chunks_.end())
                continue;
            madvise(reinterpret_cast<void *>(start), end - start, MADV_DONTNEED);
            it->second.split = true;
        }
        pending_.clear();
        pending_.shrink_to_fit();
    }

  private:
    // A chunk without frames: its slots' pages, given back or still pending,
    // go with it. The current chunk is kept to be filled again from the
    // start when its huge pages are whole, holding on to the first few (as
    // much as malloc keeps of a heap that shrinks), so that a document
    // closed and another opened, or a buffer made and freed over and over,
    // does not fault in and zero those pages again.
    void emptied(std::unordered_map<uintptr_t, Chunk>::iterator it)
    {
        const uintptr_t base = it->first;
        Chunk &c = it->second;
        if (!pending_.empty())
            pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                          [base](const auto &slot) { return slot.first / kChunk * kChunk == base; }),
                           pending_.end());
        if (base == current_ && !c.split) {
            // Whole huge pages, so that none is broken up.
            const size_t used = (c.used + kHugePage - 1) / kHugePage * kHugePage;
            if (used > kKeptOnEmpty)
                madvise(reinterpret_cast<void *>(base + kKeptOnEmpty), used - kKeptOnEmpty, MADV_DONTNEED);
            c.used = 0;
            return;
        }
        munmap(reinterpret_cast<void *>(base), kChunk);
        chunks_.erase(it);
        if (base == current_)
            current_ = 0;
    }

    // A full chunk with no frames left in it is unmapped.
    void retireCurrent()
    {
        if (!current_)
            return;
        if (chunks_[current_].live == 0) {
            munmap(reinterpret_cast<void *>(current_), kChunk);
            chunks_.erase(current_);
        }
        current_ = 0;
    }

    std::mutex mutex_;
    std::unordered_map<uintptr_t, Chunk> chunks_;
    uintptr_t current_ = 0;
    int batches_ = 0;
    std::vector<std::pair<uintptr_t, size_t>> pending_; // freed during a batch: address, size
};

Arena &arena()
{
    // Never destroyed: frames held by static objects may be freed after it.
    static Arena *a = [] {
#ifdef __GLIBC__
        // malloc serves large blocks by mmap until one is freed, and then
        // raises that threshold to the block's size. Frames no longer pass
        // through it, so the threshold would stay low, and every large block
        // of a document's tables would be mapped, faulted in and unmapped
        // anew; set it where frame-sized frees would have taken it.
        mallopt(M_MMAP_THRESHOLD, int(kLarge));
        mallopt(M_TRIM_THRESHOLD, int(2 * kLarge));
#endif
        return new Arena;
    }();
    return *a;
}

} // namespace

void *allocate(size_t n)
{
    if (n <= kSmall)
        return ::operator new(n);
    if (n > kLarge)
        return mapAligned(pages(n), size_t(2) << 20);
    return arena().allocate(pages(n));
}

void deallocate(void *p, size_t n) noexcept
{
    if (!p)
        return;
    if (n <= kSmall)
        ::operator delete(p);
    else if (n > kLarge)
        munmap(p, pages(n));
    else
        arena().deallocate(p, pages(n));
}

ReleaseBatch::ReleaseBatch()
{
    arena().beginBatch();
}

ReleaseBatch::~ReleaseBatch()
{
    arena().endBatch();
}

} // namespace velmar::pixelmemory
