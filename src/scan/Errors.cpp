#include "scan/Errors.h"

std::string FormatMessage(const std::string& text, const std::string& argument) {
  const auto at = text.find("%s");
  if (at == std::string::npos) return text;
  std::string out = text;
  out.replace(at, 2, argument);
  return out;
}
