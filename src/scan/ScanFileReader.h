#pragma once

#include <memory>
#include <string>
#include <string_view>

class TScanDocument;

// Reads a scan file (the JSON export format that ncdu and gdu share, as
// WriteScanFile, `ncdu -o` and `gdu -o` write it; gzip or zstd compressed or
// not; "-" is standard input) into a document that keeps every file. It is
// read as a stream: memory grows with the document, and beyond it only with
// the depth of the folders and the width of the widest.
//
// The totals are the document's as its options mean them: those the file
// names when we wrote it, else file lengths, hidden names counted and a
// file with several names once, as ncdu counts.
//
// Throws EVorntoolsError: "Cannot open file NAME: reason", or, for a file
// that is damaged, cut short or no scan file, "line 3, column 17: what".
std::shared_ptr<TScanDocument> ReadScanFile(const std::string& path);

// The same from bytes in memory.
std::shared_ptr<TScanDocument> ReadScanBytes(std::string_view bytes);
