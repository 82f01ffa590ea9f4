#include "scan/ReportTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "scan/Errors.h"
#include "scan/LabelCollation.h"
#include "scan/SafeFile.h"

namespace {
using Siblings = std::vector<std::unique_ptr<TTreeNode>>;

// A label is one line of the text form and must read back as itself: a line
// break in it (a file name may hold one) would split the node in two, a
// leading TAB or blank would be read as a deeper level (a folder left open by
// Stop has its bare name as label), and a lone Ctrl-Z is skipped as an old
// end-of-file mark. Such characters show as "?".
std::string OneLine(const std::string& label) {
  const std::size_t lead = std::min(label.find_first_not_of("\t "), label.size());
  if (lead == 0 && label != "\x1a" && label.find_first_of("\r\n") == std::string::npos) {
    return label;
  }
  std::string out = label;
  std::fill_n(out.begin(), lead, '?');
  if (out == "\x1a") out = "?";
  std::replace(out.begin(), out.end(), '\r', '?');
  std::replace(out.begin(), out.end(), '\n', '?');
  return out;
}

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();
}  // namespace

TReportTree::TReportTree() : capacity_(INT_MAX) {}

TReportTree::~TReportTree() {
  observers_.clear();
  for (auto& root : roots_) DestroySubtree(std::move(root));
}

template <class Call>
void TReportTree::Notify(Call&& call) {
  if (muted_) return;
  ++notifying_;
  const std::size_t n = observers_.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (TTreeObserver* observer = observers_[i]) call(*observer);
  }
  if (--notifying_ == 0) std::erase(observers_, nullptr);
}

void TReportTree::AddObserver(TTreeObserver* observer) {
  if (observer) observers_.push_back(observer);
}

void TReportTree::RemoveObserver(TTreeObserver* observer) {
  // Only emptied during a notification, so the loop in Notify stays valid.
  for (TTreeObserver*& o : observers_) {
    if (o == observer) o = nullptr;
  }
  if (notifying_ == 0) std::erase(observers_, nullptr);
}

void TReportTree::SetObserver(TTreeObserver* observer) {
  for (TTreeObserver*& o : observers_) o = nullptr;
  if (notifying_ == 0) observers_.clear();
  AddObserver(observer);
}

void TReportTree::TakeNumbersFromLabel(TTreeNode& node) {
  const LabelFields f = ParseLabel(node.label_);
  if (!f.sized) {
    node.hasSize_ = false;
    node.bytes_ = 0;
    node.files_ = -1;
    node.failed_ = false;
    node.failedHere_ = false;
    node.nameOffset_ = 0;
    return;
  }
  // A name edited in place leaves the size field as the scan wrote it: the
  // exact bytes stay.
  const bool same =
      node.hasSize_ && node.failed_ == f.failed && RoundedKilobytes(node.bytes_) == f.kilobytes;
  if (!same) {
    constexpr std::int64_t limit = kMaxBytes / 1024;
    node.bytes_ = f.kilobytes > limit    ? kMaxBytes
                  : f.kilobytes < -limit ? -kMaxBytes
                                         : f.kilobytes * 1024;
    // Where a mark read from text came from is not known: it is kept as
    // the folder's own, so a correction never drops it wrongly.
    node.failedHere_ = f.failed;
    // The count belongs to the numbers the scan set, which the text replaced.
    node.files_ = -1;
  }
  node.hasSize_ = true;
  node.failed_ = f.failed;
  node.nameOffset_ = static_cast<std::uint32_t>(f.nameOffset);
}

LabelKey TReportTree::KeyOf(const TTreeNode& node) {
  if (!node.hasSize_) return {false, 0, false, node.label_.c_str()};
  return {true, RoundedKilobytes(node.bytes_), node.failed_,
          node.label_.c_str() + node.nameOffset_};
}

Siblings& TReportTree::SiblingsOf(TTreeNode* parent) {
  return parent ? parent->children_ : roots_;
}

