#pragma once

#include <string>

// `text` made harmless for a terminal: control bytes (and the two-byte
// UTF-8 forms of the C1 controls, which some terminals obey) are shown as
// \xNN, so a folder's name cannot move the cursor or set the window title.
std::string TerminalSafe(const std::string& text);
