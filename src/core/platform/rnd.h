#pragma once

#include <cstdint>

namespace velmar
{

// The program's one pseudo-random sequence: a 24-bit linear congruential
// generator that is never reseeded, so every run repeats the same sequence
// and two effects in one run continue it. One draw per value.
class Rnd
{
  public:
    float next();
    void reset() { state_ = kSeed; }

  private:
    static constexpr uint32_t kSeed = 327680;
    uint32_t state_ = kSeed;
};

} // namespace velmar
