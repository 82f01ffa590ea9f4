#include "scan/ReadAhead.h"

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "scan/DiskKind.h"
#include "scan/MyDirectory.h"
#include "scan/ThreadPriority.h"
#include "scan/ThreadWaits.h"

namespace {

// How far the workers may run ahead of the walk: a tree of millions of
// files must not be buffered whole.
constexpr std::size_t kWindowFolders = 4096;
constexpr std::size_t kWindowBytes = 32u << 20;
// A folder's files go to the walker in parts of this many, each measured
// as one task; a listing waits once this many parts are not yet taken.
constexpr std::size_t kPartFiles = 1024;
constexpr std::size_t kMostParts = 8;
// Kept folder handles are looked through when one must go; a few hundred
// spare the look and still cover any ordinary depth.
constexpr std::size_t kMostKeptHandles = 256;
constexpr std::size_t kMostWorkers = 64;
// Storage that answers several requests at once is kept busy: a cold tree
// on a virtual disk was read fastest with about this many in flight.
constexpr std::size_t kParallelWorkers = 16;
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
constexpr auto kFirstPause = std::chrono::microseconds(500);
// An adapting worker counts, over each run of this many tasks, how often it
// had to sleep (rather than being preempted): once a task or more, the
// storage is slow to answer (a cold folder costs several reads) and more
// workers may read at once; hardly ever, and the extra workers would only
// queue for the processors. A warm cache makes a worker sleep now and then
// on the lock alone.
constexpr std::size_t kTuneTasks = 8;
constexpr std::size_t kSlowWaits = kTuneTasks;
constexpr std::size_t kFastWaits = kTuneTasks / 4;
constexpr std::size_t kSleepyRuns = 3;
// Folders the walker is done with, settled with the stage a batch at a time.
constexpr std::size_t kSettleBatch = 64;
// How long the end of a walk waits for its workers to go: long enough for
// any that is not stuck in a system call, short enough that Stop stays quick.
constexpr auto kExitWait = std::chrono::milliseconds(20);

using Folder = std::shared_ptr<AheadFolder>;

// A folder's identity, from the status already read for the scan's record
// when there is one: a second call per folder would cost the walk.
bool IdentifyFolder(const AheadFolder& f, const FolderHandle& handle, FolderId& id) {
  if (f.selfFromHandle) {
    id = FolderId{f.self.device, f.self.inode};
    return true;
  }
  return handle.Identify(id);
}

}  // namespace

struct AheadState {
  ReadAheadSettings settings;
  bool keepAllFiles = false;
  std::size_t workers = 1;
  std::size_t keptLimit = 1;
  // Workers that may run a task at once, and those running one. An adapting
  // stage starts with `fewest` and lets more in while the workers wait on
  // the storage: a warm cache then costs no more than few workers, a cold
  // one gets them all.
  std::size_t active = 1;
  std::size_t busy = 0;
  std::size_t fewest = 1;

  std::mutex mutex;
  std::condition_variable work;    // the workers wait here
  std::condition_variable ready;   // the walker waits here
  std::condition_variable exited;  // a worker has ended
  std::size_t running = 0;         // workers not yet ended
  bool shutdown = false;
  const AheadFolder* waitedFor = nullptr;  // what the walker sleeps on, if anything
  std::size_t idleWorkers = 0;             // workers asleep for want of work
  std::vector<Folder> pending;             // next to read at the back: depth first
  std::deque<Folder> urgent;               // what the walker waits for
  std::deque<Folder> resumed;              // listings to go on with
  struct Chunk {
    Folder folder;
    AheadPart* part = nullptr;  // one of the folder's parts
  };
  std::deque<Chunk> chunks;
  std::vector<Folder> kept;  // folders whose handles are open
  std::vector<Folder> roots;
  // Parts the walker is done with, used again: a part allocated on one
  // thread and freed on another would otherwise stay with the first
  // thread's heap.
  std::vector<std::unique_ptr<AheadPart>> spareParts;

