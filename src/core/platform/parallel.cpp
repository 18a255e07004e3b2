#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace velmar
{
namespace
{

std::atomic<int> configured{0};

int hardwareThreads()
{
    return std::max(1, int(std::thread::hardware_concurrency()));
}

} // namespace

int parallelThreads()
{
    const int n = configured.load(std::memory_order_relaxed);
    return n > 0 ? n : hardwareThreads();
}

void setParallelThreads(int threads)
{
    configured.store(std::max(0, threads), std::memory_order_relaxed);
}

void parallelFor(int64_t count, int64_t minPerPart, const std::function<void(int64_t, int64_t)> &body)
{
    if (count <= 0)
        return;
    const int64_t parts = std::clamp<int64_t>(count / std::max<int64_t>(1, minPerPart), 1, parallelThreads());
    if (parts == 1) {
        body(0, count);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(size_t(parts - 1));
    for (int64_t p = 1; p < parts; ++p)
        helpers.emplace_back(body, count * p / parts, count * (p + 1) / parts);
    body(0, count / parts);
    for (std::thread &t : helpers)
        t.join();
}

bool produceInOrder(int count, int slots, const std::function<void(int, int)> &produce,
                    const std::function<bool(int, int)> &consume)
{
    slots = std::max(1, slots);
    for (int start = 0; start < count; start += slots) {
        const int n = std::min(slots, count - start);
        parallelFor(n, 1, [&](int64_t begin, int64_t end) {
            for (int64_t k = begin; k < end; ++k)
                produce(start + int(k), int(k));
        });
        for (int k = 0; k < n; ++k)
            if (!consume(start + k, k))
                return false;
    }
    return true;
}

} // namespace velmar
