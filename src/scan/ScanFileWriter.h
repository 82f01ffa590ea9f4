#pragma once

#include <string>

class TScanDocument;

// Writes a scan's document (one that keeps its files) as a scan file: the
// JSON export format that ncdu and gdu share, version 1.2, gzip- or
// zstd-compressed when `path` ends in ".gz" or ".zst"; "-" is standard
// output. `program` names the writer in the file. Whole or not at all:
// false (errno set) when it could not be written, the file then as it was.
//
// The format has one top folder. Several starting folders go below an added
// one, named "/" (or "." when a starting folder's path is relative), each
// named by its path as given; the file's metadata lists them and says the
// top folder was added ("joined"), so they read back as starting folders.
bool WriteScanFile(const TScanDocument& document, const std::string& path,
                   const std::string& program = "vorntools-scan");
