// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The storage of a frame's pixels. Every byte of a frame is written by
// whoever makes it (the decoder, a copy, an effect, an explicit fill), so the
// buffer is not zero-filled when it is sized: on a large animation that fill
// and the page faults of a second pass over fresh memory took more time than
// decoding. Large buffers come from huge-page arenas (see pixelbuffer.cpp).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmar
{

namespace pixelmemory
{
// Memory for n bytes; throws std::bad_alloc when there is none.
void *allocate(size_t n);
void deallocate(void *p, size_t n) noexcept;

// While one lives, freed buffers give their pages back only when it ends,
// all at once, and not at all when their whole chunk empties meanwhile:
// freeing a document's frames one by one would otherwise cost a system call
// and a broken huge page each.
class ReleaseBatch
{
  public:
    ReleaseBatch();
    ~ReleaseBatch();
    ReleaseBatch(const ReleaseBatch &) = delete;
    ReleaseBatch &operator=(const ReleaseBatch &) = delete;
};
} // namespace pixelmemory

// Leaves elements made without a value uninitialised (resize, the size
// constructor); an explicit value (assign(n, 0)) still fills.
template <class T> struct DefaultInitAllocator {
    using value_type = T;
    DefaultInitAllocator() = default;
    template <class U> DefaultInitAllocator(const DefaultInitAllocator<U> &) noexcept {}

    T *allocate(size_t n) { return static_cast<T *>(pixelmemory::allocate(n * sizeof(T))); }
    void deallocate(T *p, size_t n) noexcept { pixelmemory::deallocate(p, n * sizeof(T)); }

    template <class U> void construct(U *p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void *>(p)) U;
    }
    template <class U, class... Args> void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    template <class U> bool operator==(const DefaultInitAllocator<U> &) const noexcept { return true; }
};

// A vector of pixels that also converts to and from, and compares with, a
// plain byte vector, so code that builds pixels in one keeps working.
class PixelBuffer : public std::vector<uint8_t, DefaultInitAllocator<uint8_t>>
{
    using Base = std::vector<uint8_t, DefaultInitAllocator<uint8_t>>;

  public:
    using Base::Base;
    PixelBuffer() = default;
    PixelBuffer(const std::vector<uint8_t> &bytes) : Base(bytes.begin(), bytes.end()) {}
    operator std::vector<uint8_t>() const { return std::vector<uint8_t>(begin(), end()); }

    friend bool operator==(const PixelBuffer &a, const PixelBuffer &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const PixelBuffer &a, const std::vector<uint8_t> &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
};

} // namespace velmar
