#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

// A broken rule found by a fuzz target: print what broke and stop, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, ...)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "rule broken: %s\n", #condition);                                                     \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fprintf(stderr, "\n");                                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
