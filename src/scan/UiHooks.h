#pragma once

#include <string>

// What the scan core needs from a user interface. The window implements
// both; the command-line tool implements them for a terminal.
class TMessagePump {
 public:
  virtual ~TMessagePump() = default;
  // Handles whatever the interface has pending and returns when none is left.
  virtual void ProcessMessages() = 0;
};

class TStatusLine {
 public:
  virtual ~TStatusLine() = default;
  virtual void ShowText(const std::string& text) = 0;
};
