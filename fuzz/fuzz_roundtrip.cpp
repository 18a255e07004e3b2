// Fuzz target: decode, save, decode again: frames and properties equal.
#include "support/fuzzchecks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string broken = velmar::test::checkRoundTrip(std::span<const uint8_t>(data, size));
    if (!broken.empty()) {
        std::fprintf(stderr, "velmar fuzz: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