void TReportTree::Renumber(Siblings& siblings, std::size_t from) {
  for (std::size_t i = from; i < siblings.size(); ++i)
    siblings[i]->row_ = static_cast<std::uint32_t>(i);
}

// Deep trees must not be freed recursively: a chain of many thousands of
// folders would exhaust the stack.
void TReportTree::DestroySubtree(std::unique_ptr<TTreeNode> node) {
  std::vector<std::unique_ptr<TTreeNode>> pending;
  pending.push_back(std::move(node));
  while (!pending.empty()) {
    std::unique_ptr<TTreeNode> current = std::move(pending.back());
    pending.pop_back();
    for (auto& child : current->children_) pending.push_back(std::move(child));
    current->children_.clear();
    if (current.get() == selected_) selected_ = nullptr;
    --count_;
  }
}

std::size_t TReportTree::SortedPosition(const Siblings& siblings, const TTreeNode& node,
                                        std::size_t lo, std::size_t hi) {
  // After every equal label, so equal labels keep their order of arrival.
  const LabelKey key = KeyOf(node);
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (CompareLabelKeys(key, KeyOf(*siblings[mid])) < 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

void TReportTree::Clear() {
  Notify([](TTreeObserver& o) { o.AboutToReset(); });
  for (auto& root : roots_) DestroySubtree(std::move(root));
  roots_.clear();
  count_ = 0;
  selected_ = nullptr;
  Notify([](TTreeObserver& o) { o.Reset(); });
}

TTreeNode* TReportTree::AddChild(TTreeNode* parent, const std::string& label) {
  if (count_ >= capacity_) throw EVorntoolsError("Unable to insert an item");
  auto node = std::make_unique<TTreeNode>();
  node->label_ = OneLine(label);
  TakeNumbersFromLabel(*node);
  node->parent_ = parent;
  node->level_ = parent ? parent->level_ + 1 : 0;
  Siblings& siblings = SiblingsOf(parent);
  const std::size_t row =
      sorted_ ? SortedPosition(siblings, *node, 0, siblings.size()) : siblings.size();
  TTreeNode* raw = node.get();
  Notify([&](TTreeObserver& o) { o.NodesAboutToBeInserted(parent, row); });
  siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(row), std::move(node));
  Renumber(siblings, row);
  ++count_;
  Notify([](TTreeObserver& o) { o.NodesInserted(); });
  return raw;
}

void TReportTree::SetLabel(TTreeNode* node, const std::string& text) {
  node->label_ = OneLine(text);
  TakeNumbersFromLabel(*node);
  Relabelled(node);
}

void TReportTree::SetResult(TTreeNode* node, std::int64_t bytes, bool failed) {
  SetResult(node, bytes, failed, failed);
}

void TReportTree::SetResult(TTreeNode* node, std::int64_t bytes, bool failed, bool failedHere) {
  SetResult(node, bytes, failed, failedHere, node->files_);
}

void TReportTree::SetResult(TTreeNode* node, std::int64_t bytes, bool failed, bool failedHere,
                            std::int64_t files) {
  node->files_ = files < 0 ? -1 : files;
  const std::size_t nameLength = node->label_.size();
  node->label_ = OneLine(FolderLabel(bytes, failed, node->label_));
  node->bytes_ = bytes;
  node->failed_ = failed;
  node->failedHere_ = failedHere;
  node->hasSize_ = true;
  node->nameOffset_ = static_cast<std::uint32_t>(node->label_.size() - nameLength);
  Relabelled(node);
}

void TReportTree::SetPartialResult(TTreeNode* node, std::int64_t bytes, std::int64_t files) {
  node->incomplete_ = true;
  // The mark is all the text form can keep of it: the size is only a lower bound.
  SetResult(node, bytes, true, true, files);
}

TTreeNode* TReportTree::LineOf(const std::string& path) const {
  const auto holds = [&path](const std::string& folder) {
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
  };
  TTreeNode* best = nullptr;
  std::size_t bestLength = 0;
  for (const auto& root : roots_) {
    std::string line = PathOf(root.get());
    if (!holds(line)) continue;
    // One way down: at most one line below holds it, the one named for it.
    for (TTreeNode* node = root.get(); node;) {
      // Of several starting folders that hold it, the nearest one's line.
      if (!best || line.size() > bestLength) {
        best = node;
        bestLength = line.size();
      }
      TTreeNode* inner = nullptr;
      for (const auto& child : node->children_) {
        std::string below = PathOf(child.get());
        if (holds(below)) {
          inner = child.get();
          line = std::move(below);
          break;
        }
      }
      node = inner;
    }
  }
  return best;
}

bool TReportTree::HasIncomplete() const {
  for (const auto& root : roots_) {
    for (const TTreeNode* n = root.get(); n; n = NextInTreeOrder(n)) {
      if (n->incomplete_) return true;
    }
  }
  return false;
}

void TReportTree::SetFiles(TTreeNode* node, std::int64_t files) {
  node->files_ = files < 0 ? -1 : files;
  // The label is the same; the views still show the count beside it.
  Notify([node](TTreeObserver& o) { o.LabelChanged(node); });
}

void TReportTree::SetNumbers(TTreeNode* node, std::int64_t bytes, bool failed, bool failedHere) {
  const std::string name = node->Name();
  node->label_ = OneLine(FolderLabel(bytes, failed, name));
  node->bytes_ = bytes;
  node->failed_ = failed;
  node->failedHere_ = failedHere;
  node->hasSize_ = true;
  node->nameOffset_ = static_cast<std::uint32_t>(node->label_.size() - name.size());
  Relabelled(node);
}

void TReportTree::CorrectAncestors(TTreeNode* from, std::int64_t oldBytes, std::int64_t newBytes,
                                   std::int64_t oldFiles, std::int64_t newFiles,
                                   std::int64_t oldNewest, std::int64_t newNewest,
                                   std::int64_t minimumBytes) {
  // Counts are exact, so the change is the same at every level.
  const bool filesKnown = oldFiles >= 0 && newFiles >= 0;
  const std::int64_t filesChange = filesKnown ? newFiles - oldFiles : 0;
  // Each ancestor keeps the bytes of its own files (and of folders below it
  // without a line): its total less what the changed line below gave it.
  using Wide = __int128;
  Wide oldShare = oldBytes;
  Wide newShare = newBytes;
  TTreeNode* tooSmall = nullptr;  // the highest ancestor below the size limit
  for (TTreeNode* node = from; node; node = node->parent_) {
    if (!node->hasSize_) continue;  // a line left unfinished: the change passes through it
    Wide total = Wide(node->bytes_) - oldShare + newShare;
    bool here = node->failedHere_;
    if (total > kMaxBytes) {
      total = kMaxBytes;  // as a scan's total stops, marked as only a lower bound
      here = true;
    }
    if (total < 0) total = 0;
    bool failed = here;
    for (const auto& child : node->children_) failed = failed || child->failed_;
    oldShare = node->bytes_;
    newShare = total;
    if (node->files_ >= 0)
      node->files_ = filesKnown ? std::max<std::int64_t>(node->files_ + filesChange, 0) : -1;
    if (newNewest > node->newest_) {
      node->newest_ = newNewest;
    } else if (node->newest_ != TTreeNode::kNoNewest && node->newest_ == oldNewest &&
               newNewest < oldNewest) {
      // Its own files may or may not hold something as new: unknown, never wrong.
      node->newest_ = TTreeNode::kNoNewest;
    }
    SetNumbers(node, static_cast<std::int64_t>(total), failed, here);
    if (minimumBytes > 0 && total < minimumBytes) tooSmall = node;
  }
  if (!tooSmall) return;
  // Its bytes and mark stay in its parent, as a folder without a line of its own.
  if (tooSmall->parent_ && tooSmall->failed_) tooSmall->parent_->failedHere_ = true;
  Delete(tooSmall);
}

void TReportTree::DeleteAndCorrect(TTreeNode* node, std::int64_t minimumBytes) {
  TTreeNode* const parent = node->parent_;
  const std::int64_t bytes = node->hasSize_ ? node->bytes_ : 0;
  const std::int64_t files = node->files_;
  const std::int64_t newest = node->newest_;
  Delete(node);
  if (parent) {
    CorrectAncestors(parent, bytes, 0, files, 0, newest, TTreeNode::kNoNewest, minimumBytes);
  }
}

void TReportTree::ReplaceSubtree(TTreeNode* node, TReportTree& scan, std::int64_t minimumBytes) {
  if (scan.roots_.empty()) {
    DeleteAndCorrect(node, minimumBytes);
    return;
  }
  TTreeNode* const fresh = scan.roots_.front().get();
  std::size_t going = 0;
  for (const TTreeNode* n = node; (n = NextBelow(node, n));) ++going;
  const std::size_t coming = scan.count_ - 1;
  if (count_ - going + coming > capacity_) throw EVorntoolsError("Unable to insert an item");
  if (sorted_) scan.SortByLabel();

  // The expanded lines below the node, by their path under it, and the
  // paths leading to them.
  auto relative = [node](const TTreeNode* n) {
    std::string path = n->Name();
    for (const TTreeNode* p = n->parent_; p != node; p = p->parent_) path = p->Name() + '/' + path;
    return path;
  };
  std::unordered_set<std::string> expanded;
  std::unordered_set<std::string> onTheWay;
  for (const TTreeNode* n = node; (n = NextBelow(node, n));) {
    if (!n->expanded_) continue;
    expanded.insert(relative(n));
    for (const TTreeNode* p = n->parent_; p != node; p = p->parent_) onTheWay.insert(relative(p));
  }

  const std::int64_t oldBytes = node->hasSize_ ? node->bytes_ : 0;
  const std::int64_t oldFiles = node->files_;
  const std::int64_t oldNewest = node->newest_;
  while (!node->children_.empty()) Delete(node->children_.back().get());
  for (auto& child : fresh->children_) {
    TTreeNode* const raw = child.get();
    raw->parent_ = node;
    std::size_t size = 0;
    for (TTreeNode* n = raw; n; n = NextBelow(raw, n)) {
      if (n != raw) {
        n->level_ = n->parent_->level_ + 1;
      } else {
        n->level_ = node->level_ + 1;
      }
      n->expanded_ = false;
      ++size;
    }
    // Sorted siblings arrive in order: each goes last.
    const std::size_t row = node->children_.size();
    Notify([&](TTreeObserver& o) { o.NodesAboutToBeInserted(node, row); });
    node->children_.push_back(std::move(child));
    raw->row_ = static_cast<std::uint32_t>(row);
    count_ += size;
    scan.count_ -= size;
    Notify([](TTreeObserver& o) { o.NodesInserted(); });
  }
  fresh->children_.clear();
  const std::int64_t newBytes = fresh->bytes_;
  const std::int64_t newFiles = fresh->files_;
  node->files_ = newFiles;
  node->newest_ = fresh->newest_;
  node->incomplete_ = fresh->incomplete_;
  SetNumbers(node, newBytes, fresh->failed_, fresh->failedHere_);

  // Expanded again where the folder still has the line.
  std::vector<std::pair<TTreeNode*, std::string>> pending{{node, std::string()}};
  while (!pending.empty()) {
    auto [parent, path] = std::move(pending.back());
    pending.pop_back();
    for (auto& child : parent->children_) {
      const std::string mine = path.empty() ? child->Name() : path + '/' + child->Name();
      if (expanded.count(mine)) Expand(child.get());
      if (expanded.count(mine) || onTheWay.count(mine)) pending.emplace_back(child.get(), mine);
    }
  }
  CorrectAncestors(node->parent_, oldBytes, newBytes, oldFiles, newFiles, oldNewest, fresh->newest_,
                   minimumBytes);
}

TTreeNode* TReportTree::NextBelow(const TTreeNode* top, const TTreeNode* node) {
  if (!node->children_.empty()) return node->children_.front().get();
  while (node != top) {
    const TTreeNode* parent = node->parent_;
    if (node->row_ + 1 < parent->children_.size()) return parent->children_[node->row_ + 1].get();
    node = parent;
  }
  return nullptr;
}

std::string TReportTree::LabelName(std::string_view name) {
  return OneLine(std::string(name));
}

std::string TReportTree::PathOf(const TTreeNode* node) {
  std::vector<const TTreeNode*> chain;
  for (const TTreeNode* n = node; n; n = n->parent_) chain.push_back(n);
  std::string path = chain.back()->Name();
  if (path.empty() || path.front() != '/') return {};
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    const std::string name = chain[i]->Name();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
      return {};
    }
    if (path.back() != '/') path += '/';
    path += name;
  }
  return path;
}

