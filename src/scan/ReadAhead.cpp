#include "scan/ReadAhead.h"

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "scan/Mounts.h"
#include "scan/MyDirectory.h"

namespace {

// How far the workers may run ahead of the walk: a tree of millions of
// files must not be buffered whole.
constexpr std::size_t kWindowFolders = 4096;
constexpr std::size_t kWindowBytes = 32u << 20;
// A folder with more files than this has its measuring shared out.
constexpr std::size_t kChunkFiles = 1024;
// Kept folder handles are looked through when one must go; a few hundred
// spare the look and still cover any ordinary depth.
constexpr std::size_t kMostKeptHandles = 256;
constexpr std::size_t kMostWorkers = 64;
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
constexpr auto kFirstPause = std::chrono::microseconds(500);
// How long the end of a walk waits for its workers to go: long enough for
// any that is not stuck in a system call, short enough that Stop stays quick.
// Folders the walker is done with, settled with the stage a batch at a time.
constexpr std::size_t kSettleBatch = 64;
constexpr auto kExitWait = std::chrono::milliseconds(20);

using Folder = std::shared_ptr<AheadFolder>;

}  // namespace

struct AheadState {
  ReadAheadSettings settings;
  bool keepAllFiles = false;
  std::size_t workers = 1;
  std::size_t keptLimit = 1;

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
  struct Chunk {
    Folder folder;
    std::size_t begin, end;
  };
  std::deque<Chunk> chunks;
  std::vector<Folder> kept;  // folders whose handles are open
  std::vector<Folder> roots;
  std::size_t windowFolders = 0, windowBytes = 0, chunkedFolders = 0;

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
    if (tasks >= idleWorkers) {
      if (idleWorkers > 0) work.notify_all();
      return;
    }
    for (std::size_t i = 0; i < tasks; ++i) work.notify_one();
  }

  bool WindowFull() const { return windowFolders >= kWindowFolders || windowBytes >= kWindowBytes; }

  bool Take(Folder& folder, Chunk& chunk) {
    if (!chunks.empty()) {
      chunk = std::move(chunks.front());
      chunks.pop_front();
      return true;
    }
    while (!urgent.empty()) {
      folder = std::move(urgent.front());
      urgent.pop_front();
      if (!folder->started && !folder->cancelled) return true;
    }
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
    const bool wasFull = WindowFull();
    f.inWindow = false;
    --windowFolders;
    if (f.bytesCounted) windowBytes -= f.bytes;
    f.bytesCounted = false;
    if (wasFull) Wake(kWindowFolders);
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

  void MarkDone(AheadFolder& f) {
    f.done = true;
    if (f.inWindow && !f.bytesCounted) {
      f.bytesCounted = true;
      windowBytes += f.bytes;
    }
    if (waitedFor == &f) ready.notify_one();
    Release(f);
  }

  void FinishChunk(AheadFolder& f, bool pinned) {
    if (pinned) --f.pins;
    if (--f.chunksLeft == 0) {
      if (f.chunked) --chunkedFolders;
      MarkDone(f);
    } else {
      Release(f);
    }
  }

  // Marks the folder and every folder under it as no longer wanted.
  void Cancel(const Folder& top) {
    std::vector<Folder> todo{top};
    while (!todo.empty()) {
      const Folder f = std::move(todo.back());
      todo.pop_back();
      f->cancelled = true;
      Uncount(*f);
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

  void Measure(AheadFolder& f, const FolderHandle& handle, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      if ((i & 255) == 0 && StopRequested.load(std::memory_order_relaxed)) return;
      const std::int64_t length =
          handle.FileLength(f.names.data() + f.files[i].nameOffset, &f.files[i].facts);
      // The reason travels with the failure: errno does not cross threads.
      f.files[i].length = length >= 0 ? length : -std::int64_t{errno > 0 ? errno : EIO};
    }
  }

  void Read(std::unique_lock<std::mutex>& lock, const Folder& f, std::vector<char>& buffer);
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
  // Its path below the starting folder, for exclusion patterns with "/";
  // the names on the way up never change once a folder is made.
  std::string below;
  if (settings.exclusions.NeedsPaths()) {
    std::vector<const std::string*> names;
    for (const AheadFolder* up = f.get(); up->parent; up = up->parent.get()) {
      names.push_back(&up->name);
    }
    for (auto name = names.rbegin(); name != names.rend(); ++name) below += **name + "/";
  }
  if (parent) {
    ++parent->pins;
    if (!parent->handle.IsOpen()) parentOk = Reopen(lock, parent, spare);
    from = parent->handle.IsOpen() ? &parent->handle : &spare;
  }
  lock.unlock();

  FolderHandle handle;
  std::vector<Folder> children;
  bool measured = false;
  if (parentOk) {
    handle = Open(from, f->name, f->openError);
    spare.Close();
    if (handle.IsOpen() && parent && settings.pseudoNames.count(f->name) != 0) {
      FolderId id;
      f->leftOut = parent->identified && handle.Identify(id) && id.device != parent->id.device &&
                   settings.pseudoDevices.count(id.device) != 0;
      if (f->leftOut) handle.Close();
    }
    if (handle.IsOpen() && settings.oneFileSystem) {
      FolderId id;
      if (handle.Identify(id)) {
        if (!parent) {
          f->rootDevice = id.device;
          f->rootDeviceKnown = true;
        } else if (f->rootDeviceKnown && id.device != f->rootDevice) {
          f->leftOut = true;
          handle.Close();
        }
      }
    }
  } else {
    f->parentLost = true;
  }
  if (handle.IsOpen()) {
    const bool keepFiles = !settings.masks.empty();
    const bool excluding = !settings.exclusions.Empty();
    const bool withPaths = settings.exclusions.NeedsPaths();
    FolderReader reader(handle, buffer, false);
    FolderEntry entry;
    while (reader.Next(entry)) {
      if (entry.name[0] == '.') continue;  // hidden
      if (entry.kind != EntryKind::Other && excluding &&
          settings.exclusions.Excludes(entry.name, entry.nameLength,
                                       withPaths ? below + entry.name : std::string())) {
        continue;
      }
      if (entry.kind == EntryKind::File) {
        if (!keepFiles || !KeepsFile(entry.name)) continue;
        f->files.push_back({static_cast<std::uint32_t>(f->names.size()),
                            static_cast<std::uint32_t>(entry.nameLength),
                            -1,
                            {}});
        f->names.append(entry.name, entry.nameLength + 1);
      } else if (entry.kind == EntryKind::Folder) {
        auto child = std::make_shared<AheadFolder>();
        child->name.assign(entry.name, entry.nameLength);
        child->depth = f->depth + 1;
        child->rootDevice = f->rootDevice;
        child->rootDeviceKnown = f->rootDeviceKnown;
        children.push_back(std::move(child));
      }
    }
    f->readError = reader.Error();
    // A folder with sub-folders may have to be opened again later.
    if (!children.empty()) f->identified = handle.Identify(f->id);
    // Too few files to share out: measured now, which spares a round
    // through the lock.
    if (settings.measure && f->files.size() <= kChunkFiles) {
      Measure(*f, handle, 0, f->files.size());
      measured = true;
    }
  }
  f->bytes = sizeof(AheadFolder) + f->names.capacity() + f->files.capacity() * sizeof(AheadFile);
  for (const Folder& child : children) f->bytes += sizeof(AheadFolder) + child->name.capacity();

  lock.lock();
  if (parent) {
    --parent->pins;
    if (parent->pendingChildren > 0) --parent->pendingChildren;
    Release(*parent);
  }
  if (f->cancelled || shutdown) {
    MarkDone(*f);
    return;
  }
  f->pendingChildren = children.size();
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    (*child)->parent = f;
    pending.push_back(*child);
  }
  f->children = std::move(children);
  Wake(f->children.size());

  const std::size_t files = settings.measure && !measured ? f->files.size() : 0;
  const bool share = files > kChunkFiles && workers > 1 && chunkedFolders < workers;
  if (handle.IsOpen() && (!f->children.empty() || share)) Keep(f, handle);
  if (files == 0) {
    MarkDone(*f);
    return;
  }
  const bool pinned = f->handle.IsOpen();
  std::size_t end = files;
  f->chunksLeft = 1;
  if (share && pinned) {
    f->chunked = true;
    ++chunkedFolders;
    end = kChunkFiles;
    for (std::size_t begin = kChunkFiles; begin < files; begin += kChunkFiles) {
      chunks.push_back({f, begin, std::min(files, begin + kChunkFiles)});
      ++f->chunksLeft;
      ++f->pins;
    }
    Wake(f->chunksLeft - 1);
  }
  if (pinned) ++f->pins;
  const FolderHandle& measureWith = pinned ? f->handle : handle;
  lock.unlock();
  Measure(*f, measureWith, 0, end);
  handle.Close();
  lock.lock();
  FinishChunk(*f, pinned);
}

