#include "scan/MyDirectory.h"

#include <algorithm>
#include <cerrno>

#include "scan/Mounts.h"

std::atomic<bool> StopRequested{false};

namespace {
// Folders deeper than this many levels below the open ones are walked with
// their ancestors' handles closed, so a deep tree cannot run out of them.
// Fewer when the open-file limit is lower.
constexpr std::size_t kMaxOpenLevels = 64;

// A sub-folder that was listed but is gone, or is no longer a folder, when
// the walk gets to it: its contents were not counted.
bool VanishedFolderError(int error) {
  return IsMissingFolderError(error) || error == ELOOP;
}
}  // namespace

// Files handled between two chances for the interface (a power of two).
constexpr std::size_t kFilesPerPump = 1024;

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() != '/') return folder + "/" + name;
  return folder + name;
}

void TMyDirectory::SetState(TMessagePump* application, bool recurse) {
  application_ = application;
  Recurse = recurse;
}

void TMyDirectory::TheFileProcedure(const std::string&, const FileContext&) {}
void TMyDirectory::TheDirectoryProcedure(const std::string&) {}
void TMyDirectory::PreProcessProcedure() {}
void TMyDirectory::PostProcessProcedure() {}
void TMyDirectory::PreProcessDirectoryProcedure(const std::string&) {}
void TMyDirectory::PostProcessDirectoryProcedure(const std::string&) {}
void TMyDirectory::FolderUnreadable(const std::string&, int) {}
void TMyDirectory::FolderLeftOut(const std::string&, const char*, std::size_t, LeftOutReason) {}

void TMyDirectory::DoTheFileProcedure(const std::string& fileName, const FileContext& where) {
  if (!StopRequested.load(std::memory_order_relaxed)) TheFileProcedure(fileName, where);
}

void TMyDirectory::DoProcedureToAllMatchingFiles() {
  StopRequested = false;
  PreProcessProcedure();
  for (const std::string& path : Paths) DoProcedureToDirectory(path);
  PostProcessProcedure();
}

void TMyDirectory::LoadMounts() {
  if (mountsLoaded_) return;
  mountsLoaded_ = true;
  for (const MountInfo& mount : ReadMounts()) {
    if (!mount.pseudo) continue;
    pseudoDevices_.insert(mount.device);
    const auto slash = mount.mountPoint.find_last_of('/');
    pseudoNames_.insert(slash == std::string::npos ? mount.mountPoint
                                                   : mount.mountPoint.substr(slash + 1));
  }
}

bool TMyDirectory::IsPseudoMount(const FolderHandle& child, const std::string& name,
                                 Level& parent) {
  if (!child.IsOpen() || pseudoNames_.count(name) == 0) return false;
  if (!parent.identified) parent.identified = parent.handle.Identify(parent.id);
  FolderId id;
  return parent.identified && child.Identify(id) && id.device != parent.id.device &&
         pseudoDevices_.count(id.device) != 0;
}

std::size_t TMyDirectory::ChildPrefixLength(std::size_t pathLength) const {
  return (pathLength > 0 && path_[pathLength - 1] != '/') ? pathLength + 1 : pathLength;
}