void TReportTree::Relabelled(TTreeNode* node) {
  Notify([&](TTreeObserver& o) { o.LabelChanged(node); });
  if (!sorted_) return;
  Siblings& siblings = SiblingsOf(node->parent_);
  const std::size_t from = node->row_;
  const LabelKey key = KeyOf(*node);
  std::size_t before;  // the old row the node is to stand before
  if (from > 0 && CompareLabelKeys(key, KeyOf(*siblings[from - 1])) < 0) {
    before = SortedPosition(siblings, *node, 0, from);
  } else if (from + 1 < siblings.size() && CompareLabelKeys(key, KeyOf(*siblings[from + 1])) > 0) {
    before = SortedPosition(siblings, *node, from + 1, siblings.size());
  } else {
    return;  // already in place
  }
  TTreeNode* const parent = node->parent_;
  Notify([&](TTreeObserver& o) { o.NodeAboutToMove(parent, from, before); });
  std::unique_ptr<TTreeNode> owned = std::move(siblings[from]);
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(from));
  const std::size_t to = before > from ? before - 1 : before;
  siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(to), std::move(owned));
  Renumber(siblings, std::min(from, to));
  Notify([](TTreeObserver& o) { o.NodeMoved(); });
}

void TReportTree::Delete(TTreeNode* node) {
  Siblings& siblings = SiblingsOf(node->parent_);
  const std::size_t row = node->row_;
  TTreeNode* const parent = node->parent_;
  Notify([&](TTreeObserver& o) { o.NodesAboutToBeRemoved(parent, row); });
  std::unique_ptr<TTreeNode> owned = std::move(siblings[row]);
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
  Renumber(siblings, row);
  DestroySubtree(std::move(owned));
  Notify([](TTreeObserver& o) { o.NodesRemoved(); });
}

