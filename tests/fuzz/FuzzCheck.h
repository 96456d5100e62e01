#pragma once
// FUZZ_CHECK: how a fuzz target states an invariant. A broken one prints the condition and where
// it is, then aborts: libFuzzer reports that as a crash and saves the input that caused it, so
// the input can be replayed (`./fuzz_verify crash-...`) under a debugger.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
