#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "scan/FolderAccess.h"
#include "scan/Mounts.h"

// Why a folder the walk came to was not entered.
enum class LeftOutReason : unsigned char {
  Hidden,            // its name starts with "."
  Excluded,          // an exclusion pattern names it
  PseudoFileSystem,  // the mount point of /proc, /sys and the like
  OtherFileSystem,   // on another device than its starting folder, when the scan stays on one
};

// What the walk makes of a folder it tried to open.
enum class OpenOutcome : unsigned char {
  Opened,
  Missing,     // a starting folder that is not there, or a file: walked as an empty folder
  Vanished,    // a sub-folder gone, or no longer a folder, since it was listed: not entered,
               // and its parent's contents are marked as incomplete
  Unreadable,  // there, but it cannot be read: entered, and marked unreadable
};

// What the rules keep of a starting folder.
struct WalkRoot {
  std::uint64_t device = 0;  // when the walk stays on one file system
  bool known = false;
};

// The sub-folders a folder's listing left out, in listing order, each with
// the number of kept sub-folders listed before it: the walk tells of them
// where it would have entered them. Names only, never a handle: a home
// folder has thousands of hidden folders.
struct LeftOutFolders {
  struct Folder {
    std::uint32_t nameOffset;  // in `names`, ended by '\0'
    std::uint32_t nameLength;
    std::size_t keptBefore;
    LeftOutReason why;
  };
  std::string names;
  std::vector<Folder> folders;

  void Add(const FolderEntry& entry, LeftOutReason why, std::size_t keptBefore) {
    folders.push_back({static_cast<std::uint32_t>(names.size()),
                       static_cast<std::uint32_t>(entry.nameLength), keptBefore, why});
    names.append(entry.name, entry.nameLength + 1);
  }
  std::size_t Bytes() const { return names.capacity() + folders.capacity() * sizeof(Folder); }
};

// The rules of a walk: which files are visited and which folders entered.
// Made once per walk from its settings and asked by the walk on the calling
// thread and by the read-ahead workers alike, so both leave out the same.
// Never changed once made: the workers share it without a lock.
class TWalkRules {
 public:
  TWalkRules() = default;
  // `exclude` and `excludeBelow` as TExclusions takes them; `mounts` the
  // system's, whose pseudo file systems are never entered.
  TWalkRules(const std::vector<std::string>& exclude, const std::string& excludeBelow,
             bool oneFileSystem, const std::vector<MountInfo>& mounts, bool countHidden = false);

  // Whether LeavesOut needs the listed folder's path below the starting folder.
  bool NeedsPaths() const { return exclusions_.NeedsPaths(); }

  // A listed file or folder: kept (no reason) or left out, for its hidden
  // name (unless hidden names count) or an exclusion. `below`: the listed folder's path below the
  // starting folder and a "/" (empty for the starting folder), only when
  // NeedsPaths(); lengthened during the call and given back as it was.
  std::optional<LeftOutReason> LeavesOut(const FolderEntry& entry, std::string& below) const {
    if (entry.name[0] == '.' && !countHidden_) return LeftOutReason::Hidden;
    if (exclusions_.Empty()) return std::nullopt;
    return Excluded(entry, below);
  }

  // What the rules need of a starting folder, just opened (or not).
  WalkRoot Root(const FolderHandle& start) const;

  // An opened sub-folder: entered (no reason), or left out as the mount
  // point of a pseudo file system or as lying on another file system than
  // `root`. `parentId()` gives its parent's identity (null when unknown);
  // it is asked only for a name that a pseudo file system is mounted at,
  // which spares a system call per folder.
  template <class ParentId>
  std::optional<LeftOutReason> LeavesOutOpened(const FolderHandle& child, const std::string& name,
                                               const WalkRoot& root, ParentId&& parentId) const {
    if (!child.IsOpen()) return std::nullopt;
    FolderId id;
    bool identified = false;
    if (pseudoNames_.count(name) != 0) {
      const FolderId* parent = parentId();
      identified = parent && child.Identify(id);
      if (identified && id.device != parent->device && pseudoDevices_.count(id.device) != 0) {
        return LeftOutReason::PseudoFileSystem;
      }
    }
    if (root.known && (identified || (identified = child.Identify(id))) &&
        id.device != root.device) {
      return LeftOutReason::OtherFileSystem;
    }
    return std::nullopt;
  }

  // A folder's open, by the system's error number (0: it opened).
  static OpenOutcome Opening(int error, bool startingFolder);

 private:
  std::optional<LeftOutReason> Excluded(const FolderEntry& entry, std::string& below) const;

  TExclusions exclusions_;
  bool oneFileSystem_ = false;
  bool countHidden_ = false;
  std::unordered_set<std::uint64_t> pseudoDevices_;
  // Last names of the pseudo file systems' mount points: only sub-folders
  // with such a name need a look at their device.
  std::unordered_set<std::string> pseudoNames_;
};