  std::unique_ptr<AheadPart> FreshPart() {
    if (spareParts.empty()) return std::make_unique<AheadPart>();
    std::unique_ptr<AheadPart> part = std::move(spareParts.back());
    spareParts.pop_back();
    return part;
  }

  void Recycle(std::unique_ptr<AheadPart> part) {
    if (!part || spareParts.size() >= 2 * kMostParts) return;
    part->names.clear();
    part->files.clear();
    part->measured = false;
    spareParts.push_back(std::move(part));
  }
  std::size_t windowFolders = 0, windowBytes = 0;
  bool windowStalled = false;  // a worker found the window full

  bool KeepsFile(const char* name) const {
    if (keepAllFiles) return true;
    for (const std::string& mask : settings.masks) {
      if (NameMatches(mask, name)) return true;
    }
    return false;
  }

  // Everything below runs under the lock.
  // Wakes as many sleeping workers as there are new tasks: waking them all
  // for one folder only has them queue for the lock again.
  void Wake(std::size_t tasks) {
    tasks = std::min(tasks, active > busy ? active - busy : 0);
    if (tasks == 0) return;
    if (tasks >= idleWorkers) {
      if (idleWorkers > 0) work.notify_all();
      return;
    }
    for (std::size_t i = 0; i < tasks; ++i) work.notify_one();
  }

  // An adapting worker's view of its last kTuneTasks tasks: `waits` of them
  // had it sleep, and `slow` says whether that was the storage's doing.
  void Tune(std::size_t waits, bool slow) {
    if (waits >= kSlowWaits && slow && active < workers) {
      active = std::min(workers, 2 * active);
      Wake(active);
    } else if (waits <= kFastWaits && active > fewest) {
      active = std::max(fewest, active / 2);
    }
  }

  bool WindowFull() const { return windowFolders >= kWindowFolders || windowBytes >= kWindowBytes; }

  // A task: a part to measure (in `chunk`), a listing to go on with
  // (`resume` set) or a folder to read.
  bool Take(Folder& folder, Chunk& chunk, bool& resume) {
    resume = false;
    if (!chunks.empty()) {
      chunk = std::move(chunks.front());
      chunks.pop_front();
      return true;
    }
    while (!resumed.empty()) {
      folder = std::move(resumed.front());
      resumed.pop_front();
      if (!folder->cancelled) {
        resume = true;
        return true;
      }
      --folder->pins;  // the listing's, which nobody goes on with
      Release(*folder);
    }
    while (!urgent.empty()) {
      folder = std::move(urgent.front());
      urgent.pop_front();
      if (!folder->started && !folder->cancelled) return true;
    }
    if (!pending.empty() && WindowFull()) windowStalled = true;
    while (!pending.empty() && !WindowFull()) {
      folder = std::move(pending.back());
      pending.pop_back();
      if (!folder->started && !folder->cancelled) return true;
    }
    folder.reset();
    return false;
  }

  void Uncount(AheadFolder& f) {
    if (!f.inWindow) return;
    f.inWindow = false;
    --windowFolders;
    if (f.bytesCounted) windowBytes -= f.bytes;
    f.bytesCounted = false;
    // Waking the workers for every folder the walker lets go had them all
    // take one each and sleep again, a wake-up per folder per worker: they
    // wait until a quarter of the window is free.
    if (windowStalled && windowFolders <= kWindowFolders - kWindowFolders / 4 &&
        windowBytes <= kWindowBytes - kWindowBytes / 4) {
      windowStalled = false;
      Wake(kWindowFolders);
    }
  }

  void Unkeep(AheadFolder& f) {
    const std::size_t i = f.heldIndex;
    if (i < kept.size() && kept[i].get() == &f) {
      const Folder self = kept[i];  // kept alive until the end of this
      kept[i] = kept.back();
      kept[i]->heldIndex = i;
      kept.pop_back();
      f.handle.Close();
    } else {
      f.handle.Close();
    }
  }

