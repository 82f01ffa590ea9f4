#include "scan/ScanComparison.h"

#include <algorithm>

namespace {

using Note = ComparisonNote;

struct Settled {
  ScanCounting counting;
  std::vector<Note> notes;
};

// The counting both sides are compared in: the new scan's, less what the
// earlier one cannot be counted with; or, when the earlier one kept no
// files to count again, its own, if the new one can be counted so.
Settled Settle(const TScanDocument& now, const TScanDocument& before, bool beforeHasAllocated) {
  Settled s{ScanCounting::Of(now.Options()), {}};
  const ScanCounting had = ScanCounting::Of(before.Options());
  ScanCounting& want = s.counting;
  if (before.KeepsFiles()) {
    if (want.size == ScanCounting::Size::Allocated && !beforeHasAllocated) {
      want.size = ScanCounting::Size::Length;
      want.likeDu = false;
      s.notes.push_back(Note::NoAllocatedBefore);
    }
    if (want.likeDu && !had.likeDu) {
      want.likeDu = false;
      s.notes.push_back(Note::NotLikeDuBefore);
    }
    if (want.hidden && !had.hidden) {
      want.hidden = false;
      s.notes.push_back(Note::NoHiddenBefore);
    }
  } else if (want != had) {
    // The new scan can leave out what it counted more, never count what it did not.
    const bool canFollow = now.KeepsFiles() && !had.likeDu && (want.hidden || !had.hidden);
    if (canFollow) {
      want = had;
      s.notes.push_back(Note::NoFilesBefore);
    } else {
      s.notes.push_back(Note::OptionsDiffer);
    }
  }
  if (before.Stopped()) s.notes.push_back(Note::StoppedBefore);
  if (now.Stopped()) s.notes.push_back(Note::StoppedNow);
  return s;
}

// A document's totals under `counting`: the report's when they are so
// counted, else counted again when the files are kept.
TScanTotals TotalsOf(const TScanDocument& document, const ScanCounting& counting,
                     std::vector<Note>& notes) {
  if (ScanCounting::Of(document.Options()) == counting) return TScanTotals(document);
  if (document.KeepsFiles()) return TScanTotals(document, counting);
  if (std::find(notes.begin(), notes.end(), Note::OptionsDiffer) == notes.end()) {
    notes.push_back(Note::OptionsDiffer);
  }
  return TScanTotals(document);
}

std::int64_t Difference(std::int64_t to, std::int64_t from) {
  std::int64_t d;
  if (__builtin_sub_overflow(to, from, &d)) {
    d = to > from ? std::numeric_limits<std::int64_t>::max()
                  : -std::numeric_limits<std::int64_t>::max();
  }
  return d;
}

// Its path with no "/" at the end, but for "/" itself.
std::string_view Trimmed(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

// A folder's sub-folders, in name order (raw bytes).
void SortedChildren(const TScanDocument& d, std::uint32_t folder, std::vector<std::uint32_t>& out) {
  out.clear();
  for (std::uint32_t c = d.FirstChild(folder); c != TScanDocument::kNoFolder;
       c = d.NextSibling(c)) {
    out.push_back(c);
  }
  std::sort(out.begin(), out.end(),
            [&d](std::uint32_t a, std::uint32_t b) { return d.FolderName(a) < d.FolderName(b); });
}

// A folder's own files that `counting` takes, in name order (raw bytes).
std::vector<std::uint64_t> SortedFiles(const TScanDocument& d, std::uint32_t folder,
                                       const ScanCounting& counting) {
  std::vector<std::uint64_t> files;
  const std::uint64_t end = d.KeptFilesEnd(folder);
  for (std::uint64_t j = d.Folder(folder).firstFile; j < end; ++j) {
    if (counting.Takes(d.File(j))) files.push_back(j);
  }
  std::sort(files.begin(), files.end(),
            [&d](std::uint64_t a, std::uint64_t b) { return d.FileName(a) < d.FileName(b); });
  return files;
}

}  // namespace

const char* ComparisonNoteText(ComparisonNote note) {
  switch (note) {
    case Note::NoAllocatedBefore:
      return "The earlier scan has no sizes on disk, so changes are counted in file lengths";
    case Note::NoHiddenBefore:
      return "The earlier scan left out hidden files, so they are left out of both";
    case Note::NotLikeDuBefore:
      return "The earlier scan did not count as du does, so folders' own blocks and links are "
             "left out of both";
    case Note::NoFilesBefore:
      return "The earlier scan kept no files, so both are counted with its options";
    case Note::OptionsDiffer:
      return "The scans were counted with different options, so some changes may come from that "
             "alone";
    case Note::StoppedBefore:
      return "The earlier scan was stopped, so some folders may show as new";
    case Note::StoppedNow:
      return "This scan was stopped, so some folders may show as gone";
  }
  return "";
}

TScanComparison::TScanComparison(const TScanDocument& now, const TScanDocument& before,
                                 bool beforeHasAllocated)
    : now_(&now), before_(&before), counting_(), notes_(), nowTotals_(now), beforeTotals_(before) {
  Settled settled = Settle(now, before, beforeHasAllocated);
  counting_ = settled.counting;
  notes_ = std::move(settled.notes);
  nowTotals_ = TotalsOf(now, counting_, notes_);
  beforeTotals_ = TotalsOf(before, counting_, notes_);
  Pair();
}

std::uint32_t TScanComparison::FindPath(const TScanDocument& d, const std::string& wanted) {
  const std::string_view path = Trimmed(wanted);
  if (d.FolderCount() == 0) return TScanDocument::kNoFolder;
  for (std::uint32_t s = 0; s != TScanDocument::kNoFolder; s = d.NextSibling(s)) {
    const std::string_view start = Trimmed(d.FolderName(s));
    if (start == path) return s;
    // A folder below this starting folder: down its names one by one.
    if (path.size() <= start.size() || path.substr(0, start.size()) != start) continue;
    std::string_view rest = path.substr(start.size());
    if (start.back() != '/' && rest.front() != '/') continue;
    std::uint32_t at = s;
    while (at != TScanDocument::kNoFolder && !rest.empty()) {
      const std::size_t skip = rest.find_first_not_of('/');
      if (skip == std::string_view::npos) break;
      rest.remove_prefix(skip);
      const std::string_view name = rest.substr(0, rest.find('/'));
      rest.remove_prefix(name.size());
      std::uint32_t c = d.FirstChild(at);
      while (c != TScanDocument::kNoFolder && d.FolderName(c) != name) c = d.NextSibling(c);
      at = c;
    }
    if (at != TScanDocument::kNoFolder) return at;
  }
  return TScanDocument::kNoFolder;
}

void TScanComparison::MarkOnlyHere(bool nowSide, std::uint32_t folder) {
  const TScanDocument& d = nowSide ? *now_ : *before_;
  const TScanTotals& totals = nowSide ? nowTotals_ : beforeTotals_;
  std::vector<std::uint32_t>& pair = nowSide ? nowPair_ : beforePair_;
  const std::uint32_t end = folder + d.Folder(folder).span;
  for (std::uint32_t i = folder; i <= end; ++i) {
    if (totals.Total(i) != TScanTotals::kNotCounted) pair[i] = kOnlyHere;
  }
}

void TScanComparison::Pair() {
  nowPair_.assign(now_->FolderCount(), kNotCompared);
  beforePair_.assign(before_->FolderCount(), kNotCompared);
  // The starting folders by full path; one scan's may stand below the
  // other's, and then only what both looked at is compared.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> work;
  auto pairStart = [&](bool nowSide, std::uint32_t start) {
    const TScanDocument& here = nowSide ? *now_ : *before_;
    const TScanDocument& there = nowSide ? *before_ : *now_;
    const TScanTotals& thereTotals = nowSide ? beforeTotals_ : nowTotals_;
    std::vector<std::uint32_t>& herePair = nowSide ? nowPair_ : beforePair_;
    std::vector<std::uint32_t>& therePair = nowSide ? beforePair_ : nowPair_;
    if (herePair[start] != kNotCompared) return;
    const std::uint32_t other = FindPath(there, std::string(here.FolderName(start)));
    if (other == TScanDocument::kNoFolder || therePair[other] != kNotCompared ||
        thereTotals.Total(other) == TScanTotals::kNotCounted) {
      return;
    }
    herePair[start] = other;
    therePair[other] = start;
    work.emplace_back(nowSide ? start : other, nowSide ? other : start);
  };
  const std::uint32_t noStart = TScanDocument::kNoFolder;
  for (std::uint32_t s = now_->FolderCount() ? 0 : noStart; s != noStart;
       s = now_->NextSibling(s)) {
    pairStart(true, s);
  }
  for (std::uint32_t s = before_->FolderCount() ? 0 : noStart; s != noStart;
       s = before_->NextSibling(s)) {
    pairStart(false, s);
  }
  // A starting folder paired with nothing is new or gone as a whole,
  // unless the other scan started below it.
  auto wholeStarts = [&](bool nowSide) {
    const TScanDocument& d = nowSide ? *now_ : *before_;
    const std::vector<std::uint32_t>& pair = nowSide ? nowPair_ : beforePair_;
    if (d.FolderCount() == 0) return;
    for (std::uint32_t s = 0; s != TScanDocument::kNoFolder; s = d.NextSibling(s)) {
      if (pair[s] != kNotCompared) continue;
      const std::uint32_t end = s + d.Folder(s).span;
      bool holdsPaired = false;
      for (const auto& [n, b] : work)
        holdsPaired |= (nowSide ? n : b) > s && (nowSide ? n : b) <= end;
      if (!holdsPaired) MarkOnlyHere(nowSide, s);
    }
  };
  wholeStarts(true);
  wholeStarts(false);

  std::vector<std::uint32_t> a, b;
  while (!work.empty()) {
    const auto [n, o] = work.back();
    work.pop_back();
    nowPair_[n] = o;
    beforePair_[o] = n;
    SortedChildren(*now_, n, a);
    SortedChildren(*before_, o, b);
    std::size_t i = 0, k = 0;
    while (i < a.size() || k < b.size()) {
      const int order = i == a.size()   ? 1
                        : k == b.size() ? -1
                                        : now_->FolderName(a[i]).compare(before_->FolderName(b[k]));
      if (order < 0) {
        MarkOnlyHere(true, a[i++]);
      } else if (order > 0) {
        MarkOnlyHere(false, b[k++]);
      } else {
        // One side not counted (left out, or hidden under the counting):
        // the other is not compared either.
        // One already paired is a starting folder that lies below another too.
        if (NowTotal(a[i]) != TScanTotals::kNotCounted &&
            BeforeTotal(b[k]) != TScanTotals::kNotCounted && nowPair_[a[i]] == kNotCompared &&
            beforePair_[b[k]] == kNotCompared) {
          work.emplace_back(a[i], b[k]);
        }
        ++i;
        ++k;
      }
    }
  }
}

TScanComparison::FolderChange TScanComparison::OfNow(std::uint32_t nowFolder) const {
  const std::uint32_t before = nowPair_[nowFolder];
  if (before == kNotCompared) return FolderChange{.now = nowFolder};
  if (before == kOnlyHere) {
    const std::int64_t total = NowTotal(nowFolder);
    return FolderChange{
        .now = nowFolder, .newTotal = total, .change = total, .isNew = true, .compared = true};
  }
  FolderChange c{.now = nowFolder, .before = before};
  c.oldTotal = BeforeTotal(before);
  c.newTotal = NowTotal(nowFolder);
  c.change = Difference(c.newTotal, c.oldTotal);
  c.compared = true;
  return c;
}

TScanComparison::FolderChange TScanComparison::OfBefore(std::uint32_t beforeFolder) const {
  const std::uint32_t now = beforePair_[beforeFolder];
  if (now == kNotCompared) return FolderChange{.before = beforeFolder};
  if (now == kOnlyHere) {
    const std::int64_t total = BeforeTotal(beforeFolder);
    return FolderChange{.before = beforeFolder,
                        .oldTotal = total,
                        .change = Difference(0, total),
                        .gone = true,
                        .compared = true};
  }
  return OfNow(now);
}

std::vector<std::uint32_t> TScanComparison::GoneBelow(std::uint32_t nowFolder) const {
  std::vector<std::uint32_t> gone;
  const std::uint32_t before = nowPair_[nowFolder];
  if (before == kNotCompared || before == kOnlyHere) return gone;
  for (std::uint32_t c = before_->FirstChild(before); c != TScanDocument::kNoFolder;
       c = before_->NextSibling(c)) {
    if (beforePair_[c] == kOnlyHere) gone.push_back(c);
  }
  return gone;
}

std::vector<TScanComparison::FileChange> TScanComparison::FileChanges(
    std::uint32_t nowFolder) const {
  std::vector<FileChange> changes;
  const std::uint32_t before = nowPair_[nowFolder];
  if (!ComparesFiles() || before == kNotCompared) return changes;
  const std::vector<std::uint64_t> a = SortedFiles(*now_, nowFolder, counting_);
  const std::vector<std::uint64_t> b =
      before == kOnlyHere ? std::vector<std::uint64_t>{} : SortedFiles(*before_, before, counting_);
  changes.reserve(std::max(a.size(), b.size()));
  std::size_t i = 0, k = 0;
  while (i < a.size() || k < b.size()) {
    const int order = i == a.size()   ? 1
                      : k == b.size() ? -1
                                      : now_->FileName(a[i]).compare(before_->FileName(b[k]));
    FileChange c;
    if (order <= 0) {
      c.now = a[i++];
      c.newBytes = counting_.Bytes(now_->File(c.now));
    }
    if (order >= 0) {
      c.before = b[k++];
      c.oldBytes = counting_.Bytes(before_->File(c.before));
    }
    c.state = order < 0                 ? FileState::New
              : order > 0               ? FileState::Gone
              : c.newBytes > c.oldBytes ? FileState::Grown
              : c.newBytes < c.oldBytes ? FileState::Shrunk
                                        : FileState::Unchanged;
    changes.push_back(c);
  }
  return changes;
}

std::size_t TScanComparison::HeapBytes() const {
  return (nowPair_.capacity() + beforePair_.capacity()) * sizeof(std::uint32_t) +
         nowTotals_.HeapBytes() + beforeTotals_.HeapBytes() +
         notes_.capacity() * sizeof(ComparisonNote);
}