TTreeNode* TReportTree::NextInTreeOrder(const TTreeNode* node) {
  if (!node->children_.empty()) return node->children_.front().get();
  // Climb until an ancestor has a next sibling.
  while (node) {
    const TTreeNode* parent = node->parent_;
    if (!parent) return nullptr;
    if (node->row_ + 1 < parent->children_.size()) return parent->children_[node->row_ + 1].get();
    node = parent;
  }
  return nullptr;
}

TTreeNode* TReportTree::NodeAt(std::int64_t index) const {
  if (index < 0 || static_cast<std::uint64_t>(index) >= count_) {
    throw EVorntoolsError("Invalid index");
  }
  for (const auto& root : roots_) {
    TTreeNode* node = root.get();
    while (node) {
      if (index == 0) return node;
      --index;
      node = NextInTreeOrder(node);
    }
  }
  throw EVorntoolsError("Invalid index");
}

void TReportTree::Expand(TTreeNode* node) {
  if (node->expanded_) return;
  node->expanded_ = true;
  Notify([&](TTreeObserver& o) { o.ExpandedChanged(node); });
}

void TReportTree::Collapse(TTreeNode* node) {
  if (!node->expanded_) return;
  node->expanded_ = false;
  Notify([&](TTreeObserver& o) { o.ExpandedChanged(node); });
}

