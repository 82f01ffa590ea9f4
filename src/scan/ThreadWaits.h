#pragma once

#include <cstdint>

// What the calling thread has waited for so far. One file per platform
// implements this (ThreadWaits_linux.cpp); zeros where the system does not say.
struct ThreadWaitCounts {
  // Times it went to sleep: for the disk, a lock or a signal, never counting
  // the times it was merely preempted.
  std::uint64_t sleeps = 0;
  // 512-byte blocks it had read from storage: none while the cache answers.
  std::uint64_t blocksRead = 0;
};

ThreadWaitCounts ThreadWaits();
