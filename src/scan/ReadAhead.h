#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scan/FolderAccess.h"
#include "scan/UiHooks.h"
#include "scan/WalkRules.h"

// Worker threads that open, list and measure folders ahead of a walk, in the
// order a depth-first walk needs them, so that the walking thread makes no
// system call of its own and never waits on the disk unnoticed.

struct ReadAheadSettings {
  std::size_t workers = 1;
  bool measure = false;                     // measure the files kept
  std::vector<std::string> masks;           // files matching none are left out; empty: keep none
  std::shared_ptr<const TWalkRules> rules;  // which folders and files are left out
  std::shared_ptr<TFolderSystem> system;    // null: the real one
  bool allKinds = false;                    // links, pipes and devices are kept as files
  bool measureFolders = false;              // each folder's own status is read
  // One worker per processor reads at once, up to `workers` while they keep
  // having to wait for the storage (a cold cache, a network share).
  bool adapt = false;
};

struct AheadFile {
  std::uint32_t nameOffset = 0;  // in AheadFolder::names, ended by '\0'
  std::uint32_t nameLength = 0;
  std::int64_t length = -1;  // when measured; a failure is minus the error number
  FileFacts facts;           // when measured
  // 1 + the LeftOutReason when the rules leave it out (never measured), else 0:
  // the walker tells of it in listing order.
  std::uint8_t leftOut = 0;
};

struct AheadState;

// Some of a folder's files, in listing order: a folder of many files is
// handed to the walker a part at a time, so it is never held whole.
struct AheadPart {
  std::string names;  // the files' names
  std::vector<AheadFile> files;
  bool measured = false;  // the stage's, under its lock
};

// One folder of the walk. The walker reads the fields up to `parentLost`
// after Wait() has returned true for it, and `readError` and `children`
// after NextPart() has returned false; the stage never changes them again.
struct AheadFolder {
  std::string name;  // its own name; the starting folder's path text
  int openError = 0;
  // Opened, but never entered, for this reason.
  std::optional<LeftOutReason> leftOut;
  bool parentLost = false;  // its parent could not be opened again
  // Its own status, when the settings ask for it and it could be read.
  FileFacts self;
  bool measuredSelf = false;
  bool selfFromHandle = false;  // `self` is the open handle's status: its identity too
  int readError = 0;
  std::vector<std::shared_ptr<AheadFolder>> children;  // sub-folders in listing order
  // The lister's until the listing ends: sub-folders left out at listing,
  // placed among `children`.
  LeftOutFolders leftOutChildren;

  // Under the stage's lock: parts listed and not yet taken by the walker.
  std::deque<std::unique_ptr<AheadPart>> parts;
  bool listed = false;  // the listing has ended
  // Listed, and every part measured: the walker takes the parts without
  // the lock.
  std::atomic<bool> complete{false};
  // The listing waits for the walker to take some parts; its handle stays
  // pinned meanwhile.
  bool parked = false;
  std::vector<std::shared_ptr<AheadFolder>> listing;  // the lister's: sub-folders so far
  std::size_t unmeasured = 0;                         // parts not yet measured

  // The stage's own, under its lock.
  std::shared_ptr<AheadFolder> parent;
  std::size_t depth = 0;
  FolderHandle handle;  // kept while its sub-folders or measurements need it
  FolderId id;          // checked when the handle is opened again
  bool identified = false;
  WalkRoot root;  // what the rules keep of its starting folder
  // Opened, and its first part or its whole listing read; read without the
  // lock by the walker.
  std::atomic<bool> done{false};
  bool started = false, cancelled = false, urgent = false;
  bool inWindow = false, bytesCounted = false;
  std::size_t heldIndex = 0;        // its place in the list of kept handles
  std::size_t bytes = 0;            // memory its listing takes
  int pins = 0;                     // users of its handle right now
  std::size_t pendingChildren = 0;  // sub-folders not yet opened
};

// The workers for a scan of these folders: 1 when one of them lies on a
// spinning disk (reading in parallel would make its head jump to and fro),
// otherwise 16, to keep flash, virtual, network and memory storage busy.
std::size_t AutomaticWorkers(const std::vector<std::string>& folders);

class TReadAhead {
 public:
  explicit TReadAhead(ReadAheadSettings settings);
  // Stops the workers and waits briefly for them to end. One stuck in a
  // system call finishes on its own later and touches only what it shares
  // with the others, never the walker.
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  std::shared_ptr<AheadFolder> Start(const std::string& path);
  // Waits until the folder is opened and its first files are read, handing
  // `pump` the interface at least every 10 ms meanwhile. False when a stop
  // was requested first.
  bool Wait(const std::shared_ptr<AheadFolder>& folder, TMessagePump* pump);
  // Takes the next part of a folder's files once measured, waiting as Wait()
  // does; the part `part` held before may be used again. False when there
  // are no more (or on a stop); its `readError` and `children` are then final.
  bool NextPart(const std::shared_ptr<AheadFolder>& folder, TMessagePump* pump,
                std::unique_ptr<AheadPart>& part);
  // The walk is done with the folder and everything below it.
  void Leave(const std::shared_ptr<AheadFolder>& folder);

  std::size_t Workers() const { return workers_; }

 private:
  // Under the lock: window counts and cancels for what the walker has done with.
  void Settle();
  // Under the lock: waits until `ready`, serving `pump`; false on a stop.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, const AheadFolder& folder, TMessagePump* pump,
                 const std::function<bool()>& ready);

  std::shared_ptr<AheadState> state_;
  std::vector<std::thread> threads_;
  // The walker's own: folders waited for and left, not yet settled.
  std::vector<std::shared_ptr<AheadFolder>> waited_, left_;
  std::size_t workers_ = 0;
};
