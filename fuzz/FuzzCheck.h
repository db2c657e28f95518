#pragma once

#include <cstdio>
#include <cstdlib>

// A broken rule found by a fuzz target: print what broke and stop, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, format, ...)                                                                             \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "rule broken: %s\n" format "\n", #condition __VA_OPT__(, ) __VA_ARGS__);              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
