#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "scan/LabelCollation.h"
#include "scan/MyDirectory.h"
#include "scan/ReportTree.h"
#include "scan/UsageOptions.h"

// One folder being scanned: its running total, carried to its parent when
// it is finished. The walker keeps a stack of them that follows the walk.
class TUsage {
 public:
  std::int32_t depth = 0;  // levels below its starting folder
  std::int64_t size = 0;   // bytes of its files and, once finished, its sub-folders
  std::int64_t files = 0;  // its files and, once finished, those of its sub-folders
  // The newest modification time of a file measured in it or below.
  std::int64_t newest = TTreeNode::kNoNewest;
  bool failed = false;  // something in it or below could not be measured
  // Something in it, or below it where no line shows it, could not be measured.
  bool failedHere = false;
  // Length of the folder's full path. The path itself is the walker's current
  // path cut to this length: keeping a copy per level would cost memory in
  // the square of the depth.
  std::size_t pathLength = 0;
  bool pathEndsWithSeparator = false;
  TTreeNode* node = nullptr;  // its report line, if it has one

  // Length of the prefix JoinPath puts before a sub-folder's own name.
  std::size_t PathLength() const {
    return pathLength + ((pathLength > 0 && !pathEndsWithSeparator) ? 1 : 0);
  }
};

// A folder that could not be listed or a file that could not be measured,
// with the system's reason ("Permission denied").
// An entry the walk's rules left out goes in the same list, `leftOut` set
// and its reason saying why ("Left out: hidden").
struct ScanProblem {
  std::string path;
  std::string reason;
  bool leftOut = false;
};

// Entries left out by the walk's rules, by LeftOutReason.
using LeftOutCounts = std::array<std::size_t, 4>;

class TScanDocument;

// The walker that measures every file and builds the report tree.
class TUsageDirectory : public TMyDirectory {
 public:
  // Takes the scan's options (its folders become the walker's paths) and
  // the interface it reports to; any of the pointers may be null.
  void SetState(TMessagePump* application, TReportTree* tree, TStatusLine* statusLine,
                const UsageOptions& options);

  // The length counted for one file, or -1 when it cannot be measured;
  // `facts`, when given, receives what its status tells besides, and
  // `length` its length as listed (-1 when it cannot be measured).
  std::int64_t MeasureFile(const std::string& fileName, const FileContext& where = {},
                           FileFacts* facts = nullptr, std::int64_t* length = nullptr) const;

  TReportTree* Tree = nullptr;
  TStatusLine* StatusLine = nullptr;
  UsageOptions Options;

  // What could not be read, in walk order.
  const std::vector<ScanProblem>& Problems() const { return problems_; }
  std::vector<ScanProblem> TakeProblems() { return std::move(problems_); }

  // What the walk recorded, when Options.Record asked for it (else null).
  // SetState starts a new one.
  const std::shared_ptr<TScanDocument>& Document() const { return document_; }

  // What the rules left out, by reason; starting folders that could not be opened.
  const ::LeftOutCounts& LeftOutTally() const { return leftOut_; }
  std::size_t UnreadableStarts() const { return unreadableStarts_; }

  // After a stop, gives the folders still open what was measured in them so
  // far, innermost first, each carried into the one above as a finished
  // folder would be; their lines are marked incomplete. The size limit does
  // not take them away: their real size is not known.
  void FinishOpenFolders();

  // Figures for progress displays.
  std::uint64_t FoldersSeen() const { return foldersSeen_; }
  std::uint64_t FilesSeen() const { return filesSeen_; }
  // Bytes counted so far (a sum that may wrap on absurd sizes: only shown).
  std::uint64_t BytesSeen() const { return bytesSeen_; }

