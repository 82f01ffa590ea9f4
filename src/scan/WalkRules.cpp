#include "scan/WalkRules.h"

#include <cerrno>

TWalkRules::TWalkRules(const std::vector<std::string>& exclude, const std::string& excludeBelow,
                       bool oneFileSystem, const std::vector<MountInfo>& mounts, bool countHidden)
    : exclusions_(exclude, excludeBelow), oneFileSystem_(oneFileSystem), countHidden_(countHidden) {
  for (const MountInfo& mount : mounts) {
    if (!mount.pseudo) continue;
    pseudoDevices_.insert(mount.device);
    const auto slash = mount.mountPoint.find_last_of('/');
    pseudoNames_.insert(slash == std::string::npos ? mount.mountPoint
                                                   : mount.mountPoint.substr(slash + 1));
  }
}

std::optional<LeftOutReason> TWalkRules::Excluded(const FolderEntry& entry,
                                                  std::string& below) const {
  const std::size_t folderLength = below.size();
  if (exclusions_.NeedsPaths()) below.append(entry.name, entry.nameLength);
  const bool excluded = exclusions_.Excludes(entry.name, entry.nameLength, below);
  below.resize(folderLength);
  if (excluded) return LeftOutReason::Excluded;
  return std::nullopt;
}

WalkRoot TWalkRules::Root(const FolderHandle& start) const {
  WalkRoot root;
  FolderId id;
  if (oneFileSystem_ && start.IsOpen() && start.Identify(id)) {
    root.device = id.device;
    root.known = true;
  }
  return root;
}

OpenOutcome TWalkRules::Opening(int error, bool startingFolder) {
  if (error == 0) return OpenOutcome::Opened;
  if (IsMissingFolderError(error)) {
    return startingFolder ? OpenOutcome::Missing : OpenOutcome::Vanished;
  }
  // A sub-folder replaced by a link since it was listed is gone as well.
  if (!startingFolder && error == ELOOP) return OpenOutcome::Vanished;
  return OpenOutcome::Unreadable;
}
