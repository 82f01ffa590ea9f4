#include "scan/ScanReplay.h"

#include <cerrno>

#include "scan/ScanDocument.h"

namespace {

// A scan file says that a folder or file could not be read, not why: the
// reason given is the commonest.
constexpr int kUnreadable = EACCES;

constexpr std::size_t kFilesPerPump = 1024;

std::size_t PrefixLength(const std::string& path, std::size_t length) {
  return (length > 0 && path[length - 1] != '/') ? length + 1 : length;
}

}  // namespace

void TScanReplay::Replay(const TScanDocument& doc, TMessagePump* application) {
  StopRequested = false;
  application_ = application;
  const TWalkRules rules(Exclude, ExcludeBelow, false, {}, CountHidden);
  rules_ = &rules;
  // Every marked name is a repeat of one counted unmarked.
  if (doc.LinksAreRepeats()) {
    for (std::uint64_t j = 0; j < doc.FileCount(); ++j) {
      if (const ScanLink* link = doc.Link(j)) CountedBefore(link->device, link->inode);
    }
  }
  for (std::uint32_t start = 0; start < doc.FolderCount() && !StopRequested;
       start = doc.NextSibling(start)) {
    if (doc.Folder(start).Has(ScanFolder::LeftOut)) continue;
    const bool rootKnown = doc.Folder(start).Has(ScanFolder::Identified);
    const std::uint64_t rootDevice = doc.FolderDevice(start);
    path_ = doc.FolderName(start);
    rootPrefix_ = PrefixLength(path_, path_.size());
    stack_.clear();
    Enter(doc, start, true);
    while (!stack_.empty()) {
      Level& top = stack_.back();
      if (top.next == TScanDocument::kNoFolder || StopRequested) {
        path_.resize(top.pathLength);
        PostProcessDirectoryProcedure(path_);
        stack_.pop_back();
        continue;
      }
      const std::uint32_t child = top.next;
      top.next = doc.NextSibling(child);
      path_.resize(top.pathLength);
      const ScanFolder& folder = doc.Folder(child);
      const std::string_view name = doc.FolderName(child);
      if (folder.Has(ScanFolder::LeftOut)) {
        FolderLeftOut(path_, name.data(), name.size(), folder.leftOut);
        continue;
      }
      name_.assign(name);
      below_.clear();
      if (rules.NeedsPaths() && top.pathLength > rootPrefix_) {
        below_.assign(path_, rootPrefix_, top.pathLength - rootPrefix_);
        below_ += '/';
      }
      const FolderEntry entry{name_.c_str(), name_.size(), EntryKind::Folder};
      if (const auto why = rules.LeavesOut(entry, below_)) {
        FolderLeftOut(path_, name_.c_str(), name_.size(), *why);
        continue;
      }
      if (OneFileSystem && rootKnown && folder.Has(ScanFolder::Identified) &&
          doc.FolderDevice(child) != rootDevice) {
        FolderLeftOut(path_, name_.c_str(), name_.size(), LeftOutReason::OtherFileSystem);
        continue;
      }
      if (application_) application_->ProcessMessages();
      path_.resize(PrefixLength(path_, top.pathLength), '/');
      path_ += name;
      Enter(doc, child, false);
    }
  }
  rules_ = nullptr;
}

