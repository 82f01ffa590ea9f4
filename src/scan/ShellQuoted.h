#pragma once

#include <string>
#include <string_view>

// A path as text a user can paste into a shell (bash, zsh, ksh) and a
// desktop's text field alike: as it stands when it is valid UTF-8 without
// control characters; otherwise in the $'...' form, where a line break is
// \n, any other control character or byte that is not UTF-8 \xHH, and a
// backslash or ' is escaped, so the shell gives back the very bytes.
std::string ShellQuoted(std::string_view path);

// Whether `text` is valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);
