#pragma once

// The angles the effects turn by, to the fourteen digits their frames were
// first computed with; a closer value would move pixels.
namespace velmar
{

constexpr double kPi = 3.14159265358979;
constexpr double kTwoPi = 6.28318530717958;

} // namespace velmar
