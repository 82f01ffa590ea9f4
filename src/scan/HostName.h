#pragma once

#include <string>

// The name of the machine the program runs on, as the system gives it;
// empty when it does not say. One file per platform implements this
// (HostName_posix.cpp).
std::string HostName();
