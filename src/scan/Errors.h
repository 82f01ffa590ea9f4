#pragma once

#include <stdexcept>
#include <string>

// Every error the program raises to a caller carries one of the fixed
// message texts; callers show it (with a full stop) or print it.
class EVorntoolsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces the first "%s" of a message text by the argument.
std::string FormatMessage(const std::string& text, const std::string& argument);
