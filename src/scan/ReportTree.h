#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/LabelCollation.h"

class TReportTree;

// One folder line of the report. Nodes belong to their tree; a scan only
// keeps pointers to the nodes it made.
class TTreeNode {
 public:
  const std::string& Label() const { return label_; }
  TTreeNode* Parent() const { return parent_; }
  int Level() const { return level_; }
  bool Expanded() const { return expanded_; }
  std::size_t ChildCount() const { return children_.size(); }
  TTreeNode* Child(std::size_t i) const { return children_[i].get(); }
  // Position among its siblings (top-level nodes count among themselves).
  std::size_t Row() const { return row_; }

  // The folder's numbers: set exactly by a scan, or read from a finished
  // label ("....121K *Docs": 121 x 1024 bytes, marked). A label without a
  // size field (a bare name, a hand-edited text) gives no size.
  bool HasSize() const { return hasSize_; }
  std::int64_t Bytes() const { return bytes_; }  // 0 when it has no size
  bool Failed() const { return failed_; }        // something below could not be measured
  // The mark comes from the folder itself: a file in it or a folder below it
  // without a line of its own could not be measured. The marks of the lines
  // below add to it. Unknown for a label read from text: taken as Failed().
  bool FailedHere() const { return failedHere_; }
  // The files in the folder and below it, as the scan that made the line
  // counted them; unknown (-1) for a line read from text or edited.
  bool HasFiles() const { return files_ >= 0; }
  std::int64_t Files() const { return files_; }
  // The newest modification time of a file in the folder or below it
  // (seconds since 1970), as the scan that made the line found it; unknown
  // for a line read from text, a folder without files, or after a change
  // below took away what was the newest.
  static constexpr std::int64_t kNoNewest = INT64_MIN;
  bool HasNewest() const { return newest_ != kNoNewest; }
  std::int64_t Newest() const { return newest_; }
  // Stop ended the scan while the folder was being read: its numbers are
  // what was measured until then, a lower bound, and its label is marked.
  // Known only to the scan that made it: its text form cannot tell.
  bool Incomplete() const { return incomplete_; }
  // The folder's name: the label after its size field and mark.
  std::string Name() const { return hasSize_ ? label_.substr(nameOffset_) : label_; }

 private:
  friend class TReportTree;
  std::string label_;
  TTreeNode* parent_ = nullptr;
  std::vector<std::unique_ptr<TTreeNode>> children_;
  std::int64_t bytes_ = 0;
  std::int64_t files_ = -1;
  std::int64_t newest_ = kNoNewest;
  // 32 bits each, so the numbers fit in the room the row and level had:
  // the tree holds at most INT_MAX nodes.
  std::uint32_t row_ = 0;
  std::int32_t level_ = 0;
  std::uint32_t nameOffset_ = 0;  // where the name starts in a sized label
  bool expanded_ = false;
  bool hasSize_ = false;
  bool failed_ = false;
  bool failedHere_ = false;
  bool incomplete_ = false;
};

// Told of every change, so a view can follow the tree without copying it.
// The calls bracket each change the way Qt's item models expect. A label's
// numbers change only with the label, so LabelChanged covers both.
class TTreeObserver {
 public:
  virtual ~TTreeObserver() = default;
  virtual void NodesAboutToBeInserted(TTreeNode* parent, std::size_t row) = 0;
  virtual void NodesInserted() = 0;
  virtual void NodesAboutToBeRemoved(TTreeNode* parent, std::size_t row) = 0;
  virtual void NodesRemoved() = 0;
  // The node moves among its siblings to stand before `beforeRow` (old rows).
  virtual void NodeAboutToMove(TTreeNode* parent, std::size_t from, std::size_t beforeRow) = 0;
  virtual void NodeMoved() = 0;
  virtual void LabelChanged(TTreeNode* node) = 0;
  virtual void ExpandedChanged(TTreeNode* node) = 0;
  // Sorting reorders siblings everywhere at once; rows change, nodes stay.
  virtual void AboutToReorder() = 0;
  virtual void Reordered() = 0;
  // Clearing and loading replace everything.
  virtual void AboutToReset() = 0;
  virtual void Reset() = 0;
};

