#include "scan/UsageDirectory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "scan/HostName.h"
#include "scan/ScanDocument.h"

namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();

// Adds a non-negative count of bytes to a total. Sparse files can claim
// lengths near 2^63, so a sum may not fit: it stops at the largest count and
// the folder is marked, since its total is then only a lower bound.
void AddBytes(TUsage& to, std::int64_t bytes) {
  if (__builtin_add_overflow(to.size, bytes, &to.size)) {
    to.size = kMaxBytes;
    to.failed = true;
    to.failedHere = true;
  }
}

}  // namespace

void TUsageDirectory::SetState(TMessagePump* application, TReportTree* tree,
                               TStatusLine* statusLine, const UsageOptions& options) {
  TMyDirectory::SetState(application, true);
  AddMask("*.*");
  for (const std::string& folder : options.Folders) AddPath(folder);
  Tree = tree;
  StatusLine = statusLine;
  Options = options;
  const std::size_t threads = options.Threads > 0 ? static_cast<std::size_t>(options.Threads)
                                                  : AutomaticWorkers(options.Folders);
  // One thread is the walk on the calling thread alone: a single worker
  // beside it would only add hand-overs.
  Workers = threads > 1 ? threads : 0;
  AdaptWorkers = options.Threads <= 0;
  MeasureAhead = true;
  OneFileSystem = options.OneFileSystem;
  Exclude = options.Exclude;
  ExcludeBelow = options.StartBelow;
  CountHidden = options.CountHidden || options.CountLikeDu;
  AllKinds = options.CountLikeDu;
  // A kept document keeps each folder's own status too, for a scan file.
  MeasureFolders = options.CountLikeDu || options.Record == ScanRecord::Files;
  exclusions_ = TExclusions(options.Exclude, options.StartBelow);
  open_.clear();
  linkedFiles_.clear();
  leftOut_ = {};
  unreadableStarts_ = 0;
  document_.reset();
  if (options.Record != ScanRecord::None) {
    document_ = std::make_shared<TScanDocument>();
    document_->Begin(options, HostName());
  }
}

std::int64_t TUsageDirectory::MeasureFile(const std::string& fileName, const FileContext& where,
                                          FileFacts* facts, std::int64_t* listed) const {
  // Only the file's status is read: the file is never opened or changed.
  FileFacts own;
  FileFacts& status = facts ? *facts : own;
  std::int64_t ownLength = -1;
  std::int64_t& length = listed ? *listed : ownLength;
  if (where.measured) {
    length = where.length;
    if (where.facts) status = *where.facts;
  } else if (where.folder && where.name) {
    length = AllKinds ? where.folder->EntryLength(where.name, &status)
                      : where.folder->FileLength(where.name, &status);
  } else {
    length = FileLengthOfPath(fileName, &status);
  }
  if (length < 0) {
    if (where.measured) errno = static_cast<int>(-length);
    length = -1;
    return -1;
  }
  if (Options.CountAllocated || Options.CountLikeDu) return status.allocated;
  if (Options.AllowForSectorSize) {
    // A sector size of 0 or less cannot round anything: a failure, never a
    // negative total.
    const std::int64_t sector = Options.SectorBytes;
    if (sector <= 0) {
      errno = EINVAL;
      return -1;
    }
    const std::int64_t units = length / sector + 1;
    if (units > kMaxBytes / sector) return kMaxBytes;
    return sector * units;
  }
  return length;
}

void TUsageDirectory::PreProcessDirectoryProcedure(const std::string& folder) {
  if (StopRequested) return;
  TUsage record;
  TTreeNode* parentNode = nullptr;
  std::string name;
  if (open_.empty()) {
    name = folder;
    record.depth = Options.StartDepth;
  } else {
    const TUsage& parent = open_.back();
    name = folder.substr(std::min(parent.PathLength(), folder.size()));
    record.depth = parent.depth + 1;
    parentNode = parent.node;
  }
  record.pathLength = folder.size();
  record.pathEndsWithSeparator = !folder.empty() && folder.back() == '/';
  const bool parentHasNode = open_.empty() || parentNode;
  // On the stack before the node is made, so a failed insert leaves the
  // stack as the walk expects it.
  open_.push_back(record);
  if (document_) document_->OpenFolder(name.data(), name.size());
  ++foldersSeen_;
  // A starting folder always has its line, however deep it stands.
  const bool shown = open_.size() == 1 || Options.MaxDepth <= 0 || record.depth <= Options.MaxDepth;
  if (shown && parentHasNode && Tree) {
    open_.back().node = Tree->AddChild(parentNode, name);
  }
}

