#pragma once

#include <string>

// The name of the user logged on to the system; empty when it reports none.
std::string LoggedOnUserName();
