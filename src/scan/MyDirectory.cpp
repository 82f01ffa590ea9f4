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
void TMyDirectory::FileLeftOut(const std::string&, const char*, std::size_t, LeftOutReason) {}
void TMyDirectory::FolderMeasured(const std::string&, const FileFacts&) {}
void TMyDirectory::StartingFolderUnreadable(const std::string& folder, int error) {
  if (TWalkRules::Opening(error, true) != OpenOutcome::Missing) FolderUnreadable(folder, error);
}

void TMyDirectory::DoTheFileProcedure(const std::string& folder, const FileContext& where) {
  if (!StopRequested.load(std::memory_order_relaxed)) TheFileProcedure(folder, where);
}

void TMyDirectory::DoProcedureToAllMatchingFiles() {
  StopRequested = false;
  PreProcessProcedure();
  for (const std::string& path : Paths) DoProcedureToDirectory(path);
  PostProcessProcedure();
}

std::size_t TMyDirectory::ChildPrefixLength(std::size_t pathLength) const {
  return (pathLength > 0 && path_[pathLength - 1] != '/') ? pathLength + 1 : pathLength;
}

void TMyDirectory::DoProcedureToDirectory(const std::string& folder) {
  if (StopRequested) return;
  if (!mountsLoaded_) {
    mountsLoaded_ = true;
    mounts_ = ReadMounts();
  }
  // A hook may start a nested walk, with its own starting folder and rules.
  const std::shared_ptr<const TWalkRules> outerRules = std::move(rules_);
  rules_ = std::make_shared<const TWalkRules>(Exclude, ExcludeBelow, OneFileSystem, mounts_,
                                              CountHidden);
  struct RestoreRules {
    std::shared_ptr<const TWalkRules>& rules;
    std::shared_ptr<const TWalkRules> outer;
    ~RestoreRules() { rules = std::move(outer); }
  } restoreRules{rules_, outerRules};
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
  const std::size_t outerRootPrefix = rootPrefix_;
  rootPrefix_ = ChildPrefixLength(folder.size());
  struct RestorePrefix {
    std::size_t& prefix;
    std::size_t value;
    ~RestorePrefix() { prefix = value; }
  } restorePrefix{rootPrefix_, outerRootPrefix};
  int error = 0;
  FolderHandle handle = FolderHandle::OpenPath(folder, error);
  const WalkRoot root = rules_->Root(handle);
  const std::size_t base = levels_.size();
  EnterFolder(std::move(handle), error, true);
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
      if (level.leftOut) {
        std::size_t told = level.leftOutTold;
        TellLeftOut(level.pathLength, *level.leftOut, told, level.nextSubFolder);
        levels_[top].leftOutTold = told;
        if (StopRequested) continue;
      }
      const std::size_t nameIndex = levels_[top].nextSubFolder++;
      if (!levels_[top].handle.IsOpen() && !ReopenLevel(top)) {
        path_.resize(levels_[top].pathLength);
        FolderUnreadable(path_, EBADF);
        levels_[top].nextSubFolder = levels_[top].subFolders.size();
        continue;
      }
      Level& parent = levels_[top];
      const std::string& name = parent.subFolders[nameIndex];
      int openError = 0;
      FolderHandle child = parent.handle.OpenChild(name.c_str(), openError);
      const auto why = rules_->LeavesOutOpened(child, name, root, [&parent]() -> const FolderId* {
        if (!parent.identified) parent.identified = parent.handle.Identify(parent.id);
        return parent.identified ? &parent.id : nullptr;
      });
      if (why) {
        path_.resize(parent.pathLength);
        FolderLeftOut(path_, name.c_str(), name.size(), *why);
        continue;
      }
      if (TWalkRules::Opening(openError, false) == OpenOutcome::Vanished) {
        path_.resize(parent.pathLength);
        FolderUnreadable(path_, openError);
        continue;
      }
      // A folder that cannot be opened still has its own blocks.
      FileFacts self;
      const bool measured =
          MeasureFolders && !child.IsOpen() && parent.handle.EntryLength(name.c_str(), &self) >= 0;
      if (application_) application_->ProcessMessages();
      path_.resize(parent.pathLength);
      path_.resize(ChildPrefixLength(parent.pathLength), '/');
      path_ += name;
      EnterFolder(std::move(child), openError, false, measured ? &self : nullptr);
    } else {
      if (level.leftOut) {
        std::size_t told = level.leftOutTold;
        TellLeftOut(level.pathLength, *level.leftOut, told, level.subFolders.size());
      }
      path_.resize(levels_[top].pathLength);
      PostProcessDirectoryProcedure(path_);
      levels_.pop_back();
    }
  }
}