  // Closes a handle nobody needs any more.
  void Release(AheadFolder& f) {
    if (f.handle.IsOpen() && f.pins == 0 && (f.pendingChildren == 0 || f.cancelled)) Unkeep(f);
  }

  // Closes the kept handle of the shallowest folder not in use: the deepest
  // are the ones the walk needs next.
  bool EvictOne() {
    AheadFolder* best = nullptr;
    for (const Folder& f : kept) {
      if (f->pins == 0 && f->identified && (!best || f->depth < best->depth)) best = f.get();
    }
    if (!best) return false;
    Unkeep(*best);
    return true;
  }

  // Keeps `handle` as the folder's own when the budget allows; otherwise it
  // stays with the caller (and is opened again when needed).
  bool Keep(const Folder& f, FolderHandle& handle) {
    if (shutdown || f->cancelled || f->handle.IsOpen()) return false;
    if (kept.size() >= keptLimit && !EvictOne()) return false;
    f->handle = std::move(handle);
    f->heldIndex = kept.size();
    kept.push_back(f);
    return true;
  }

  // The walker may enter the folder.
  void MarkDone(AheadFolder& f) {
    if (!f.done) {
      f.bytes = sizeof(AheadFolder);
      for (const Folder& child : f.listing) f.bytes += sizeof(AheadFolder) + child->name.capacity();
      f.bytes += f.leftOutChildren.Bytes();
      for (const auto& part : f.parts) {
        f.bytes += part->names.capacity() + part->files.capacity() * sizeof(AheadFile);
      }
      if (f.inWindow && !f.bytesCounted) {
        f.bytesCounted = true;
        windowBytes += f.bytes;
      }
      f.done.store(true, std::memory_order_release);
    }
    if (f.listed && f.unmeasured == 0) f.complete.store(true, std::memory_order_release);
    if (waitedFor == &f) ready.notify_one();
    Release(f);
  }

  // Marks the folder and every folder under it as no longer wanted.
  void Cancel(const Folder& top) {
    std::vector<Folder> todo{top};
    while (!todo.empty()) {
      const Folder f = std::move(todo.back());
      todo.pop_back();
      f->cancelled = true;
      Uncount(*f);
      if (f->parked) {
        f->parked = false;
        --f->pins;  // the listing's: it will not go on
      }
      for (Folder& child : f->children) todo.push_back(std::move(child));
      f->children.clear();  // breaks the parent-child reference cycle
      Release(*f);
    }
  }

  FolderHandle Open(const FolderHandle* parent, const std::string& name, int& error) {
    TFolderSystem& system = *settings.system;
    return parent ? system.OpenChild(*parent, name.c_str(), error) : system.OpenPath(name, error);
  }

