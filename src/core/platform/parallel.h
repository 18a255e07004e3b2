#pragma once

// A minimal parallel loop for the effects: the work of one call split into
// contiguous parts, the first on the calling thread, the others on threads
// started for the call. Only for work whose result does not depend on the
// order in which the parts run.

#include <cstdint>
#include <functional>

namespace velmar
{

// How many threads parallelFor uses: the machine's hardware threads unless
// set otherwise (at least 1).
int parallelThreads();
// 1 runs every loop on the calling thread (the benchmark's single-thread
// figures); 0 or less restores the default.
void setParallelThreads(int threads);

// Calls body(begin, end) on disjoint ranges covering [0, count), at most
// parallelThreads() of them, none shorter than minPerPart (except when count
// itself is), and returns when all have finished.
void parallelFor(int64_t count, int64_t minPerPart, const std::function<void(int64_t, int64_t)> &body);

// Frames made on all threads and added in order: produce(k, slot) for
// k = 0 .. count - 1, slots at a time spread over the threads (each slot of a
// batch on one thread), and after each batch consume(k, slot) for its frames
// in order on the calling thread. produce must not touch the Document; slot
// (0 .. slots - 1) names the buffers frame k uses. Stops and returns false
// when consume does.
bool produceInOrder(int count, int slots, const std::function<void(int, int)> &produce,
                    const std::function<bool(int, int)> &consume);

} // namespace velmar