void TUsageDirectory::TheDirectoryProcedure(const std::string& folder) {
  if (StopRequested) return;
  open_.back().pathLength = folder.size();
  open_.back().pathEndsWithSeparator = !folder.empty() && folder.back() == '/';
  if (StatusLine) StatusLine->ShowText(folder + "...");
}

void TUsageDirectory::TheFileProcedure(const std::string& folder, const FileContext& where) {
  if (StopRequested) return;
  ++filesSeen_;
  FileFacts facts;
  std::int64_t length = -1;
  // The path is built only for a file known by nothing else.
  const bool byPath = !where.measured && !where.folder;
  std::int64_t size =
      MeasureFile(byPath ? where.PathIn(folder) : std::string(), where, &facts, &length);
  const int error = size < 0 ? errno : 0;  // before the record below can touch it
  // Decided here, in walk order, so the first name reached is the one that
  // counts for any number of workers.
  if (size > 0 && (Options.HardLinksOnce || Options.CountLikeDu) && facts.links > 1 &&
      !linkedFiles_.insert(FolderId{facts.device, facts.inode}).second) {
    size = 0;
  }
  TUsage& current = open_.back();
  ++current.files;
  if (document_) document_->AddFile(where.name, where.nameLength, length, size, facts);
  // A file that cannot be measured adds nothing: the folder keeps its node
  // and is marked, rather than losing a byte per such file.
  if (size < 0) {
    current.failed = true;
    current.failedHere = true;
    problems_.push_back({where.PathIn(folder), std::strerror(error)});
  } else {
    AddBytes(current, size);
    bytesSeen_ += static_cast<std::uint64_t>(size);
    current.newest = std::max(current.newest, facts.modified);
  }
}

void TUsageDirectory::FolderUnreadable(const std::string& folder, int error) {
  if (StopRequested || open_.empty()) return;
  open_.back().failed = true;
  open_.back().failedHere = true;
  problems_.push_back({folder, std::strerror(error)});
  if (document_) document_->MarkUnlisted();
}

void TUsageDirectory::FolderLeftOut(const std::string& folder, const char* name,
                                    std::size_t nameLength, LeftOutReason why) {
  if (StopRequested || open_.empty()) return;
  if (document_) document_->AddLeftOut(name, nameLength, why);
  Told(folder, name, nameLength, why);
  // Where another disk begins stays in sight, as a line without a size.
  const TUsage& parent = open_.back();
  if (why == LeftOutReason::OtherFileSystem && Tree && parent.node &&
      (Options.MaxDepth <= 0 || parent.depth + 1 <= Options.MaxDepth)) {
    Tree->AddChild(parent.node, std::string(name, nameLength));
  }
}

void TUsageDirectory::FileLeftOut(const std::string& folder, const char* name,
                                  std::size_t nameLength, LeftOutReason why) {
  if (StopRequested || open_.empty()) return;
  if (document_) document_->AddLeftOutFile(name, nameLength, why);
  Told(folder, name, nameLength, why);
}

void TUsageDirectory::Told(const std::string& folder, const char* name, std::size_t nameLength,
                           LeftOutReason why) {
  ++leftOut_[static_cast<std::size_t>(why)];
  std::string path = JoinPath(folder, std::string(name, nameLength));
  std::string reason = "Left out: ";
  switch (why) {
    case LeftOutReason::Hidden:
      reason += "hidden";
      break;
    case LeftOutReason::Excluded: {
      // The pattern's paths count from the starting folder.
      const std::size_t start = open_.front().PathLength();
      const std::string below =
          path.size() > start ? path.substr(start) : std::string(name, nameLength);
      const std::string* pattern = exclusions_.Excluding(name, nameLength, below);
      reason += pattern ? "excluded by " + *pattern : "excluded";
      break;
    }
    case LeftOutReason::OtherFileSystem:
      reason += "another file system";
      break;
    case LeftOutReason::PseudoFileSystem:
      reason += "a pseudo file system";
      break;
  }
  problems_.push_back({std::move(path), std::move(reason), true});
}