void TScanReplay::Enter(const TScanDocument& doc, std::uint32_t i, bool startingFolder) {
  const ScanFolder& folder = doc.Folder(i);
  const std::size_t pathLength = path_.size();
  PreProcessDirectoryProcedure(path_);
  TheDirectoryProcedure(path_);
  path_.resize(pathLength);
  if (MeasureFolders && folder.Has(ScanFolder::Identified)) {
    FileFacts self;
    self.allocated = folder.ownAllocated;
    self.device = doc.FolderDevice(i);
    self.inode = folder.inode;
    self.type = FileFacts::Type::Folder;
    FolderMeasured(path_, self);
  }
  const auto [leftOutBegin, leftOutEnd] = doc.LeftOutFiles(i);
  const std::uint64_t end = doc.KeptFilesEnd(i);
  const bool unlisted = folder.Has(ScanFolder::Unlisted);
  // Nothing in it: it could not be opened at all.
  if (unlisted && folder.files == 0 && folder.span == 0 && leftOutBegin == leftOutEnd) {
    if (startingFolder) {
      StartingFolderUnreadable(path_, kUnreadable);
    } else {
      FolderUnreadable(path_, kUnreadable);
    }
    stack_.push_back({i, TScanDocument::kNoFolder, pathLength});
    return;
  }
  below_.clear();
  if (rules_->NeedsPaths() && pathLength > rootPrefix_) {
    below_.assign(path_, rootPrefix_, pathLength - rootPrefix_);
    below_ += '/';
  }
  for (std::size_t k = leftOutBegin; k < leftOutEnd; ++k) {
    const ScanLeftOutFile file = doc.LeftOutFile(k);
    FileLeftOut(path_, file.name.data(), file.name.size(), file.why);
  }
  for (std::uint64_t j = folder.firstFile; j < end && !StopRequested; ++j) {
    const ScanFile file = doc.File(j);
    const bool regular =
        file.type == FileFacts::Type::Regular || file.type == FileFacts::Type::Unknown;
    if (!regular && !AllKinds) continue;
    name_.assign(file.name);
    const FolderEntry entry{name_.c_str(), name_.size(),
                            regular ? EntryKind::File : EntryKind::Other};
    if (const auto why = rules_->LeavesOut(entry, below_)) {
      FileLeftOut(path_, name_.c_str(), name_.size(), *why);
      continue;
    }
    FileFacts facts;
    facts.allocated = file.allocated;
    facts.modified = file.modified;
    facts.type = file.type;
    if (const ScanLink* link = file.linked ? doc.Link(j) : nullptr) {
      facts.device = link->device;
      facts.inode = link->inode;
      facts.links = static_cast<std::uint32_t>(std::min<std::uint64_t>(link->links, UINT32_MAX));
    }
    const bool measured = file.length >= 0;
    DoTheFileProcedure(path_, FileContext{nullptr, name_.c_str(), name_.size(),
                                          measured ? file.length : -kUnreadable, true,
                                          measured ? &facts : nullptr});
    if (application_ && ++filesSincePump_ == kFilesPerPump) {
      filesSincePump_ = 0;
      application_->ProcessMessages();
    }
  }
  if (unlisted) FolderUnreadable(path_, kUnreadable);
  stack_.push_back({i, doc.FirstChild(i), pathLength});
}

ScanOutcome ReplayScan(const TScanDocument& document, const UsageOptions& options,
                       TReportTree& tree, TMessagePump* application, TStatusLine* statusLine,
                       TUsageDirectory** running) {
  if (options.ClearReport) tree.Clear();
  UsageOptions replayed = options;
  replayed.Threads = 1;  // nothing to read ahead; and the folders may not be here
  TScanReplay replay;
  replay.SetState(application, &tree, statusLine, replayed);
  struct Publish {
    TUsageDirectory** slot;
    ~Publish() {
      if (slot) *slot = nullptr;
    }
  } publish{running};
  if (running) *running = &replay;
  replay.Replay(document, application);
  ScanOutcome outcome;
  outcome.stopped = StopRequested;
  if (outcome.stopped) replay.FinishOpenFolders();
  outcome.problems = replay.TakeProblems();
  outcome.leftOut = replay.LeftOutTally();
  outcome.unreadableStarts = replay.UnreadableStarts();
  if (replay.Document()) {
    outcome.document = replay.Document();
    outcome.document->Finish(outcome.problems, outcome.stopped);
  }
  if (statusLine) statusLine->ShowText(outcome.stopped ? kScanStoppedText : DoneText(outcome));
  return outcome;
}