void TMyDirectory::EnterFolder(FolderHandle handle, int openError, bool startingFolder,
                               const FileFacts* self) {
  levels_.emplace_back();
  Level& level = levels_.back();
  level.pathLength = path_.size();
  level.handle = std::move(handle);
  LimitOpenHandles();

  PreProcessDirectoryProcedure(path_);
  TheDirectoryProcedure(path_);
  // The hooks get the path by reference; keep it as it was for them.
  path_.resize(levels_.back().pathLength);
  if (MeasureFolders) {
    FileFacts facts;
    if (self) facts = *self;
    if (self || levels_.back().handle.Status(facts)) {
      FolderMeasured(path_, facts);
      path_.resize(levels_.back().pathLength);
    }
  }
  Level& current = levels_.back();
  if (!current.handle.IsOpen()) {
    if (startingFolder) {
      StartingFolderUnreadable(path_, openError);
    } else if (TWalkRules::Opening(openError, false) != OpenOutcome::Missing) {
      FolderUnreadable(path_, openError);
    }
    return;
  }
  ReadFolder(current);
}

void TMyDirectory::ReadFolder(Level& level) {
  const bool collect = Recurse;
  const std::size_t passes = Masks.empty() ? (collect ? 1 : 0) : Masks.size();
  // The folder's path below the starting folder, for patterns with "/".
  std::string below;
  if (rules_->NeedsPaths() && level.pathLength > rootPrefix_) {
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
      if (entry.kind == EntryKind::File || (entry.kind == EntryKind::Other && AllKinds)) {
        if (!mask || StopRequested.load(std::memory_order_relaxed)) continue;
        if (const auto why = rules_->LeavesOut(entry, below)) {
          if (pass == 0) {
            path_.resize(level.pathLength);
            FileLeftOut(path_, entry.name, entry.nameLength, *why);
          }
          continue;
        }
        if (!matchAll && !NameMatches(*mask, entry.name)) continue;
        path_.resize(level.pathLength);
        DoTheFileProcedure(path_, FileContext{&level.handle, entry.name, entry.nameLength});
        // Each file costs a system call here: a folder of tens of thousands
        // of them must not hold the interface.
        if (application_ && ++filesSincePump == kFilesPerPump / 4) {
          filesSincePump = 0;
          application_->ProcessMessages();
        }
      } else if (entry.kind == EntryKind::Folder && collectNow) {
        if (const auto why = rules_->LeavesOut(entry, below)) {
          if (!level.leftOut) level.leftOut = std::make_unique<LeftOutFolders>();
          level.leftOut->Add(entry, *why, level.subFolders.size());
        } else {
          level.subFolders.emplace_back(entry.name, entry.nameLength);
        }
      }
    }
    path_.resize(level.pathLength);
    if (reader.Error() != 0) {
      FolderUnreadable(path_, reader.Error());
      break;
    }
  }
}