void TUsageDirectory::FolderMeasured(const std::string&, const FileFacts& facts) {
  if (StopRequested || open_.empty()) return;
  if (document_) document_->SetFolderFacts(facts);
  if (!Options.CountLikeDu) return;
  AddBytes(open_.back(), facts.allocated);
  bytesSeen_ += static_cast<std::uint64_t>(facts.allocated);
  if (document_) document_->AddFolderOwn(facts.allocated, facts.allocated);
}

void TUsageDirectory::StartingFolderUnreadable(const std::string& folder, int error) {
  if (StopRequested || open_.empty()) return;
  ++unreadableStarts_;
  FolderUnreadable(folder, error);
}

void TUsageDirectory::PostProcessDirectoryProcedure(const std::string&) {
  if (StopRequested || open_.empty()) return;
  const TUsage record = open_.back();
  open_.pop_back();
  bool kept = false;
  if (record.size < static_cast<std::int64_t>(Options.MinSizeK) * 1024) {
    if (record.node) Tree->Delete(record.node);
  } else if (record.node) {
    Tree->SetNewest(record.node, record.newest);
    Tree->SetResult(record.node, record.size, record.failed, record.failedHere, record.files);
    kept = true;
  }
  if (document_) document_->CloseFolder(record.size, record.failed, record.failedHere);
  if (!open_.empty()) {
    AddBytes(open_.back(), record.size);
    open_.back().files += record.files;
    open_.back().newest = std::max(open_.back().newest, record.newest);
    if (record.failed) {
      open_.back().failed = true;
      // A folder without a line of its own passes its mark on as the parent's.
      if (!kept) open_.back().failedHere = true;
    }
  }
}

void TUsageDirectory::FinishOpenFolders() {
  while (!open_.empty()) {
    const TUsage record = open_.back();
    open_.pop_back();
    if (record.node && Tree) {
      Tree->SetNewest(record.node, record.newest);
      Tree->SetPartialResult(record.node, record.size, record.files);
    }
    if (!open_.empty()) {
      AddBytes(open_.back(), record.size);
      open_.back().files += record.files;
      open_.back().newest = std::max(open_.back().newest, record.newest);
    }
  }
}

const char* const kScanStoppedText = "Stopped: the report is incomplete";

const char* const kRescanStoppedText = "Stopped: the report is unchanged";

namespace {
// Walks `options` into `tree`, with `running` pointing at the walker meanwhile.
ScanOutcome Walk(const UsageOptions& options, TReportTree& tree, TMessagePump* application,
                 TStatusLine* statusLine, TUsageDirectory** running) {
  TUsageDirectory walker;
  walker.SetState(application, &tree, statusLine, options);
  struct Publish {
    TUsageDirectory** slot;
    ~Publish() {
      if (slot) *slot = nullptr;
    }
  } publish{running};
  if (running) *running = &walker;
  walker.DoProcedureToAllMatchingFiles();
  ScanOutcome outcome;
  // A scan cut short must not read as the real result.
  outcome.stopped = StopRequested;
  if (outcome.stopped) walker.FinishOpenFolders();
  outcome.problems = walker.TakeProblems();
  outcome.leftOut = walker.LeftOutTally();
  outcome.unreadableStarts = walker.UnreadableStarts();
  if (walker.Document()) {
    outcome.document = walker.Document();
    outcome.document->Finish(outcome.problems, outcome.stopped);
  }
  return outcome;
}
}  // namespace

