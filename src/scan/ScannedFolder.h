#pragma once

#include <cstdint>
#include <string>

#include "scan/FolderAccess.h"

// A folder a scan found, reached again to act on it: from "/" one name at a
// time by descriptors, so a path of any length and of any bytes will do,
// and below its starting folder without following a symbolic link, so what
// is acted on is what the walk entered (the starting folder as given may be
// a link, as the walk followed it). The commands then act on the
// descriptors, never on the path again. One file per platform implements
// this (ScannedFolder_posix.cpp).
class TScannedFolder {
 public:
  enum class Reach {
    Reached,
    Missing,  // nothing of that name on the way
    Changed,  // a link or something else than a folder stands on the way
    Failed,   // could not be opened: see Error()
  };

  TScannedFolder() = default;
  ~TScannedFolder();
  TScannedFolder(const TScannedFolder&) = delete;
  TScannedFolder& operator=(const TScannedFolder&) = delete;

  // `path` is absolute, in the file system's bytes; its first `startLength`
  // bytes are the starting folder as the scan was given it.
  Reach Open(const std::string& path, std::size_t startLength);
  int Error() const { return error_; }
  // The folder's identity now; false when it cannot be read.
  bool Identify(FolderId& id) const;

  // Everything below the folder: files, folders and other entries, links
  // counted as themselves. -1 when the folder cannot be listed.
  std::int64_t CountItems() const;
  // Deletes the folder and everything below it. A link is deleted, never
  // followed; a folder of another file system below it is left alone (and
  // so is the folder). On failure `failed` is what could not be deleted
  // (below the folder, "" for the folder itself) and `error` why (ESTALE:
  // the name no longer stands for the folder reached); the deleting goes
  // on with the rest.
  bool Delete(std::string& failed, int& error);
  // Moves the folder to the user's trash the freedesktop way (the home
  // trash when on its disk, else the disk's own), so the desktop can
  // restore it. `why` says what failed, and Error() its error number
  // (ESTALE: the name no longer stands for the folder reached).
  bool MoveToTrash(std::string& why);

 private:
  void Close();

  int parent_ = -1;  // the folder above: the name is acted on there
  int folder_ = -1;  // reached, not opened for reading
  std::string name_;
  std::string path_;
  int error_ = 0;
};
