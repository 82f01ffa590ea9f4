#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What the window program's command line asks for, read before any window
// or settings exist, so a mistyped option creates nothing.
struct TStartRequest {
  std::optional<int> exitStatus;  // answered without a window: end with this status
  std::string openFile;           // "--open FILE": a scan file to open at start
  int namePosition = 1;           // the argument that names the configuration
};

// Reads the arguments (the program's name first). "-h" and "--help" write
// the usage to `out` and "--version" the version, each giving status 0; an
// option the program does not know, or "--open" without a file, is a usage
// error written to `err`, status 2. Qt's own options ("-platform offscreen")
// are left to Qt. Any other first argument names a configuration.
TStartRequest ReadCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                              std::ostream& err);