ScanOutcome RescanUsageFolder(TTreeNode* node, const UsageOptions& options, TReportTree& tree,
                              TMessagePump* application, TStatusLine* statusLine,
                              TUsageDirectory** running, const std::string& folder,
                              const std::string& startBelow) {
  UsageOptions again = options;
  again.Folders = {folder.empty() ? TReportTree::PathOf(node) : folder};
  again.ClearReport = false;
  again.StartDepth = node->Level();
  // Exclusion paths count from the top-level folder, as in the full scan.
  again.StartBelow = startBelow;
  for (const TTreeNode* n = node; folder.empty() && n->Parent(); n = n->Parent()) {
    again.StartBelow = again.StartBelow.empty() ? n->Name() : n->Name() + '/' + again.StartBelow;
  }
  // Walked apart from the report, which keeps its old lines until the walk
  // has ended.
  TReportTree scan;
  ScanOutcome outcome = Walk(again, scan, application, statusLine, running);
  if (!outcome.stopped) {
    tree.ReplaceSubtree(node, scan, static_cast<std::int64_t>(options.MinSizeK) * 1024);
    // Its own lines are whole now; those of an earlier stopped scan may not be.
    outcome.reportIncomplete = tree.HasIncomplete();
  }
  if (statusLine) statusLine->ShowText(outcome.stopped ? kRescanStoppedText : DoneText(outcome));
  return outcome;
}

ScanOutcome RunUsageScan(const UsageOptions& options, TReportTree& tree, TMessagePump* application,
                         TStatusLine* statusLine, TUsageDirectory** running) {
  if (options.ClearReport) tree.Clear();
  ScanOutcome outcome = Walk(options, tree, application, statusLine, running);
  // Added to a report that a stopped scan left incomplete, it is still so.
  if (!outcome.stopped && !options.ClearReport) outcome.reportIncomplete = tree.HasIncomplete();
  if (statusLine) statusLine->ShowText(outcome.stopped ? kScanStoppedText : DoneText(outcome));
  return outcome;
}

std::size_t ScanOutcome::ReadProblems() const {
  std::size_t count = 0;
  for (const ScanProblem& p : problems) count += p.leftOut ? 0 : 1;
  return count;
}

std::string LeftOutText(const ScanOutcome& outcome) {
  static const char* const kinds[][2] = {
      {"hidden item", "hidden items"},
      {"excluded item", "excluded items"},
      {"pseudo file system", "pseudo file systems"},
      {"folder on another file system", "folders on other file systems"},
  };
  std::size_t total = 0, kindsSeen = 0, kind = 0;
  for (std::size_t i = 0; i < outcome.leftOut.size(); ++i) {
    if (outcome.leftOut[i] == 0) continue;
    total += outcome.leftOut[i];
    ++kindsSeen;
    kind = i;
  }
  if (total == 0) return {};
  // Several reasons make one count: the status line must stay short, and
  // the Problems list tells each entry's reason.
  const std::string what =
      kindsSeen > 1 ? (total == 1 ? "item" : "items") : kinds[kind][total == 1 ? 0 : 1];
  return std::to_string(total) + ' ' + what + " not counted";
}

std::string DoneText(const ScanOutcome& outcome, bool pointToProblems) {
  std::string text = "All Done";
  if (outcome.unreadableStarts > 0) {
    text = "Done, but " + std::to_string(outcome.unreadableStarts) +
           (outcome.unreadableStarts == 1 ? " starting folder" : " starting folders") +
           " could not be read";
  }
  if (outcome.reportIncomplete) {
    text = outcome.unreadableStarts > 0 ? text + "; the report is still incomplete"
                                        : "Done, but the report is still incomplete";
  }
  std::string details;
  const std::size_t problems = outcome.ReadProblems();
  if (pointToProblems && problems > 0) {
    details = std::to_string(problems) + (problems == 1 ? " problem" : " problems");
  }
  const std::string leftOut = LeftOutText(outcome);
  if (!leftOut.empty()) details += (details.empty() ? "" : ", ") + leftOut;
  if (pointToProblems && !details.empty()) details += ": View > Problems...";
  return details.empty() ? text : text + " (" + details + ")";
}
