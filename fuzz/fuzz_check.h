// How every fuzz target states an invariant: a broken one ends the run as a
// crash, so libFuzzer keeps the input that broke it.
#pragma once

inline void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}
