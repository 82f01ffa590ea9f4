#pragma once

#include <cstdint>

// How often the calling thread has gone to sleep so far: waiting for the
// disk, a lock or a signal, never counting the times it was merely
// preempted. One file per platform implements this (ThreadWaits_linux.cpp);
// 0 where the system does not say.
std::uint64_t ThreadWaits();