  // Opens `folder` again, whose handle was given up, name by name from its
  // nearest ancestor with an open handle, and checks that each step is still
  // the folder that was listed. Called with the lock held and the folder
  // pinned; the handle ends up kept, or in `spare`.
  bool Reopen(std::unique_lock<std::mutex>& lock, const Folder& folder, FolderHandle& spare) {
    std::vector<Folder> chain;  // the folder first, then upwards
    Folder anchor = folder;
    while (anchor && !anchor->handle.IsOpen()) {
      chain.push_back(anchor);
      anchor = anchor->parent;
    }
    if (anchor) ++anchor->pins;
    lock.unlock();
    FolderHandle current;
    Folder currentFolder;
    const FolderHandle* from = anchor ? &anchor->handle : nullptr;
    bool ok = true;
    for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
      int error = 0;
      FolderHandle next = Open(from, (*step)->name, error);
      FolderId id;
      if (!next.IsOpen() || !(*step)->identified || !next.Identify(id) || !(id == (*step)->id)) {
        ok = false;
        break;
      }
      if (currentFolder) {
        // The folders on the way will likely be needed again soon.
        lock.lock();
        if (Keep(currentFolder, current)) Release(*currentFolder);
        lock.unlock();
      }
      current = std::move(next);
      currentFolder = *step;
      from = &current;
    }
    lock.lock();
    if (anchor) {
      --anchor->pins;
      Release(*anchor);
    }
    if (ok && !Keep(folder, current)) spare = std::move(current);
    return ok;
  }

  void Measure(AheadPart& part, const FolderHandle& handle) const {
    const bool allKinds = settings.allKinds;
    for (std::size_t i = 0; i < part.files.size(); ++i) {
      if ((i & 255) == 0 && StopRequested.load(std::memory_order_relaxed)) return;
      AheadFile& file = part.files[i];
      if (file.leftOut != 0) continue;
      const char* name = part.names.data() + file.nameOffset;
      const std::int64_t length =
          allKinds ? handle.EntryLength(name, &file.facts) : handle.FileLength(name, &file.facts);
      // The reason travels with the failure: errno does not cross threads.
      file.length = length >= 0 ? length : -std::int64_t{errno > 0 ? errno : EIO};
    }
  }

  void Read(std::unique_lock<std::mutex>& lock, const Folder& f, std::vector<char>& buffer);
  void List(std::unique_lock<std::mutex>& lock, const Folder& f, FolderHandle& own,
            std::vector<char>& buffer, const Folder& parent);
  bool Publish(std::unique_lock<std::mutex>& lock, const Folder& f, FolderHandle& own,
               std::unique_ptr<AheadPart>& part, const Folder& parent, bool& pinned);
  // Puts a listed part after the folder's others: measured here first with
  // `handle` (`measureHere`), or queued to be measured as a task (`share`).
  // False when the folder is no longer wanted.
  bool AddPart(std::unique_lock<std::mutex>& lock, const Folder& f, std::unique_ptr<AheadPart> part,
               const FolderHandle& handle, bool share, bool measureHere);
  void SettleParent(const Folder& parent);
  // Runs one task if there is one; false when there is none.
  bool RunTask(std::unique_lock<std::mutex>& lock, std::vector<char>& buffer);
  void MeasureChunk(std::unique_lock<std::mutex>& lock, const Chunk& chunk);
};

void AheadState::Read(std::unique_lock<std::mutex>& lock, const Folder& f,
                      std::vector<char>& buffer) {
  f->started = true;
  f->inWindow = true;
  ++windowFolders;
  const Folder parent = f->parent;
  FolderHandle spare;  // the parent's handle when it could not be kept
  const FolderHandle* from = nullptr;
  bool parentOk = true;
  if (parent) {
    ++parent->pins;
    if (!parent->handle.IsOpen()) parentOk = Reopen(lock, parent, spare);
    from = parent->handle.IsOpen() ? &parent->handle : &spare;
  }
  lock.unlock();

  FolderHandle handle;
  if (parentOk) {
    handle = Open(from, f->name, f->openError);
    if (settings.measureFolders) {
      // A folder that cannot be opened still has its own blocks.
      f->selfFromHandle = handle.IsOpen() && handle.Status(f->self);
      f->measuredSelf = f->selfFromHandle || (!handle.IsOpen() && from &&
                                              from->EntryLength(f->name.c_str(), &f->self) >= 0);
    }
    spare.Close();
    if (!parent) {
      f->root = settings.rules->Root(handle);
    } else {
      f->leftOut = settings.rules->LeavesOutOpened(handle, f->name, f->root, [&parent] {
        return parent->identified ? &parent->id : nullptr;
      });
      if (f->leftOut) handle.Close();
    }
  } else {
    f->parentLost = true;
  }
  if (handle.IsOpen()) {
    List(lock, f, handle, buffer, parent);
    return;
  }
  lock.lock();
  SettleParent(parent);
  f->listed = true;
  MarkDone(*f);
}

void AheadState::SettleParent(const Folder& parent) {
  if (!parent) return;
  --parent->pins;
  if (parent->pendingChildren > 0) --parent->pendingChildren;
  Release(*parent);
}

