#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Strict conversion of a typed number: optional leading blanks, then an
// optional sign and decimal digits, or "$" and hexadecimal digits (a 32-bit
// pattern, so "$FFFFFFFF" is -1); nothing may follow. Decimal values must lie
// in the signed 32-bit range.
std::optional<std::int32_t> TryStrToInt(const std::string& text);

// As TryStrToInt, raising "'%s' is not a valid integer value" on failure.
std::int32_t StrToInt(const std::string& text);

// A size for people: "512 B", "1.5 KiB", "12 GiB" (binary units, one
// decimal below ten), the same in every locale.
std::string ReadableBytes(std::int64_t bytes);