// The report: an ordered forest of labelled nodes, unsorted or (after the
// Sort command, for the rest of the run) kept sorted by label.
class TReportTree {
 public:
  TReportTree();
  ~TReportTree();
  TReportTree(const TReportTree&) = delete;
  TReportTree& operator=(const TReportTree&) = delete;

  // Observers are told of each change in the order they were added. One
  // may be removed at any time, during a notification too; one added
  // during a notification is told from the next change on.
  void AddObserver(TTreeObserver* observer);
  void RemoveObserver(TTreeObserver* observer);
  // Makes `observer` the only one (none when null).
  void SetObserver(TTreeObserver* observer);

  void Clear();
  // A new last child of parent (a top-level node when parent is null); in
  // sorted mode it is sorted in among its siblings instead.
  TTreeNode* AddChild(TTreeNode* parent, const std::string& label);
  // A new label; its numbers are read from it, except that a size field
  // still showing the node's exact bytes (a name edited in place) keeps them.
  void SetLabel(TTreeNode* node, const std::string& label);
  // A scanned folder's result: the exact numbers, and the finished label
  // made from them and the node's label as the name.
  void SetResult(TTreeNode* node, std::int64_t bytes, bool failed);
  void SetResult(TTreeNode* node, std::int64_t bytes, bool failed, bool failedHere);
  // The same with the count of files (SetFiles), told as one change.
  void SetResult(TTreeNode* node, std::int64_t bytes, bool failed, bool failedHere,
                 std::int64_t files);
  // What a stopped scan had measured of a folder it was still reading: the
  // numbers so far, marked as a lower bound, and the node Incomplete().
  void SetPartialResult(TTreeNode* node, std::int64_t bytes, std::int64_t files);
  // Whether some line holds only a stopped scan's numbers.
  bool HasIncomplete() const;
  // The scan's count of files in the folder and below; -1: unknown.
  void SetFiles(TTreeNode* node, std::int64_t files);
  // The newest file below, told with the numbers that follow (SetResult).
  void SetNewest(TTreeNode* node, std::int64_t newest) { node->newest_ = newest; }
  void Delete(TTreeNode* node);

  // A rescan of `node`'s folder: its lines below and its numbers (its file
  // count too) become those of `scan`'s only top-level node, expanded lines
  // the folder still has stay expanded, and every ancestor's numbers and
  // label are corrected. An empty `scan` (the folder fell below the size
  // limit) removes the node, as DeleteAndCorrect does. Ancestors whose
  // corrected size falls below `minimumBytes` lose their line, as a full
  // scan with that size limit would leave them out. Raises "Unable to
  // insert an item" with the tree unchanged when it would exceed the capacity.
  void ReplaceSubtree(TTreeNode* node, TReportTree& scan, std::int64_t minimumBytes = 0);
  // Removes a node whose folder is gone and corrects its ancestors.
  void DeleteAndCorrect(TTreeNode* node, std::int64_t minimumBytes = 0);

  // The full path of the node's folder: its top-level name, which must be an
  // absolute path, joined with the names below it; empty when the labels
  // cannot make one (a report from another system, a label edited to
  // something that is no name).
  static std::string PathOf(const TTreeNode* node);
  // How a folder's name shows in its line: a leading blank or TAB, a line
  // break and a lone Ctrl-Z as "?", each in its place, so that the text
  // form reads back as the same lines.
  static std::string LabelName(std::string_view name);

  // The deepest line whose folder is `path` or holds it (PathOf); null when
  // no line does.
  TTreeNode* LineOf(const std::string& path) const;