// Hands a full part to the walker: measured here, or as a task of its own
// when the folder's handle can be kept for the measuring. Called without the
// lock; returns with it held. `pinned`: the listing holds a pin on the
// folder's kept handle (and `own` is then empty).
bool AheadState::Publish(std::unique_lock<std::mutex>& lock, const Folder& f, FolderHandle& own,
                         std::unique_ptr<AheadPart>& part, const Folder& parent, bool& pinned) {
  FolderId id;
  // Only a folder known again by its identity may have its handle given up.
  const bool known = !pinned && IdentifyFolder(*f, own, id);
  lock.lock();
  SettleParent(parent);
  if (f->cancelled || shutdown) return false;
  if (known) {
    f->id = id;
    f->identified = true;
    if (Keep(f, own)) {
      pinned = true;
      ++f->pins;
    }
  }
  const bool share = settings.measure && pinned && workers > 1;
  if (!AddPart(lock, f, std::move(part), pinned ? f->handle : own, share,
               settings.measure && !share)) {
    return false;
  }
  part = FreshPart();
  MarkDone(*f);
  return true;
}

bool AheadState::AddPart(std::unique_lock<std::mutex>& lock, const Folder& f,
                         std::unique_ptr<AheadPart> part, const FolderHandle& handle, bool share,
                         bool measureHere) {
  if (measureHere) {
    lock.unlock();
    Measure(*part, handle);
    lock.lock();
    if (f->cancelled || shutdown) return false;
  }
  part->measured = !share;
  if (share) {
    ++f->unmeasured;
    ++f->pins;
    chunks.push_back({f, part.get()});
    Wake(1);
  }
  f->parts.push_back(std::move(part));
  return true;
}

