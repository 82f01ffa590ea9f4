#pragma once

// The scheduling of the calling thread. One file per platform implements
// this (ThreadPriority_linux.cpp).

// Lowers the calling thread's priority a step below the rest of the
// process, so that work done for another thread never holds that thread
// up. Does nothing where the system does not allow it.
void LowerThreadPriority();
