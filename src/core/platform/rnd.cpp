#include "platform/rnd.h"

namespace velmar
{

float Rnd::next()
{
    constexpr uint64_t kMultiplier = 1140671485;
    constexpr uint64_t kIncrement = 12820163;
    constexpr uint32_t kMask = (1u << 24) - 1;
    state_ = uint32_t((uint64_t(state_) * kMultiplier + kIncrement) & kMask);
    return float(state_) / float(1u << 24);
}

} // namespace velmar