// Lists the folder from where its handle stands, a part at a time; pauses
// (parked) when the walker has enough parts not yet taken. Called without
// the lock; returns with it held.
void AheadState::List(std::unique_lock<std::mutex>& lock, const Folder& f, FolderHandle& own,
                      std::vector<char>& buffer, const Folder& parent) {
  bool pinned = !own.IsOpen();  // going on with a parked listing
  Folder unsettled = parent;
  // Its path below the starting folder, for exclusion patterns with "/";
  // the names on the way up never change once a folder is made.
  const TWalkRules& rules = *settings.rules;
  std::string below;
  if (rules.NeedsPaths()) {
    std::vector<const std::string*> names;
    for (const AheadFolder* up = f.get(); up->parent; up = up->parent.get()) {
      names.push_back(&up->name);
    }
    for (auto name = names.rbegin(); name != names.rend(); ++name) below += **name + "/";
  }
  const bool keepFiles = !settings.masks.empty();
  FolderReader reader(pinned ? f->handle : own, buffer, false);
  FolderEntry entry;
  auto part = std::make_unique<AheadPart>();
  bool crowded = false;  // the walker had many parts not yet taken, when last seen
  const auto endCancelled = [&] {
    if (pinned) --f->pins;
    f->listing.clear();
    f->listed = true;
    MarkDone(*f);
  };
  const bool allKinds = settings.allKinds;
  while (reader.Next(entry)) {
    const bool isFile =
        entry.kind == EntryKind::File || (allKinds && entry.kind == EntryKind::Other);
    const auto why = rules.LeavesOut(entry, below);
    if (why && !isFile) {
      if (entry.kind == EntryKind::Folder) f->leftOutChildren.Add(entry, *why, f->listing.size());
      continue;
    }
    if (isFile) {
      if (!keepFiles || (!why && !KeepsFile(entry.name))) continue;
      part->files.push_back({static_cast<std::uint32_t>(part->names.size()),
                             static_cast<std::uint32_t>(entry.nameLength),
                             -1,
                             {},
                             static_cast<std::uint8_t>(why ? 1 + static_cast<int>(*why) : 0)});
      part->names.append(entry.name, entry.nameLength + 1);
    } else if (entry.kind == EntryKind::Folder) {
      auto child = std::make_shared<AheadFolder>();
      child->name.assign(entry.name, entry.nameLength);
      child->depth = f->depth + 1;
      child->root = f->root;
      f->listing.push_back(std::move(child));
    }
    // A new reader goes on where this one stopped only when nothing read
    // waits in its buffer: the listing may pause only there.
    const bool mayPark = pinned && crowded && !reader.Buffered();
    if (part->files.size() < kPartFiles && !mayPark) continue;
    const bool wasPinned = pinned;
    if (!part->files.empty()) {
      if (!Publish(lock, f, own, part, unsettled, pinned)) {
        endCancelled();
        return;
      }
      unsettled.reset();
    } else {
      lock.lock();  // pinned: the first part has settled the parent
      if (f->cancelled || shutdown) {
        endCancelled();
        return;
      }
    }
    crowded = f->parts.size() >= kMostParts;
    if (pinned && crowded && !reader.Buffered()) {
      f->parked = true;  // the listing's pin stays with it
      return;
    }
    lock.unlock();
    if (pinned && !wasPinned) reader.Follow(f->handle);
  }
  f->readError = reader.Error();
  const FolderHandle& handle = pinned ? f->handle : own;
  FolderId id;
  // A folder with sub-folders may have to be opened again later.
  const bool known = !pinned && !f->listing.empty() && IdentifyFolder(*f, handle, id);
  // A folder of few files is measured now, which spares a round through
  // the lock.
  const bool measureNow = settings.measure && !pinned;
  if (measureNow) Measure(*part, handle);
  lock.lock();
  SettleParent(unsettled);
  if (f->cancelled || shutdown) {
    endCancelled();
    return;
  }
  if (known) {
    f->id = id;
    f->identified = true;
  }
  f->pendingChildren = f->listing.size();
  for (auto child = f->listing.rbegin(); child != f->listing.rend(); ++child) {
    (*child)->parent = f;
    pending.push_back(*child);
  }
  f->children = std::move(f->listing);
  f->listing.clear();
  // This worker takes one of them next itself: a chain of single folders
  // then goes down without waking anyone.
  if (f->children.size() > 1) Wake(f->children.size() - 1);
  if (!part->files.empty()) {
    const bool share = settings.measure && !measureNow && workers > 1;
    AddPart(lock, f, std::move(part), handle, share, settings.measure && !measureNow && !share);
  }
  if (!pinned && !f->children.empty()) Keep(f, own);  // to open its sub-folders from
  if (pinned) --f->pins;
  f->listed = true;
  MarkDone(*f);
}

void AheadState::MeasureChunk(std::unique_lock<std::mutex>& lock, const Chunk& chunk) {
  AheadFolder& f = *chunk.folder;
  if (!f.cancelled) {
    lock.unlock();
    Measure(*chunk.part, f.handle);
    lock.lock();
  }
  chunk.part->measured = true;
  --f.unmeasured;
  --f.pins;
  MarkDone(f);
}

bool AheadState::RunTask(std::unique_lock<std::mutex>& lock, std::vector<char>& buffer) {
  Folder folder;
  Chunk chunk;
  bool resume = false;
  if (!Take(folder, chunk, resume)) return false;
  ++busy;
  if (chunk.folder) {
    MeasureChunk(lock, chunk);
  } else if (resume) {
    lock.unlock();
    FolderHandle none;
    List(lock, folder, none, buffer, nullptr);
  } else {
    Read(lock, folder, buffer);
  }
  --busy;
  return true;
}

