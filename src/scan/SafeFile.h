#pragma once

#include <string>

// Writes `data` as the whole content of `path` through TReplacingFile: a
// failure or a kill at any moment keeps the previous file whole (except for
// a file written in place, in a folder that takes no new file). Returns
// false (errno set) when the file could not be written.
bool WriteFileReplacing(const std::string& path, const std::string& data);

// Writes all of `data` to an open file, going on after interruptions.
// False (errno set) on an error.
bool WriteAllTo(int fd, const char* data, std::size_t size);

// Reads the whole file. Returns false (errno set) when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);
