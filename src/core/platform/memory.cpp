#include "platform/memory.h"

#include <cstdint>
#include <new>

#include <sys/mman.h>

namespace velmar
{

void *mapAligned(size_t bytes, size_t alignment)
{
    // Over-mapped and trimmed to the alignment: only aligned 2 MB ranges can
    // be huge pages.
    const size_t span = bytes + alignment;
    void *raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + alignment - 1) / alignment * alignment;
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const size_t tail = start + span - (aligned + bytes))
        munmap(reinterpret_cast<void *>(aligned + bytes), tail);
    void *p = reinterpret_cast<void *>(aligned);
    // Without huge-page support this fails and the range keeps small pages.
    madvise(p, bytes, MADV_HUGEPAGE);
    return p;
}

} // namespace velmar