namespace {

void Work(std::shared_ptr<AheadState> state) {
  // The walking thread, the interface's in the window, is what every worker
  // waits for in the end: it must never queue behind them for a processor.
  LowerThreadPriority();
  std::vector<char> buffer;
  const bool adapt = state->settings.adapt;
  // Sleeps while idle are no sign of slow storage: they are taken off.
  std::size_t tasks = 0;
  std::uint64_t sleeps = 0;
  // Sleeps with blocks read mean the disk answered. Without any, they mean
  // a busy lock on a warm cache, unless they go on: a network file system
  // reads no blocks of ours.
  std::size_t sleepyRuns = 0;
  ThreadWaitCounts before = adapt ? ThreadWaits() : ThreadWaitCounts{};
  std::unique_lock lock(state->mutex);
  while (!state->shutdown && !StopRequested.load(std::memory_order_relaxed)) {
    if (state->busy < state->active && state->RunTask(lock, buffer)) {
      if (adapt && ++tasks == kTuneTasks) {
        const ThreadWaitCounts now = ThreadWaits();
        const std::uint64_t slept = now.sleeps - before.sleeps;
        const auto waits = static_cast<std::size_t>(slept > sleeps ? slept - sleeps : 0);
        const bool read = now.blocksRead > before.blocksRead;
        sleepyRuns = waits >= kSlowWaits && !read ? sleepyRuns + 1 : 0;
        state->Tune(waits, read || sleepyRuns >= kSleepyRuns);
        tasks = 0;
        sleeps = 0;
        before = now;
      }
      continue;
    }
    ++state->idleWorkers;
    ++sleeps;
    state->work.wait(lock);
    --state->idleWorkers;
  }
  --state->running;
  state->exited.notify_all();
}

}  // namespace

TReadAhead::TReadAhead(ReadAheadSettings settings) : state_(std::make_shared<AheadState>()) {
  AheadState& s = *state_;
  s.settings = std::move(settings);
  if (!s.settings.system) s.settings.system = std::make_shared<TFolderSystem>();
  for (const std::string& mask : s.settings.masks) {
    if (mask == "*" || mask == "*.*") s.keepAllFiles = true;
  }
  // Each worker holds at most two handles of its own at a time; the rest of
  // the budget keeps the folders whose sub-folders are still to be opened.
  const std::size_t budget = FolderHandleBudget();
  const std::size_t most = std::clamp<std::size_t>((budget - 1) / 3, 1, kMostWorkers);
  s.workers = std::clamp<std::size_t>(s.settings.workers, 1, most);
  s.keptLimit = budget > 2 * s.workers ? std::min(budget - 2 * s.workers, kMostKeptHandles) : 1;
  for (std::size_t i = 0; i < s.workers; ++i) {
    std::lock_guard lock(s.mutex);
    ++s.running;
    try {
      threads_.emplace_back(Work, state_);
      ++workers_;
    } catch (const std::system_error&) {
      --s.running;
      break;  // fewer workers; with none, the walker reads for itself
    }
  }
  s.workers = std::max<std::size_t>(workers_, 1);
  std::lock_guard lock(s.mutex);
  // One per processor: more only queue for the processors and the lock
  // while the cache answers.
  s.fewest = std::min(s.workers, std::max<std::size_t>(std::thread::hardware_concurrency(), 1));
  s.active = s.settings.adapt ? s.fewest : s.workers;
}

TReadAhead::~TReadAhead() {
  std::unique_lock lock(state_->mutex);
  AheadState& s = *state_;
  Settle();
  s.shutdown = true;
  for (const Folder& root : s.roots) s.Cancel(root);
  s.roots.clear();
  s.pending.clear();
  s.urgent.clear();
  s.resumed.clear();
  s.chunks.clear();
  // A handle still in use goes with the last reference to its folder.
  for (const Folder& f : s.kept) {
    if (f->pins == 0) f->handle.Close();
  }
  s.kept.clear();
  s.work.notify_all();
  // Workers that end now are joined, so none outlives the walk (and its
  // memory is gone when the walk returns); one stuck in a system call is
  // left to end on its own.
  const bool allEnded = s.exited.wait_for(lock, kExitWait, [&s] { return s.running == 0; });
  lock.unlock();
  for (std::thread& thread : threads_) {
    if (allEnded)
      thread.join();
    else
      thread.detach();
  }
}

std::shared_ptr<AheadFolder> TReadAhead::Start(const std::string& path) {
  auto root = std::make_shared<AheadFolder>();
  root->name = path;
  std::lock_guard lock(state_->mutex);
  state_->roots.push_back(root);
  root->urgent = true;
  state_->urgent.push_back(root);
  state_->work.notify_one();
  return root;
}

