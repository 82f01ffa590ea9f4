#include <optional>
#include <string>

#include "FuzzTargets.h"
#include "scan/Errors.h"
#include "scan/IntegerText.h"

namespace {

// The same rules written out the slow way: strip leading zeros, then the
// number of digits left decides the range before any arithmetic.
std::optional<std::int32_t> Reference(const std::string& text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return std::nullopt;
  const bool hex = text[i] == '$';
  bool negative = false;
  if (hex) {
    ++i;
  } else if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  const std::string digits = text.substr(i);
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) return std::nullopt;
  const std::size_t first = digits.find_first_not_of('0');
  const std::string significant = first == std::string::npos ? "0" : digits.substr(first);
  if (significant.size() > (hex ? 8u : 10u)) return std::nullopt;
  const long long value = std::stoll(significant, nullptr, hex ? 16 : 10);
  if (hex) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  const long long signedValue = negative ? -value : value;
  if (signedValue < INT32_MIN || signedValue > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(signedValue);
}

}  // namespace

int FuzzInteger(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> got = TryStrToInt(text);
  FUZZ_CHECK(got == Reference(text));
  bool raised = false;
  try {
    FUZZ_CHECK(StrToInt(text) == got.value_or(0));
  } catch (const EVorntoolsError& e) {
    raised = true;
    // what() is a C string: a NUL in the text ends the message there.
    const std::string message = "'" + text + "' is not a valid integer value";
    FUZZ_CHECK(std::string(e.what()) == message.substr(0, message.find('\0')));
  }
  FUZZ_CHECK(raised == !got.has_value());
  if (got) FUZZ_CHECK(TryStrToInt(std::to_string(*got)) == got);
  return 0;
}
