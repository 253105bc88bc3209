#pragma once
// Checks inside fuzz targets. A broken invariant aborts, which both libFuzzer and the corpus
// replay report as a failure, together with the input that caused it.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)