void TReadAhead::Settle() {
  AheadState& s = *state_;
  for (const Folder& f : waited_) s.Uncount(*f);
  waited_.clear();
  for (const Folder& f : left_) s.Cancel(f);
  left_.clear();
}

bool TReadAhead::Wait(const std::shared_ptr<AheadFolder>& folder, TMessagePump* pump) {
  AheadState& s = *state_;
  // A folder already read needs no lock: what it frees is settled in a
  // batch, which keeps the walker from queueing for the lock per folder.
  if (folder->done.load(std::memory_order_acquire)) {
    waited_.push_back(folder);
    if (waited_.size() + left_.size() >= kSettleBatch) {
      std::lock_guard lock(s.mutex);
      Settle();
    }
    return true;
  }
  std::unique_lock lock(s.mutex);
  Settle();
  if (!folder->started && !folder->urgent) {
    folder->urgent = true;
    s.urgent.push_back(folder);
    s.work.notify_one();
  }
  if (!WaitUntil(lock, *folder, pump, [&folder] { return folder->done.load(); })) return false;
  s.Uncount(*folder);
  return true;
}

bool TReadAhead::NextPart(const std::shared_ptr<AheadFolder>& folder, TMessagePump* pump,
                          std::unique_ptr<AheadPart>& part) {
  AheadFolder& f = *folder;
  // Listed and measured: nobody else touches its parts any more.
  if (f.complete.load(std::memory_order_acquire)) {
    if (f.parts.empty()) return false;
    part = std::move(f.parts.front());
    f.parts.pop_front();
    return true;
  }
  AheadState& s = *state_;
  std::unique_lock lock(s.mutex);
  Settle();
  s.Recycle(std::move(part));
  const auto ready = [&f] {
    return (!f.parts.empty() && f.parts.front()->measured) || (f.parts.empty() && f.listed);
  };
  if (!WaitUntil(lock, f, pump, ready)) return false;
  if (f.parts.empty()) return false;
  part = std::move(f.parts.front());
  f.parts.pop_front();
  if (f.parked && f.parts.size() < kMostParts / 2) {
    f.parked = false;
    s.resumed.push_back(folder);  // with the listing's pin
    s.Wake(1);
  }
  return true;
}

bool TReadAhead::WaitUntil(std::unique_lock<std::mutex>& lock, const AheadFolder& folder,
                           TMessagePump* pump, const std::function<bool()>& ready) {
  AheadState& s = *state_;
  auto lastPump = std::chrono::steady_clock::now();
  bool firstPause = true;
  std::vector<char> buffer;
  while (!ready()) {
    if (StopRequested) return false;
    if (workers_ == 0) {
      // No worker could be started: read here.
      s.RunTask(lock, buffer);
      continue;
    }
    // The first pause is not cut short when the folder is read: the workers
    // meanwhile get well ahead, and the walker then goes through many
    // folders instead of waking once for each. A slow folder wakes it.
    if (!firstPause) s.waitedFor = &folder;
    s.ready.wait_for(lock, firstPause ? kFirstPause : kPumpInterval / 2);
    s.waitedFor = nullptr;
    firstPause = false;
    if (pump && std::chrono::steady_clock::now() - lastPump >= kPumpInterval) {
      lock.unlock();
      pump->ProcessMessages();
      lock.lock();
      lastPump = std::chrono::steady_clock::now();
    }
  }
  return true;
}

void TReadAhead::Leave(const std::shared_ptr<AheadFolder>& folder) {
  left_.push_back(folder);
  if (waited_.size() + left_.size() >= kSettleBatch) {
    std::lock_guard lock(state_->mutex);
    Settle();
  }
}

std::size_t AutomaticWorkers(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (DiskKindOf(folder) == DiskKind::Spinning) return 1;
  }
  return kParallelWorkers;
}