void AheadState::MeasureChunk(std::unique_lock<std::mutex>& lock, const Chunk& chunk) {
  lock.unlock();
  Measure(*chunk.folder, chunk.folder->handle, chunk.begin, chunk.end);
  lock.lock();
  FinishChunk(*chunk.folder, true);
}

namespace {

void Work(std::shared_ptr<AheadState> state) {
  std::vector<char> buffer;
  std::unique_lock lock(state->mutex);
  Folder folder;
  AheadState::Chunk chunk;
  while (!state->shutdown && !StopRequested.load(std::memory_order_relaxed)) {
    if (!state->Take(folder, chunk)) {
      ++state->idleWorkers;
      state->work.wait(lock);
      --state->idleWorkers;
      continue;
    }
    if (folder) {
      state->Read(lock, folder, buffer);
      folder.reset();
    } else {
      state->MeasureChunk(lock, chunk);
      chunk.folder.reset();
    }
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
  auto lastPump = std::chrono::steady_clock::now();
  bool firstPause = true;
  while (!folder->done) {
    if (StopRequested) return false;
    if (workers_ == 0) {
      // No worker could be started: read here.
      Folder next;
      AheadState::Chunk chunk;
      std::vector<char> buffer;
      if (s.Take(next, chunk)) {
        if (next)
          s.Read(lock, next, buffer);
        else
          s.MeasureChunk(lock, chunk);
      }
      continue;
    }
    // The first pause is not cut short when the folder is read: the workers
    // meanwhile get well ahead, and the walker then goes through many
    // folders instead of waking once for each. A slow folder wakes it.
    if (!firstPause) s.waitedFor = folder.get();
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
  s.Uncount(*folder);
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
  if (!folders.empty() && IsOnRotationalDisk(folders.front())) return 1;
  return 8;
}
