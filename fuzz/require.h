#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant that does not hold is a finding: abort so libFuzzer keeps the input.
inline void require(bool holds, const char* invariant)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}
