#include "scan/UsageDirectory.h"

#include <algorithm>

void TUsageDirectory::SetState(TMessagePump* application, TReportTree* tree,
                               TStatusLine* statusLine, const UsageOptions& options) {
  TMyDirectory::SetState(application, true);
  AddMask("*.*");
  for (const std::string& folder : options.Folders) AddPath(folder);
  Tree = tree;
  StatusLine = statusLine;
  Options = options;
  Workers = options.Threads > 0 ? static_cast<std::size_t>(options.Threads)
                                : AutomaticWorkers(options.Folders);
  MeasureAhead = true;
  open_.clear();
}

std::int64_t TUsageDirectory::MeasureFile(const std::string& fileName,
                                          const FileContext& where) const {
  // Only the file's status is read: the file is never opened or changed.
  std::int64_t length = where.measured                 ? where.length
                        : (where.folder && where.name) ? where.folder->FileLength(where.name)
                                                       : FileLengthOfPath(fileName);
  if (length < 0) return -1;
  if (Options.AllowForSectorSize) {
    // A sector size of 0 or less cannot round anything: a failure, never a
    // negative total.
    const std::int64_t sector = Options.SectorBytes;
    if (sector <= 0) return -1;
    length = sector * (length / sector + 1);
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
  ++foldersSeen_;
  if ((Options.MaxDepth <= 0 || record.depth <= Options.MaxDepth) && parentHasNode && Tree) {
    open_.back().node = Tree->AddChild(parentNode, name);
  }
}

void TUsageDirectory::TheDirectoryProcedure(const std::string& folder) {
  if (StopRequested) return;
  open_.back().pathLength = folder.size();
  open_.back().pathEndsWithSeparator = !folder.empty() && folder.back() == '/';
  if (StatusLine) StatusLine->ShowText(folder + "...");
}

void TUsageDirectory::TheFileProcedure(const std::string& fileName, const FileContext& where) {
  if (StopRequested) return;
  ++filesSeen_;
  const std::int64_t size = MeasureFile(fileName, where);
  TUsage& current = open_.back();
  current.size += size;
  if (size < 0) current.failed = true;
}

void TUsageDirectory::FolderUnreadable(const std::string&, int) {
  if (StopRequested || open_.empty()) return;
  open_.back().failed = true;
}

void TUsageDirectory::PostProcessDirectoryProcedure(const std::string&) {
  if (StopRequested || open_.empty()) return;
  const TUsage record = open_.back();
  open_.pop_back();
  if (record.size < static_cast<std::int64_t>(Options.MinSizeK) * 1024) {
    if (record.node) Tree->Delete(record.node);
  } else if (record.node) {
    Tree->SetResult(record.node, record.size, record.failed);
  }
  if (!open_.empty()) {
    open_.back().size += record.size;
    if (record.failed) open_.back().failed = true;
  }
}

void RunUsageScan(const UsageOptions& options, TReportTree& tree, TMessagePump* application,
                  TStatusLine* statusLine, TUsageDirectory** running) {
  if (options.ClearReport) tree.Clear();
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
  if (statusLine) statusLine->ShowText("All Done");
}