  std::size_t Count() const { return count_; }
  std::size_t TopLevelCount() const { return roots_.size(); }
  TTreeNode* TopLevel(std::size_t i) const { return roots_[i].get(); }
  // The node at a position in tree order (pre-order from the first
  // top-level node); raises "Invalid index" outside 0..Count()-1.
  TTreeNode* NodeAt(std::int64_t index) const;
  // The node after `node` in tree order within its top-level node's
  // subtree, or null at the end of that subtree.
  static TTreeNode* NextInTreeOrder(const TTreeNode* node);
  TTreeNode* First() const { return roots_.empty() ? nullptr : roots_.front().get(); }

  TTreeNode* Selected() const { return selected_; }
  void SetSelected(TTreeNode* node) { selected_ = node; }
  void Expand(TTreeNode* node);
  void Collapse(TTreeNode* node);
  // Records the expanded state a view set by itself (no notification).
  void NoteExpanded(TTreeNode* node, bool expanded) { node->expanded_ = expanded; }

  // The Sort command: the first call sorts every set of siblings by label and
  // keeps them sorted from then on; later calls change nothing.
  void SortByLabel();
  bool Sorted() const { return sorted_; }

  // The text form: a line per node in tree order, a TAB per level, CR LF.
  // Raises "Cannot create file %s"; a failed write leaves the old file whole.
  void Save(const std::string& fileName) const;
  std::string TextForm() const;
  // Replaces the tree by a text form file. Raises "Cannot open file %s"
  // (tree unchanged) or "Invalid item level assignment" (lines read so far stay).
  void Load(const std::string& fileName);
  void LoadText(const std::string& text);

  // Most nodes the tree takes before "Unable to insert an item".
  void SetCapacity(std::size_t capacity) { capacity_ = capacity; }

 private:
  std::vector<std::unique_ptr<TTreeNode>>& SiblingsOf(TTreeNode* parent);
  static std::size_t SortedPosition(const std::vector<std::unique_ptr<TTreeNode>>& siblings,
                                    const TTreeNode& node, std::size_t lo, std::size_t hi);
  static LabelKey KeyOf(const TTreeNode& node);
  static void TakeNumbersFromLabel(TTreeNode& node);
  void Relabelled(TTreeNode* node);
  template <class Call>
  void Notify(Call&& call);
  static void Renumber(std::vector<std::unique_ptr<TTreeNode>>& siblings, std::size_t from);
  void DestroySubtree(std::unique_ptr<TTreeNode> node);
  // The node after `node` in tree order below `top`, or null at its end.
  static TTreeNode* NextBelow(const TTreeNode* top, const TTreeNode* node);
  // The numbers and label of `from` and every node above it after a line
  // below `from` went from `oldBytes` to `newBytes` (0 when removed) and
  // from `oldFiles` to `newFiles` files (-1: unknown, which makes every
  // count above unknown); then the highest of them below `minimumBytes` goes.
  // The newest file below each ancestor follows from `oldNewest` and
  // `newNewest` the same way; one that came from the changed line and is
  // gone from it becomes unknown.
  void CorrectAncestors(TTreeNode* from, std::int64_t oldBytes, std::int64_t newBytes,
                        std::int64_t oldFiles, std::int64_t newFiles, std::int64_t oldNewest,
                        std::int64_t newNewest, std::int64_t minimumBytes);
  // Sets numbers on a node that already has its name.
  void SetNumbers(TTreeNode* node, std::int64_t bytes, bool failed, bool failedHere);

  std::vector<std::unique_ptr<TTreeNode>> roots_;
  std::size_t count_ = 0;
  std::size_t capacity_;
  TTreeNode* selected_ = nullptr;
  std::vector<TTreeObserver*> observers_;  // a removed one is null until pruned
  int notifying_ = 0;                      // nesting depth of notifications
  bool muted_ = false;                     // a load announces one reset instead
  bool sorted_ = false;
};
