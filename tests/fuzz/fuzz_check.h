#pragma once
// A property a fuzz target holds for every input; a broken one stops the run
// with the condition, so libFuzzer keeps the input as a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                              \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__,      \
                         __LINE__);                                                          \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
