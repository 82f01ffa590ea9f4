#pragma once

#include <optional>
#include <ostream>

// The window program's answers that need no window: "--help" and "--version"
// as the first argument. Gives the exit status when one of them was asked for
// (its text written to `out`), or nothing when the window should start; any
// other first argument names a configuration.
std::optional<int> AnswerInfoOption(int argc, char** argv, std::ostream& out);