void TMyDirectory::TellLeftOut(std::size_t folderLength, const LeftOutFolders& leftOut,
                               std::size_t& told, std::size_t keptBefore) {
  while (!StopRequested && told < leftOut.folders.size() &&
         leftOut.folders[told].keptBefore <= keptBefore) {
    const LeftOutFolders::Folder& folder = leftOut.folders[told++];
    path_.resize(folderLength);
    FolderLeftOut(path_, leftOut.names.data() + folder.nameOffset, folder.nameLength, folder.why);
  }
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
  settings.rules = rules_;
  settings.system = folderSystem_;
  settings.allKinds = AllKinds;
  settings.measureFolders = MeasureFolders;
  settings.adapt = AdaptWorkers;
  TReadAhead ahead(std::move(settings));

  struct Open {
    std::shared_ptr<AheadFolder> folder;
    std::size_t pathLength;
    bool ready;  // its listing may be read
    std::size_t nextChild = 0;
    std::size_t leftOutTold = 0;
  };
  std::vector<Open> open;
  auto root = ahead.Start(folder);
  const bool rootReady = ahead.Wait(root, application_);
  path_ = folder;
  open.push_back({root, path_.size(), rootReady});
  EnterAhead(ahead, root, rootReady, true);

  while (!open.empty()) {
    Open& top = open.back();
    if (top.ready && !StopRequested && top.nextChild < top.folder->children.size()) {
      TellLeftOut(top.pathLength, top.folder->leftOutChildren, top.leftOutTold, top.nextChild);
      if (StopRequested) continue;
      const std::shared_ptr<AheadFolder> child = top.folder->children[top.nextChild++];
      const std::size_t parentLength = top.pathLength;
      if (!ahead.Wait(child, application_)) continue;  // stopped
      path_.resize(parentLength);
      int error = child->openError;
      if (child->parentLost) {
        error = EBADF;
        open.back().nextChild = open.back().folder->children.size();
      }
      if (child->leftOut) {
        ahead.Leave(child);
        FolderLeftOut(path_, child->name.c_str(), child->name.size(), *child->leftOut);
        continue;
      }
      if (child->parentLost || TWalkRules::Opening(error, false) == OpenOutcome::Vanished) {
        ahead.Leave(child);
        FolderUnreadable(path_, error);
        continue;
      }
      if (application_) application_->ProcessMessages();
      path_.resize(parentLength);
      path_.resize(ChildPrefixLength(parentLength), '/');
      path_ += child->name;
      open.push_back({child, path_.size(), true});
      EnterAhead(ahead, child, true, false);
    } else {
      // Its listing has ended unless the walk stopped.
      if (top.ready) {
        TellLeftOut(top.pathLength, top.folder->leftOutChildren, top.leftOutTold,
                    top.folder->children.size());
      }
      path_.resize(top.pathLength);
      PostProcessDirectoryProcedure(path_);
      ahead.Leave(open.back().folder);
      open.pop_back();
    }
  }
}

void TMyDirectory::EnterAhead(TReadAhead& ahead, const std::shared_ptr<AheadFolder>& folder,
                              bool ready, bool startingFolder) {
  const std::size_t pathLength = path_.size();
  PreProcessDirectoryProcedure(path_);
  TheDirectoryProcedure(path_);
  path_.resize(pathLength);
  if (!ready) return;
  if (folder->measuredSelf) {
    FolderMeasured(path_, folder->self);
    path_.resize(pathLength);
  }
  if (folder->openError != 0) {
    if (startingFolder) {
      StartingFolderUnreadable(path_, folder->openError);
    } else if (TWalkRules::Opening(folder->openError, false) != OpenOutcome::Missing) {
      FolderUnreadable(path_, folder->openError);
    }
    return;
  }
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
        if (file.leftOut != 0) {
          if (pass == 0) {
            path_.resize(pathLength);
            FileLeftOut(path_, name, file.nameLength, static_cast<LeftOutReason>(file.leftOut - 1));
          }
          continue;
        }
        if (!matchAll && !NameMatches(*mask, name)) continue;
        path_.resize(pathLength);
        DoTheFileProcedure(path_, FileContext{nullptr, name, file.nameLength, file.length,
                                              MeasureAhead, &file.facts});
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