 protected:
  void TheFileProcedure(const std::string& folder, const FileContext& where) override;
  void TheDirectoryProcedure(const std::string& folder) override;
  void PreProcessDirectoryProcedure(const std::string& folder) override;
  void PostProcessDirectoryProcedure(const std::string& folder) override;
  void FolderUnreadable(const std::string& folder, int error) override;
  void FolderLeftOut(const std::string& folder, const char* name, std::size_t nameLength,
                     LeftOutReason why) override;
  void FileLeftOut(const std::string& folder, const char* name, std::size_t nameLength,
                   LeftOutReason why) override;
  void FolderMeasured(const std::string& folder, const FileFacts& facts) override;
  void StartingFolderUnreadable(const std::string& folder, int error) override;
  // A file with several names that counts as counted already, where each counts once.
  void CountedBefore(std::uint64_t device, std::uint64_t inode) {
    linkedFiles_.insert(FolderId{device, inode});
  }

 private:
  // Counts a left-out entry and lists it among the problems with its reason.
  void Told(const std::string& folder, const char* name, std::size_t nameLength, LeftOutReason why);

  struct FileIdHash {
    std::size_t operator()(const FolderId& id) const {
      return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
  };

  std::vector<TUsage> open_;  // the folders being walked, innermost last
  // Files with several names already counted, when each counts once.
  std::unordered_set<FolderId, FileIdHash> linkedFiles_;
  std::vector<ScanProblem> problems_;
  TExclusions exclusions_;  // to name the pattern that left an entry out
  ::LeftOutCounts leftOut_{};
  std::size_t unreadableStarts_ = 0;
  std::shared_ptr<TScanDocument> document_;
  std::uint64_t foldersSeen_ = 0;
  std::uint64_t filesSeen_ = 0;
  std::uint64_t bytesSeen_ = 0;
};

// How a scan ended.
struct ScanOutcome {
  bool stopped = false;  // ended by Stop: the report is incomplete
  // Not stopped, but lines of an earlier stopped scan stay in the report.
  bool reportIncomplete = false;
  std::vector<ScanProblem> problems;  // read errors and left-out entries, in walk order
  LeftOutCounts leftOut{};
  std::size_t unreadableStarts = 0;  // starting folders that could not be opened
  std::size_t ReadProblems() const;  // the problems that are no left-out entry
  // What the scan read, when its options asked for a record of it.
  std::shared_ptr<TScanDocument> document;
};

// "12 hidden items not counted", or "13 items not counted" for several
// reasons; empty when nothing was left out.
std::string LeftOutText(const ScanOutcome& outcome);
// How a scan that was not stopped ended: "All Done", or "Done, but 1
// starting folder could not be read", or "Done, but the report is still
// incomplete" (both joined by "; "), with what was left out after it in
// brackets; `pointToProblems` adds the count of read problems and where to
// see them.
std::string DoneText(const ScanOutcome& outcome, bool pointToProblems = false);

extern const char* const kScanStoppedText;    // "Stopped: the report is incomplete"
extern const char* const kRescanStoppedText;  // "Stopped: the report is unchanged"

// One whole scan into `tree`, as the report window and the command-line
// tool run it: clear the tree if asked, walk, then show "All Done", or
// kScanStoppedText when Stop ended it.
// `running` points at the walker while it runs (for Stop and progress).
ScanOutcome RunUsageScan(const UsageOptions& options, TReportTree& tree, TMessagePump* application,
                         TStatusLine* statusLine, TUsageDirectory** running = nullptr);

// Scans the folder of `node` again, with `options` but for their folders,
// Clear Report and start depth, and puts the result in its place
// (TReportTree::ReplaceSubtree). Stopped, the tree is left as it was and
// kRescanStoppedText is shown; the problems are those of the folder only.
// `folder` is the folder's path and `startBelow` its path below the
// starting folder, in the bytes the walk found (TDocumentLookup::FindNode);
// empty, both are made of the lines' names.
ScanOutcome RescanUsageFolder(TTreeNode* node, const UsageOptions& options, TReportTree& tree,
                              TMessagePump* application, TStatusLine* statusLine,
                              TUsageDirectory** running = nullptr, const std::string& folder = {},
                              const std::string& startBelow = {});
