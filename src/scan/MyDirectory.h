#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scan/FolderAccess.h"
#include "scan/ReadAhead.h"
#include "scan/UiHooks.h"
#include "scan/WalkRules.h"

// Set by the Stop command (and by Ctrl-C in the command-line tool), cleared
// at the start of every walk. Atomic so a signal handler may set it.
extern std::atomic<bool> StopRequested;

// folder + "/" + name, without doubling a "/" and with no "/" after an
// empty folder. No other normalisation.
std::string JoinPath(const std::string& folder, const std::string& name);

// Where a file handed to TheFileProcedure lies: its open folder and its own
// name, so it can be examined without building on the full path (which may
// be longer than the system accepts, and costs a copy per file).
// When the file was measured ahead of the walk, `measured` is set, `length`
// holds the result (-1: it could not be measured) and `folder` may be null.
struct FileContext {
  const FolderHandle* folder = nullptr;
  const char* name = nullptr;  // ended by '\0'
  std::size_t nameLength = 0;
  std::int64_t length = -1;  // when measured; a failure is minus the error number
  bool measured = false;
  const FileFacts* facts = nullptr;  // when measured and the length is not a failure

  // The file's path, given its folder's.
  std::string PathIn(const std::string& folder) const {
    return JoinPath(folder, std::string(name, nameLength));
  }
};

// Walks folder trees depth first and calls the hooks below; subclasses give
// them a meaning.
class TMyDirectory {
 public:
  TMyDirectory() = default;
  virtual ~TMyDirectory() = default;
  TMyDirectory(const TMyDirectory&) = delete;
  TMyDirectory& operator=(const TMyDirectory&) = delete;

  std::vector<std::string> Paths;  // starting folders, walked in order
  bool Recurse = false;            // walk sub-folders too
  std::vector<std::string> Masks;  // file-name patterns, applied in order
  // Threads that open, list and measure folders ahead of a recursive walk;
  // 0: the calling thread makes every system call itself. The hooks run on
  // the calling thread, in the same order, either way.
  std::size_t Workers = 0;
  // Only one per processor of them runs at once, up to all while the
  // storage is slow to answer.
  bool AdaptWorkers = false;
  // Sub-folders on another device than their starting folder are not
  // entered, as a pseudo file system's mount point (FolderLeftOut tells of both).
  bool OneFileSystem = false;
  // Folders and files left out as if they were not there (see TExclusions).
  std::vector<std::string> Exclude;
  // Where the starting folders lie below the folder that patterns with "/"
  // count from ("a/b"): a folder scanned again within a larger scan.
  std::string ExcludeBelow;
  // Names beginning with "." are walked like any other.
  bool CountHidden = false;
  // Links, pipes, sockets and devices go to TheFileProcedure as files do.
  bool AllKinds = false;
  // Each folder's own status goes to FolderMeasured.
  bool MeasureFolders = false;

  void SetState(TMessagePump* application, bool recurse);
  void AddMask(const std::string& mask) { Masks.push_back(mask); }
  void AddPath(const std::string& path) { Paths.push_back(path); }

  void DoProcedureToAllMatchingFiles();
  void DoProcedureToDirectory(const std::string& folder);
  void DoTheFileProcedure(const std::string& folder, const FileContext& where);
  // What the workers open folders through (tests stand in for it).
  void SetFolderSystem(std::shared_ptr<TFolderSystem> system) { folderSystem_ = std::move(system); }

 protected:
  // Set by a walker whose TheFileProcedure wants each file's length: the
  // workers then measure it, and the file context carries the result.
  bool MeasureAhead = false;

  // The hooks, in this order of declaration; each does nothing here.
  // A file of the folder `folder`, named by `where`.
  virtual void TheFileProcedure(const std::string& folder, const FileContext& where);
  virtual void TheDirectoryProcedure(const std::string& folder);
  virtual void PreProcessProcedure();
  virtual void PostProcessProcedure();
  virtual void PreProcessDirectoryProcedure(const std::string& folder);
  virtual void PostProcessDirectoryProcedure(const std::string& folder);
  // Told, after TheDirectoryProcedure, when a folder that exists could not be
  // listed, wholly or in part, so that a failure never looks like an empty folder.
  virtual void FolderUnreadable(const std::string& folder, int error);
  // Told, in walk order among the other hooks, of each sub-folder of
  // `folder` that the walk's rules leave out, with the reason.
  virtual void FolderLeftOut(const std::string& folder, const char* name, std::size_t nameLength,
                             LeftOutReason why);
  // The same for a file (or, with AllKinds, any entry that is no folder),
  // in listing order among the folder's files.
  virtual void FileLeftOut(const std::string& folder, const char* name, std::size_t nameLength,
                           LeftOutReason why);
  // Told, after TheDirectoryProcedure, when MeasureFolders is set and the
  // folder's own status could be read (from its parent when it cannot be
  // opened).
  virtual void FolderMeasured(const std::string& folder, const FileFacts& facts);
  // Told, after TheDirectoryProcedure, in place of FolderUnreadable when a
  // starting folder cannot be opened at all, missing ones included. Here:
  // FolderUnreadable, except for a missing folder, which walks as empty.
  virtual void StartingFolderUnreadable(const std::string& folder, int error);

 private:
  struct Level {
    FolderHandle handle;  // closed again when too many are open; reopened on need
    FolderId id;
    bool identified = false;
    std::size_t pathLength = 0;  // this folder's path is path_[0, pathLength)
    std::vector<std::string> subFolders;
    std::size_t nextSubFolder = 0;
    // Made only for a folder with sub-folders left out; where it stays put
    // while a hook runs.
    std::unique_ptr<LeftOutFolders> leftOut;
    std::size_t leftOutTold = 0;
  };

  void WalkAhead(const std::string& folder);
  void EnterAhead(TReadAhead& ahead, const std::shared_ptr<AheadFolder>& folder, bool ready,
                  bool startingFolder);
  void EnterFolder(FolderHandle handle, int openError, bool startingFolder,
                   const FileFacts* self = nullptr);
  void ReadFolder(Level& level);
  // Tells of the sub-folders the listing of the folder at path_[0,
  // folderLength) left out and placed before its kept sub-folder
  // `keptBefore`, from `told` on; never after a stop.
  void TellLeftOut(std::size_t folderLength, const LeftOutFolders& leftOut, std::size_t& told,
                   std::size_t keptBefore);
  bool ReopenLevel(std::size_t index);
  void LimitOpenHandles();
  std::size_t ChildPrefixLength(std::size_t pathLength) const;

  TMessagePump* application_ = nullptr;
  std::shared_ptr<TFolderSystem> folderSystem_;
  std::size_t maxOpenLevels_ = 64;  // folder handles a walk keeps open
  std::string path_;                // the path of the folder or file being visited
  std::vector<Level> levels_;
  std::vector<char> buffer_;
  std::vector<MountInfo> mounts_;  // read once, at the first walk
  bool mountsLoaded_ = false;
  std::shared_ptr<const TWalkRules> rules_;  // the walk's, shared with its workers
  std::size_t rootPrefix_ = 0;  // where the path below the starting folder begins in path_
};
