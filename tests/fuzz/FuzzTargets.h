#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The fuzz targets' entry points. Each takes any bytes, checks what must
// hold for them and aborts when something does not; libFuzzer drives them
// in the fuzz build, and the regression test replays stored inputs through
// them in the normal build.
int FuzzReportText(const std::uint8_t* data, std::size_t size);
int FuzzSettings(const std::uint8_t* data, std::size_t size);
int FuzzInteger(const std::uint8_t* data, std::size_t size);
int FuzzLabelOrder(const std::uint8_t* data, std::size_t size);
int FuzzWalker(const std::uint8_t* data, std::size_t size);
int FuzzScanFile(const std::uint8_t* data, std::size_t size);
int FuzzPathQuoting(const std::uint8_t* data, std::size_t size);

// Once per process, before the first input (Qt application, locale).
void FuzzSettingsInit();
void FuzzLabelOrderInit();

// A broken property: says which and where, then aborts so libFuzzer keeps
// the input and a replay fails.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