void TReportTree::SortByLabel() {
  if (sorted_) return;
  Notify([](TTreeObserver& o) { o.AboutToReorder(); });
  sorted_ = true;
  auto less = [](const std::unique_ptr<TTreeNode>& a, const std::unique_ptr<TTreeNode>& b) {
    return CompareLabelKeys(KeyOf(*a), KeyOf(*b)) < 0;
  };
  std::vector<Siblings*> pending{&roots_};
  while (!pending.empty()) {
    Siblings* siblings = pending.back();
    pending.pop_back();
    std::stable_sort(siblings->begin(), siblings->end(), less);
    Renumber(*siblings, 0);
    for (auto& node : *siblings) {
      if (!node->children_.empty()) pending.push_back(&node->children_);
    }
  }
  Notify([](TTreeObserver& o) { o.Reordered(); });
}

std::string TReportTree::TextForm() const {
  std::string out;
  for (const auto& root : roots_) {
    for (const TTreeNode* node = root.get(); node;) {
      out.append(static_cast<std::size_t>(node->level_), '\t');
      out += node->label_;
      out += "\r\n";
      node = NextInTreeOrder(node);
    }
  }
  return out;
}

void TReportTree::Save(const std::string& fileName) const {
  if (!WriteFileReplacing(fileName, TextForm())) {
    throw EVorntoolsError(FormatMessage("Cannot create file %s", fileName) + ": " +
                          std::strerror(errno));
  }
}