void TMyDirectory::DoProcedureToDirectory(const std::string& folder) {
  if (StopRequested) return;
  LoadMounts();
  if (application_) application_->ProcessMessages();
  if (Recurse && Workers > 0) {
    WalkAhead(folder);
    return;
  }
  // The handles the walk itself needs (the child being opened, a reopen's
  // step) come out of the same budget.
  const std::size_t budget = FolderHandleBudget();
  maxOpenLevels_ = std::clamp<std::size_t>(budget > 2 ? budget - 2 : 1, 1, kMaxOpenLevels);
  path_ = folder;
  exclusions_ = TExclusions(Exclude, ExcludeBelow);
  // A hook may start a nested walk, with its own starting folder.
  const std::size_t outerRootPrefix = rootPrefix_;
  rootPrefix_ = ChildPrefixLength(folder.size());
  struct RestorePrefix {
    std::size_t& prefix;
    std::size_t value;
    ~RestorePrefix() { prefix = value; }
  } restorePrefix{rootPrefix_, outerRootPrefix};
  int error = 0;
  FolderHandle handle = FolderHandle::OpenPath(folder, error);
  FolderId rootId;
  const bool rootKnown = OneFileSystem && handle.IsOpen() && handle.Identify(rootId);
  const std::size_t base = levels_.size();
  EnterFolder(std::move(handle), error);
  if (!Recurse) {
    levels_.pop_back();
    return;
  }

  // Depth first with an explicit stack: a chain of many thousands of
  // folders must not exhaust the call stack.
  while (levels_.size() > base) {
    const std::size_t top = levels_.size() - 1;
    Level& level = levels_[top];
    if (level.nextSubFolder < level.subFolders.size() && !StopRequested) {
      const std::size_t nameIndex = level.nextSubFolder++;
      if (!level.handle.IsOpen() && !ReopenLevel(top)) {
        path_.resize(levels_[top].pathLength);
        FolderUnreadable(path_, EBADF);
        levels_[top].nextSubFolder = levels_[top].subFolders.size();
        continue;
      }
      Level& parent = levels_[top];
      const std::string& name = parent.subFolders[nameIndex];
      int openError = 0;
      FolderHandle child = parent.handle.OpenChild(name.c_str(), openError);
      if (IsPseudoMount(child, name, parent)) continue;  // never entered
      if (rootKnown && child.IsOpen()) {
        FolderId id;
        if (child.Identify(id) && id.device != rootId.device) continue;  // another file system
      }
      // A folder removed or replaced since it was listed is left out, and
      // its parent's total is marked as incomplete.
      if (VanishedFolderError(openError)) {
        path_.resize(parent.pathLength);
        FolderUnreadable(path_, openError);
        continue;
      }
      if (application_) application_->ProcessMessages();
      path_.resize(parent.pathLength);
      path_.resize(ChildPrefixLength(parent.pathLength), '/');
      path_ += name;
      EnterFolder(std::move(child), openError);
    } else {
      path_.resize(level.pathLength);
      PostProcessDirectoryProcedure(path_);
      levels_.pop_back();
    }
  }
}

void TMyDirectory::EnterFolder(FolderHandle handle, int openError) {
  levels_.emplace_back();
  Level& level = levels_.back();
  level.pathLength = path_.size();
  level.handle = std::move(handle);
  LimitOpenHandles();

  PreProcessDirectoryProcedure(path_);
  TheDirectoryProcedure(path_);
  // The hooks get the path by reference; keep it as it was for them.
  Level& current = levels_.back();
  path_.resize(current.pathLength);
  if (!current.handle.IsOpen()) {
    // A missing folder (or a file) is an empty search; anything else is a failure.
    if (!IsMissingFolderError(openError)) FolderUnreadable(path_, openError);
    return;
  }
  ReadFolder(current);
}

