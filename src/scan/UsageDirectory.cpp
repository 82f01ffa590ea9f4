#include "scan/UsageDirectory.h"

#include <algorithm>

std::string FolderLabel(std::int64_t bytes, bool failed, const std::string& name) {
  // Kilobytes rounded to nearest, halves to the even neighbour.
  std::int64_t quotient = bytes / 1024;
  std::int64_t remainder = bytes % 1024;
  if (remainder < 0) {
    remainder += 1024;
    --quotient;
  }
  if (remainder > 512 || (remainder == 512 && (quotient & 1) != 0)) ++quotient;
  std::string field = std::to_string(quotient);
  if (field.size() < 7) field.insert(0, 7 - field.size(), '.');
  field += "K ";
  field += failed ? '*' : ' ';
  field += name;
  return field;
}

TUsageDirectory::~TUsageDirectory() {
  // Records still open after a stop or an error go with the walker.
  while (Current) {
    TUsage* next = Current->next;
    delete Current;
    Current = next;
  }
}

void TUsageDirectory::SetState(TMessagePump* application, bool recurse, TReportTree* tree,
                               TStatusLine* statusLine, std::int32_t maxDepth,
                               std::int32_t minSizeK, bool allowForSectorSize,
                               std::int32_t sectorBytes) {
  TMyDirectory::SetState(application, recurse);
  AddMask("*.*");
  Tree = tree;
  StatusLine = statusLine;
  MaxDepth = maxDepth;
  MinBytes = static_cast<std::int64_t>(minSizeK) * 1024;
  AllowForSectorSize = allowForSectorSize;
  SectorBytes = sectorBytes;
  Current = nullptr;
}

std::int64_t TUsageDirectory::MeasureFile(const std::string& fileName,
                                          const FileContext& where) const {
  // Only the file's status is read: the file is never opened or changed.
  std::int64_t length = (where.folder && where.name) ? where.folder->FileLength(where.name)
                                                     : FileLengthOfPath(fileName);
  if (length < 0) return -1;
  if (AllowForSectorSize) {
    // A sector size of 0 or less cannot round anything: a failure, never a
    // negative total.
    if (SectorBytes <= 0) return -1;
    length = static_cast<std::int64_t>(SectorBytes) * (length / SectorBytes + 1);
  }
  return length;
}

void TUsageDirectory::PreProcessDirectoryProcedure(const std::string& folder) {
  if (StopRequested) return;
  auto* record = new TUsage;
  record->next = Current;
  TTreeNode* parentNode = nullptr;
  std::string name;
  if (!Current) {
    name = folder;
    record->depth = 0;
  } else {
    name = folder.substr(std::min(Current->PathLength(), folder.size()));
    record->depth = Current->depth + 1;
    parentNode = Current->node;
  }
  record->pathLength = folder.size();
  record->pathEndsWithSeparator = !folder.empty() && folder.back() == '/';
  // On the stack before the node is made, so an error leaks nothing.
  Current = record;
  ++foldersSeen_;
  const bool parentHasNode = !record->next || parentNode;
  if ((MaxDepth <= 0 || record->depth <= MaxDepth) && parentHasNode && Tree) {
    record->node = Tree->AddChild(parentNode, name);
  }
}

void TUsageDirectory::TheDirectoryProcedure(const std::string& folder) {
  if (StopRequested) return;
  Current->pathLength = folder.size();
  Current->pathEndsWithSeparator = !folder.empty() && folder.back() == '/';
  if (StatusLine) StatusLine->ShowText(folder + "...");
}

void TUsageDirectory::TheFileProcedure(const std::string& fileName, const FileContext& where) {
  if (StopRequested) return;
  ++filesSeen_;
  const std::int64_t size = MeasureFile(fileName, where);
  Current->size += size;
  if (size < 0) Current->failed = true;
}

void TUsageDirectory::FolderUnreadable(const std::string&, int) {
  if (StopRequested || !Current) return;
  Current->failed = true;
}

void TUsageDirectory::PostProcessDirectoryProcedure(const std::string&) {
  if (StopRequested) return;
  TUsage* record = Current;
  if (!record) return;
  if (record->size < MinBytes) {
    if (record->node) Tree->Delete(record->node);
    record->node = nullptr;
  } else if (record->node) {
    Tree->SetLabel(record->node, FolderLabel(record->size, record->failed, record->node->Label()));
  }
  Current = record->next;
  if (Current) {
    Current->size += record->size;
    if (record->failed) Current->failed = true;
  }
  delete record;
}

void RunUsageScan(const UsageOptions& options, TReportTree& tree, TMessagePump* application,
                  TStatusLine* statusLine, TUsageDirectory** running) {
  if (options.ClearReport) tree.Clear();
  TUsageDirectory walker;
  walker.SetState(application, true, &tree, statusLine, options.MaxDepth, options.MinSizeK,
                  options.AllowForSectorSize, options.SectorBytes);
  for (const std::string& folder : options.Folders) walker.AddPath(folder);
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
