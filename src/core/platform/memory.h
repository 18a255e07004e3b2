#pragma once

// Memory the codec and the frame store share the ways of getting: large
// ranges in huge pages, and a thread's reusable buffer.

#include <cstddef>

namespace velmar
{

// Maps bytes of fresh zero pages starting at a multiple of alignment (a
// multiple of 2 MB, so the range can be given huge pages), and asks for huge
// pages where the system has them. Throws std::bad_alloc when nothing can be
// mapped; munmap(p, bytes) gives the range back.
void *mapAligned(size_t bytes, size_t alignment);

// The calling thread's Buffer, kept between calls so that a call allocates
// nothing once the buffer has grown; a call made from inside another (a
// callback that reads or decodes something else) gets a buffer of its own.
// Buffer needs a bool inUse.
template <typename Buffer> class ThreadBufferLease
{
  public:
    ThreadBufferLease() : shared_(sharedBuffer()), b_(shared_.inUse ? own_ : shared_) { b_.inUse = true; }
    ~ThreadBufferLease() { b_.inUse = false; }
    ThreadBufferLease(const ThreadBufferLease &) = delete;
    ThreadBufferLease &operator=(const ThreadBufferLease &) = delete;
    Buffer &get() { return b_; }

  private:
    static Buffer &sharedBuffer()
    {
        static thread_local Buffer b;
        return b;
    }
    Buffer &shared_;
    Buffer own_;
    Buffer &b_;
};

} // namespace velmar