void TMyDirectory::ReadFolder(Level& level) {
  const std::size_t prefix = ChildPrefixLength(level.pathLength);
  const bool collect = Recurse;
  const std::size_t passes = Masks.empty() ? (collect ? 1 : 0) : Masks.size();
  // The folder's path below the starting folder, for patterns with "/".
  std::string below;
  if (exclusions_.NeedsPaths() && level.pathLength > rootPrefix_) {
    below.assign(path_, rootPrefix_, level.pathLength - rootPrefix_);
    below += '/';
  }
  for (std::size_t pass = 0; pass < passes; ++pass) {
    const std::string* mask = Masks.empty() ? nullptr : &Masks[pass];
    const bool matchAll = mask && (*mask == "*.*" || *mask == "*");
    const bool collectNow = collect && pass == 0;
    FolderReader reader(level.handle, buffer_, pass > 0);
    FolderEntry entry;
    std::size_t filesSincePump = 0;
    while (reader.Next(entry)) {
      if (entry.name[0] == '.') continue;  // hidden
      if (entry.kind == EntryKind::File) {
        if (!mask || StopRequested.load(std::memory_order_relaxed)) continue;
        if (!matchAll && !NameMatches(*mask, entry.name)) continue;
        if (Excluded(entry, below)) continue;
        path_.resize(prefix, '/');
        path_.append(entry.name, entry.nameLength);
        DoTheFileProcedure(path_, FileContext{&level.handle, entry.name, -1, false, {}});
        // Each file costs a system call here: a folder of tens of thousands
        // of them must not hold the interface.
        if (application_ && ++filesSincePump == kFilesPerPump / 4) {
          filesSincePump = 0;
          application_->ProcessMessages();
        }
      } else if (entry.kind == EntryKind::Folder && collectNow && !Excluded(entry, below)) {
        level.subFolders.emplace_back(entry.name, entry.nameLength);
      }
    }
    path_.resize(level.pathLength);
    if (reader.Error() != 0) {
      FolderUnreadable(path_, reader.Error());
      break;
    }
  }
}

bool TMyDirectory::Excluded(const FolderEntry& entry, const std::string& belowFolder) const {
  if (exclusions_.Empty()) return false;
  std::string below;
  if (exclusions_.NeedsPaths()) below = belowFolder + std::string(entry.name, entry.nameLength);
  return exclusions_.Excludes(entry.name, entry.nameLength, below);
}

void TMyDirectory::LimitOpenHandles() {
  if (levels_.size() <= maxOpenLevels_) return;
  Level& level = levels_[levels_.size() - 1 - maxOpenLevels_];
  if (!level.handle.IsOpen()) return;
  // Its identity lets a reopen check that it is still the same folder.
  if (!level.identified) level.identified = level.handle.Identify(level.id);
  level.handle.Close();
}

// Opens a level again from its nearest open ancestor, name by name, and
// checks that it is still the same folder.
bool TMyDirectory::ReopenLevel(std::size_t index) {
  std::size_t from = index;
  while (from > 0 && !levels_[from].handle.IsOpen()) --from;
  int error = 0;
  if (!levels_[from].handle.IsOpen()) {
    // Even the starting folder was closed: open it by its text again.
    levels_[0].handle = FolderHandle::OpenPath(path_.substr(0, levels_[0].pathLength), error);
    FolderId id;
    if (!levels_[0].handle.IsOpen() || !levels_[0].handle.Identify(id) || !(id == levels_[0].id)) {
      levels_[0].handle.Close();
      return false;
    }
  }
  for (std::size_t i = from + 1; i <= index; ++i) {
    const std::size_t start = ChildPrefixLength(levels_[i - 1].pathLength);
    const std::string name = path_.substr(start, levels_[i].pathLength - start);
    levels_[i].handle = levels_[i - 1].handle.OpenChild(name.c_str(), error);
    FolderId id;
    if (!levels_[i].handle.IsOpen() || !levels_[i].handle.Identify(id) || !(id == levels_[i].id)) {
      levels_[i].handle.Close();
      return false;
    }
    // Keep open only the levels a later reopen would start from (all of
    // them were identified when first closed).
    if (i - 1 + maxOpenLevels_ < levels_.size()) levels_[i - 1].handle.Close();
  }
  return true;
}

