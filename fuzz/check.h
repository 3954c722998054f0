// The invariant checks of the fuzz targets: a broken one names itself on
// standard error, then aborts, so that libFuzzer keeps the input.
#ifndef TARVEX_FUZZ_CHECK_H_
#define TARVEX_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                 \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

#endif  // TARVEX_FUZZ_CHECK_H_
