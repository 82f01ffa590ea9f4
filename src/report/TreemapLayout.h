#pragma once

#include <QRectF>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Squarified treemap layout: splits `area` into one rectangle per size, each
// with an area proportional to its size, kept as close to square as the
// sizes allow. The result is in the order of `sizes`; a size of 0 or less
// gets an empty rectangle. No widgets, so it can be tested and timed alone.
std::vector<QRectF> SquarifiedLayout(const std::vector<double>& sizes, const QRectF& area);

class TScanDocument;

// The part of a folder's rectangle its own files fill: `rect` stands for
// `bytes` (the folder's bytes less those of its lines below, so it also
// holds sub-folders without a line and the folder's own blocks).
struct TFilesArea {
  std::string path;  // the folder's, as TReportTree::PathOf gives it
  QRectF rect;
  std::int64_t bytes = 0;
};

// One tile of a folder's files area.
struct TFileTile {
  enum Kind : std::uint8_t {
    File,   // one file: `file` in `document`
    Small,  // the files too small to draw one by one, together
    Rest,   // what is no file of the folder's own (sub-folders without a line, the folder's blocks)
  };
  QRectF rect;
  std::uint32_t area = 0;  // index in the areas laid out
  Kind kind = File;
  std::int32_t type = -1;    // index in TFileTiles::types for a file
  std::uint32_t folder = 0;  // the folder's index in `document`
  const TScanDocument* document = nullptr;
  std::uint64_t file = 0;  // a file's index; the number of files for Small
  std::int64_t bytes = 0;  // what the report counted
};

struct TFileTiles {
  std::vector<TFileTile> tiles;
  std::vector<std::string> types;  // FileTypeOf's names, as the tiles index them
};

// Lays out the own files of each area's folder, found in the newest of
// `documents` (oldest first) that walked it, largest first. Files whose
// tile would be under `minimumArea` square pixels, and those beyond the
// `maximumTiles` largest of a folder, share one Small tile, so a folder of
// thousands of tiny files costs one pass over their sizes. Areas of folders
// no document holds get no tiles. Reads the documents only: may run on any
// thread.
TFileTiles LayOutFiles(const std::vector<std::shared_ptr<const TScanDocument>>& documents,
                       const std::vector<TFilesArea>& areas, double minimumArea,
                       std::size_t maximumTiles);
