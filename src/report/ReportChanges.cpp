#include "report/ReportChanges.h"

#include <algorithm>

#include "scan/DocumentLookup.h"

TReportChanges::TReportChanges(Documents documents, std::shared_ptr<const TScanDocument> before)
    : documents_(std::move(documents)), before_(std::move(before)) {
  comparisons_.reserve(documents_.size());
  for (const auto& document : documents_) {
    comparisons_.push_back(std::make_unique<TScanComparison>(*document, *before_));
  }
}

const TScanComparison* TReportChanges::ComparisonOf(const TScanDocument* document) const {
  for (std::size_t i = 0; i < documents_.size(); ++i) {
    if (documents_[i].get() == document) return comparisons_[i].get();
  }
  return nullptr;
}

std::vector<ComparisonNote> TReportChanges::Notes() const {
  std::vector<ComparisonNote> notes;
  for (const auto& c : comparisons_) {
    for (ComparisonNote n : c->Notes()) {
      if (std::find(notes.begin(), notes.end(), n) == notes.end()) notes.push_back(n);
    }
  }
  return notes;
}

const std::unordered_map<std::string_view, std::uint32_t>& TReportChanges::ChildrenOf(
    std::size_t which, std::uint32_t folder) const {
  auto& names = children_[(std::uint64_t{which} << 32) | folder];
  if (names.empty()) {
    const TScanDocument& d = *documents_[which];
    for (std::uint32_t c = d.FirstChild(folder); c != TScanDocument::kNoFolder;
         c = d.NextSibling(c)) {
      names.emplace(d.FolderName(c), c);
    }
  }
  return names;
}

TReportChanges::Place TReportChanges::FindPlace(const TTreeNode* node) const {
  const auto placeOf = [this](const TDocumentLookup::Place& found) {
    Place p;
    if (!found) return p;
    p.document = found.document.get();
    p.folder = found.folder;
    for (std::size_t i = 0; i < documents_.size(); ++i) {
      if (documents_[i] == found.document) p.which = i;
    }
    return p;
  };
  const TTreeNode* parent = node->Parent();
  if (!parent) return placeOf(TDocumentLookup::Find(documents_, TReportTree::PathOf(node)));
  const Place above = MemoOf(parent).place;
  if (!above.document) return placeOf(TDocumentLookup::Find(documents_, TReportTree::PathOf(node)));
  // A later document (a rescan below the parent's) wins over the parent's.
  if (above.which + 1 < documents_.size()) {
    const Documents later(documents_.begin() + static_cast<std::ptrdiff_t>(above.which) + 1,
                          documents_.end());
    if (auto found = TDocumentLookup::Find(later, TReportTree::PathOf(node))) {
      return placeOf(found);
    }
  }
  // Most lines are found by name among their parent's sub-folders, all of
  // which are named at once: sorting a line's thousands of sub-folders
  // costs one pass, not one walk down from the top for each.
  const auto& names = ChildrenOf(above.which, above.folder);
  const auto at = names.find(node->Name());
  if (at == names.end()) return {};
  return {above.document, above.which, at->second};
}

TReportChanges::Memo& TReportChanges::MemoOf(const TTreeNode* node) const {
  if (auto at = memo_.find(node); at != memo_.end()) return at->second;
  Memo memo;
  memo.place = FindPlace(node);
  return memo_.emplace(node, memo).first->second;
}

TReportChanges::Line TReportChanges::OfLine(const TTreeNode* node) const {
  const Place& place = MemoOf(node).place;
  if (!place.document) return {};
  const TScanComparison::FolderChange c = comparisons_[place.which]->OfNow(place.folder);
  return {c.compared, c.isNew, c.change};
}

std::size_t TReportChanges::GoneCount(const TTreeNode* node) const {
  Memo& memo = MemoOf(node);
  if (!memo.goneKnown) {
    memo.goneKnown = true;
    memo.goneFirst = static_cast<std::uint32_t>(gone_.size());
    if (memo.place.document) {
      const TScanComparison& c = *comparisons_[memo.place.which];
      for (std::uint32_t g : c.GoneBelow(memo.place.folder)) {
        gone_.push_back(
            {node, memo.goneCount++, c.BeforeTotal(g), std::string(before_->FolderName(g))});
      }
    }
  }
  return memo.goneCount;
}

const TReportChanges::Gone& TReportChanges::GoneAt(const TTreeNode* node, std::size_t index) const {
  return gone_[MemoOf(node).goneFirst + index];
}

std::int64_t TReportChanges::TotalChange(const TReportTree& tree) const {
  std::int64_t total = 0;
  bool any = false;
  for (std::size_t i = 0; i < tree.TopLevelCount(); ++i) {
    const Line line = OfLine(tree.TopLevel(i));
    if (!line.compared) continue;
    total += line.change;
    any = true;
  }
  if (any || comparisons_.empty()) return total;
  // The earlier scan started below the report's folders.
  const TScanComparison& c = *comparisons_.front();
  for (std::uint32_t s = before_->FolderCount() ? 0 : TScanDocument::kNoFolder;
       s != TScanDocument::kNoFolder; s = before_->NextSibling(s)) {
    const TScanComparison::FolderChange change = c.OfBefore(s);
    if (change.compared) total += change.change;
  }
  return total;
}

std::vector<TScanComparison::FileChange> TReportChanges::FileChanges(const TScanDocument* document,
                                                                     std::uint32_t folder) const {
  const TScanComparison* c = ComparisonOf(document);
  return c ? c->FileChanges(folder) : std::vector<TScanComparison::FileChange>{};
}

TReportChanges::File TReportChanges::FileAt(const std::string& folderPath,
                                            std::string_view rawName) const {
  const TDocumentLookup::Place place = TDocumentLookup::Find(documents_, folderPath);
  const TScanComparison* c = place ? ComparisonOf(place.document.get()) : nullptr;
  if (!c || !c->ComparesFiles()) return {};
  const std::uint32_t before = c->BeforeOf(place.folder);
  if (before == TScanComparison::kNotCompared) return {};
  // One file: its name looked for among its folder's own files on each side.
  const auto find = [&rawName](const TScanDocument& d, std::uint32_t folder) {
    const std::uint64_t end = d.KeptFilesEnd(folder);
    for (std::uint64_t j = d.Folder(folder).firstFile; j < end; ++j) {
      if (d.FileName(j) == rawName) return j;
    }
    return TScanComparison::kNoFile;
  };
  const TScanDocument& now = *place.document;
  const std::uint64_t mine = find(now, place.folder);
  if (mine == TScanComparison::kNoFile || !c->Counting().Takes(now.File(mine))) return {};
  const std::int64_t newBytes = c->Counting().Bytes(now.File(mine));
  using State = TScanComparison::FileState;
  const std::uint64_t old =
      before == TScanComparison::kOnlyHere ? TScanComparison::kNoFile : find(*before_, before);
  if (old == TScanComparison::kNoFile || !c->Counting().Takes(before_->File(old))) {
    return {true, State::New, newBytes};
  }
  const std::int64_t change = newBytes - c->Counting().Bytes(before_->File(old));
  return {true, change > 0 ? State::Grown : change < 0 ? State::Shrunk : State::Unchanged, change};
}

std::size_t TReportChanges::HeapBytes() const {
  std::size_t bytes = 0;
  for (const auto& c : comparisons_) bytes += c->HeapBytes();
  return bytes;
}
