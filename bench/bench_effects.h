#pragma once

namespace velmar::bench
{

// Times the eleven auto-create tabs and prints their table.
void runEffectsBench(int rounds);

} // namespace velmar::bench