// The same walk, with the system calls made ahead by the workers; the hooks
// get the same calls in the same order.
void TMyDirectory::WalkAhead(const std::string& folder) {
  ReadAheadSettings settings;
  settings.workers = Workers;
  settings.measure = MeasureAhead;
  settings.masks = Masks;
  settings.pseudoDevices = pseudoDevices_;
  settings.pseudoNames = pseudoNames_;
  settings.system = folderSystem_;
  settings.oneFileSystem = OneFileSystem;
  settings.exclusions = TExclusions(Exclude, ExcludeBelow);
  TReadAhead ahead(std::move(settings));

  struct Open {
    std::shared_ptr<AheadFolder> folder;
    std::size_t pathLength;
    bool ready;  // its listing may be read
    std::size_t nextChild = 0;
  };
  std::vector<Open> open;
  auto root = ahead.Start(folder);
  const bool rootReady = ahead.Wait(root, application_);
  path_ = folder;
  open.push_back({root, path_.size(), rootReady});
  EnterAhead(ahead, root, rootReady);

  while (!open.empty()) {
    Open& top = open.back();
    if (top.ready && !StopRequested && top.nextChild < top.folder->children.size()) {
      const std::shared_ptr<AheadFolder> child = top.folder->children[top.nextChild++];
      const std::size_t parentLength = top.pathLength;
      if (!ahead.Wait(child, application_)) continue;  // stopped
      path_.resize(parentLength);
      int error = child->openError;
      if (child->parentLost) {
        error = EBADF;
        open.back().nextChild = open.back().folder->children.size();
      }
      if (child->leftOut || child->parentLost || VanishedFolderError(error)) {
        ahead.Leave(child);
        if (!child->leftOut) FolderUnreadable(path_, error);
        continue;
      }
      if (application_) application_->ProcessMessages();
      path_.resize(parentLength);
      path_.resize(ChildPrefixLength(parentLength), '/');
      path_ += child->name;
      open.push_back({child, path_.size(), true});
      EnterAhead(ahead, child, true);
    } else {
      path_.resize(top.pathLength);
      PostProcessDirectoryProcedure(path_);
      ahead.Leave(open.back().folder);
      open.pop_back();
    }
  }
}

void TMyDirectory::EnterAhead(TReadAhead& ahead, const std::shared_ptr<AheadFolder>& folder,
                              bool ready) {
  const std::size_t pathLength = path_.size();
  PreProcessDirectoryProcedure(path_);
  TheDirectoryProcedure(path_);
  path_.resize(pathLength);
  if (!ready) return;
  if (folder->openError != 0) {
    if (!IsMissingFolderError(folder->openError)) FolderUnreadable(path_, folder->openError);
    return;
  }
  const std::size_t prefix = ChildPrefixLength(pathLength);
  const std::size_t passes = std::max<std::size_t>(Masks.size(), 1);
  // The first pass takes the parts as they come; later ones go through them again.
  std::vector<std::unique_ptr<AheadPart>> taken;
  std::size_t handled = 0;
  for (std::size_t pass = 0; pass < passes; ++pass) {
    const std::string* mask = Masks.empty() ? nullptr : &Masks[pass];
    const bool matchAll = mask && (*mask == "*.*" || *mask == "*");
    std::unique_ptr<AheadPart> next;
    for (std::size_t partIndex = 0;; ++partIndex) {
      const AheadPart* part = nullptr;
      if (pass == 0) {
        if (!ahead.NextPart(folder, application_, next)) break;
        part = next.get();
      } else {
        if (partIndex == taken.size()) break;
        part = taken[partIndex].get();
      }
      for (std::size_t i = 0; mask && i < part->files.size(); ++i) {
        if (StopRequested.load(std::memory_order_relaxed)) break;
        const AheadFile& file = part->files[i];
        const char* name = part->names.data() + file.nameOffset;
        if (!matchAll && !NameMatches(*mask, name)) continue;
        path_.resize(prefix, '/');
        path_.append(name, file.nameLength);
        DoTheFileProcedure(path_,
                           FileContext{nullptr, name, file.length, MeasureAhead, file.facts});
        // A folder of tens of thousands of files must not hold the interface.
        if (application_ && (++handled & (kFilesPerPump - 1)) == 0) application_->ProcessMessages();
      }
      if (pass == 0 && passes > 1) taken.push_back(std::move(next));
    }
    path_.resize(pathLength);
    // Stopped: its listing may not have ended.
    if (StopRequested) return;
    if (folder->readError != 0) {
      FolderUnreadable(path_, folder->readError);
      break;
    }
  }
}