void TReportTree::Load(const std::string& fileName) {
  std::string text;
  if (!ReadWholeFile(fileName, text)) {
    throw EVorntoolsError(FormatMessage("Cannot open file %s", fileName) + ": " +
                          std::strerror(errno));
  }
  LoadText(text);
}

void TReportTree::LoadText(const std::string& rawText) {
  // A NUL byte ends the text.
  const std::size_t end = std::min(rawText.size(), std::strlen(rawText.c_str()));
  const char* text = rawText.data();

  Notify([](TTreeObserver& o) { o.AboutToReset(); });
  muted_ = true;  // one reset covers every node added below
  struct Restore {
    TReportTree* tree;
    ~Restore() {
      tree->muted_ = false;
      tree->Notify([](TTreeObserver& o) { o.Reset(); });
    }
  } restore{this};

  for (auto& root : roots_) DestroySubtree(std::move(root));
  roots_.clear();
  count_ = 0;
  selected_ = nullptr;

  TTreeNode* last = nullptr;
  std::size_t pos = 0;
  while (pos < end) {
    std::size_t lineEnd = pos;
    while (lineEnd < end && text[lineEnd] != '\r' && text[lineEnd] != '\n') ++lineEnd;
    std::size_t next = lineEnd;
    if (next < end) {
      next += (text[next] == '\r' && next + 1 < end && text[next + 1] == '\n') ? 2 : 1;
    }
    const std::size_t lineStart = pos;
    pos = next;

    if (lineEnd - lineStart == 1 && text[lineStart] == 26) continue;  // Ctrl-Z
    std::size_t labelStart = lineStart;
    while (labelStart < lineEnd && (text[labelStart] == '\t' || text[labelStart] == ' ')) {
      ++labelStart;
    }
    const std::size_t level = labelStart - lineStart;
    const std::string label(text + labelStart, lineEnd - labelStart);

    TTreeNode* parent = nullptr;
    if (!last) {
      if (level > 1) throw EVorntoolsError("Invalid item level assignment");
    } else {
      const std::size_t lastLevel = static_cast<std::size_t>(last->level_);
      if (level == lastLevel + 1) {
        parent = last;
      } else if (level <= lastLevel) {
        parent = last;
        while (parent && static_cast<std::size_t>(parent->level_) >= level) {
          parent = parent->parent_;
        }
      } else {
        throw EVorntoolsError("Invalid item level assignment");
      }
    }
    last = AddChild(parent, label);
  }
}
