#include "scan/ScanComparison.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>

#include "TempTree.h"
#include "scan/ComparisonText.h"
#include "scan/ScanProgress.h"
#include "scan/UsageDirectory.h"

namespace {

using Change = TScanComparison::FileChange;
using State = TScanComparison::FileState;

std::shared_ptr<TScanDocument> Scan(const std::string& folder, UsageOptions o,
                                    ScanRecord record = ScanRecord::Files) {
  o.Folders = {folder};
  o.Record = record;
  TReportTree tree;
  std::shared_ptr<TScanDocument> doc = RunUsageScan(o, tree, nullptr, nullptr).document;
  EXPECT_TRUE(doc);
  return doc;
}

std::uint32_t FolderAt(const TScanDocument& doc, const std::string& path) {
  for (std::uint32_t i = 0; i < doc.FolderCount(); ++i) {
    if (doc.FolderPath(i) == path) return i;
  }
  ADD_FAILURE() << "no folder " << path;
  return 0;
}

// A file of real data (a sparse one has no blocks to count).
void DataFile(const std::string& path, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << path;
  const std::string bytes(size, 'x');
  ASSERT_EQ(::write(fd, bytes.data(), size), static_cast<ssize_t>(size));
  ::close(fd);
}

// A file's name, its state and its sizes on each side.
std::string Described(const TScanComparison& c, const Change& f) {
  const TScanDocument& d = f.now != TScanComparison::kNoFile ? c.Now() : c.Before();
  const std::uint64_t j = f.now != TScanComparison::kNoFile ? f.now : f.before;
  static const char* const states[] = {"new", "grown", "shrunk", "unchanged", "gone"};
  return std::string(d.FileName(j)) + ' ' + states[static_cast<int>(f.state)] + ' ' +
         std::to_string(f.oldBytes) + ' ' + std::to_string(f.newBytes);
}

std::vector<std::string> FileLines(const TScanComparison& c, std::uint32_t nowFolder) {
  std::vector<std::string> lines;
  for (const Change& f : c.FileChanges(nowFolder)) lines.push_back(Described(c, f));
  return lines;
}

}  // namespace

// One tree scanned, changed and scanned again: a folder grown, one shrunk,
// one gone, one new, a file renamed, a hidden folder and file, three names
// of one file. Earlier scans made with other options (hidden names, linked
// files counted at each name; a narrower starting folder) compare the same,
// as their totals are counted as the new scan counts.
TEST(ScanComparison, FoldersFilesAndTextAcrossOptions) {
  TempTree t;
  const std::string r = t.Path("r");
  constexpr long long kA = 1000, kB = 2000, kRenamed = 3000, kGrowBefore = 1000,
                      kGrowAfter = 501000, kShrinkBefore = 10000, kShrinkAfter = 4000,
                      kGoneX = 7000, kGoneY = 300, kLinked = 5000, kNew = 800, kDeep = 50,
                      kFresh = 6000, kHidden = 400;
  t.File("r/keep/a.bin", kA);
  t.File("r/keep/b.bin", kB);
  t.File("r/keep/old.name", kRenamed);
  t.File("r/grow/g.bin", kGrowBefore);
  t.File("r/grow/.h", kHidden);
  t.File("r/shrink/s.bin", kShrinkBefore);
  t.File("r/gone/x.bin", kGoneX);
  t.File("r/gone/sub/y.bin", kGoneY);
  t.File("r/links/one", kLinked);
  ASSERT_EQ(::link(t.Path("r/links/one").c_str(), t.Path("r/links/two").c_str()), 0);
  t.File("r/.cache/c.bin", kHidden);

  UsageOptions counted;  // as the new scan counts
  counted.HardLinksOnce = true;
  UsageOptions other;  // hidden names, and each name of a linked file
  other.CountHidden = true;
  const auto before = Scan(r, counted);
  const auto beforeOther = Scan(r, other);
  const auto beforeNarrow = Scan(t.Path("r/grow"), counted);

  t.File("r/grow/g.bin", kGrowAfter);
  t.File("r/shrink/s.bin", kShrinkAfter);
  std::filesystem::remove_all(t.Path("r/gone"));
  std::filesystem::rename(t.Path("r/keep/old.name"), t.Path("r/keep/new.name"));
  t.File("r/new/n.bin", kNew);
  t.File("r/new/deep/d.bin", kDeep);
  t.File("r/fresh/f.bin", kFresh);
  ASSERT_EQ(::link(t.Path("r/links/one").c_str(), t.Path("r/links/three").c_str()), 0);
  const auto now = Scan(r, counted);
  UsageOptions hidden = counted;
  hidden.CountHidden = true;
  const auto nowHidden = Scan(r, hidden);
  const auto nowNarrow = Scan(t.Path("r/grow"), counted);

  const long long rootBefore =
      kA + kB + kRenamed + kGrowBefore + kShrinkBefore + kGoneX + kGoneY + kLinked;
  const long long rootAfter =
      kA + kB + kRenamed + kGrowAfter + kShrinkAfter + kNew + kDeep + kLinked + kFresh;
  auto line = [](long long change, const std::string& old, const std::string& now,
                 const std::string& path) {
    return (change > 0 ? "+" : "") + std::to_string(change) + '\t' + old + '\t' + now + '\t' +
           path + '\n';
  };
  using std::to_string;
  const std::string top =
      line(kGrowAfter - kGrowBefore, to_string(kGrowBefore), to_string(kGrowAfter), r + "/grow") +
      line(rootAfter - rootBefore, to_string(rootBefore), to_string(rootAfter), r) +
      line(-(kGoneX + kGoneY), to_string(kGoneX + kGoneY), "-", r + "/gone") +
      line(kFresh, "-", to_string(kFresh), r + "/fresh") +  // ties go in path order
      line(kShrinkAfter - kShrinkBefore, to_string(kShrinkBefore), to_string(kShrinkAfter),
           r + "/shrink") +
      line(kNew + kDeep, "-", to_string(kNew + kDeep), r + "/new");
  const std::string deeper = line(-kGoneY, to_string(kGoneY), "-", r + "/gone/sub") +
                             line(kDeep, "-", to_string(kDeep), r + "/new/deep");
  ASSERT_EQ(kFresh, kShrinkBefore - kShrinkAfter);
  ASSERT_GT(kNew + kDeep, kGoneY);

  const TScanComparison same(*now, *before);
  const TScanComparison fromOther(*now, *beforeOther);
  const TScanComparison hiddenNow(*nowHidden, *before);
  EXPECT_EQ(ComparisonText(same, 1), top);
  EXPECT_EQ(ComparisonText(same, 0), top + deeper);
  EXPECT_TRUE(same.Notes().empty());
  EXPECT_TRUE(fromOther.Notes().empty());
  EXPECT_EQ(ComparisonText(fromOther, 0), top + deeper);
  EXPECT_EQ(hiddenNow.Notes(), std::vector<ComparisonNote>{ComparisonNote::NoHiddenBefore});
  EXPECT_EQ(ComparisonText(hiddenNow, 0), top + deeper);
  // Only what both looked at, when one scan started at r/grow.
  const std::string growLine =
      line(kGrowAfter - kGrowBefore, to_string(kGrowBefore), to_string(kGrowAfter), r + "/grow");
  EXPECT_EQ(ComparisonText(TScanComparison(*now, *beforeNarrow), 0), growLine);
  EXPECT_EQ(ComparisonText(TScanComparison(*nowNarrow, *before), 0), growLine);

  const TScanDocument& n = *now;
  const TScanDocument& b = *before;
  const std::uint32_t root = FolderAt(n, r);
  const TScanComparison::FolderChange grow = same.OfNow(FolderAt(n, r + "/grow"));
  EXPECT_TRUE(grow.compared && !grow.isNew && !grow.gone);
  EXPECT_EQ(grow.before, FolderAt(b, r + "/grow"));
  EXPECT_EQ(grow.change, kGrowAfter - kGrowBefore);
  const TScanComparison::FolderChange gone = same.OfBefore(FolderAt(b, r + "/gone"));
  EXPECT_TRUE(gone.compared && gone.gone && !gone.isNew);
  EXPECT_EQ(gone.newTotal, -1);
  EXPECT_EQ(same.GoneBelow(root), std::vector<std::uint32_t>{FolderAt(b, r + "/gone")});
  EXPECT_TRUE(same.OfNow(FolderAt(n, r + "/new/deep")).isNew);
  // A hidden folder is neither new nor gone when hidden names do not count.
  EXPECT_EQ(hiddenNow.BeforeOf(FolderAt(*nowHidden, r + "/.cache")), TScanComparison::kNotCompared);
  EXPECT_EQ(fromOther.NowOf(FolderAt(*beforeOther, r + "/.cache")), TScanComparison::kNotCompared);

  // Files, paired by name; hidden ones take no part.
  const std::string k = to_string(kA), bb = to_string(kB), ren = to_string(kRenamed);
  EXPECT_EQ(FileLines(same, FolderAt(n, r + "/keep")),
            (std::vector<std::string>{"a.bin unchanged " + k + ' ' + k,
                                      "b.bin unchanged " + bb + ' ' + bb, "new.name new -1 " + ren,
                                      "old.name gone " + ren + " -1"}));
  EXPECT_EQ(FileLines(hiddenNow, FolderAt(*nowHidden, r + "/grow")),
            std::vector<std::string>{"g.bin grown " + to_string(kGrowBefore) + ' ' +
                                     to_string(kGrowAfter)});
  EXPECT_EQ(FileLines(same, FolderAt(n, r + "/shrink")),
            std::vector<std::string>{"s.bin shrunk " + to_string(kShrinkBefore) + ' ' +
                                     to_string(kShrinkAfter)});
  EXPECT_EQ(FileLines(same, FolderAt(n, r + "/new")),
            std::vector<std::string>{"n.bin new -1 " + to_string(kNew)});
  // Three names of one file, each its own size, though the folder counts it once.
  EXPECT_EQ(FileLines(fromOther, FolderAt(n, r + "/links")).size(), 3u);
}

// Totals counted again from an earlier scan's files equal those of a scan
// made with the other options, for every folder: sizes on disk, whole
// sectors, linked files once, hidden names left out, and a du-like scan
// counted as files only. What the earlier scan lacks is said.
TEST(ScanComparison, RecountedTotalsMatchAScanWithThoseOptions) {
  TempTree t;
  const std::string r = t.Path("r");
  t.Folder("r/a/.hid");
  t.Folder("r/b");
  DataFile(t.Path("r/top"), 10000);
  DataFile(t.Path("r/a/one"), 5000);
  DataFile(t.Path("r/a/.dot"), 3000);
  DataFile(t.Path("r/a/.hid/in"), 9000);
  DataFile(t.Path("r/b/big"), 70000);
  ASSERT_EQ(::link(t.Path("r/a/one").c_str(), t.Path("r/a/two").c_str()), 0);
  ASSERT_EQ(::symlink("top", t.Path("r/b/lnk").c_str()), 0);

  UsageOptions wide;  // hidden names, every name of a linked file, lengths
  wide.CountHidden = true;
  UsageOptions du;
  du.CountLikeDu = true;
  const auto wideDoc = Scan(r, wide);
  const auto duDoc = Scan(r, du);
  std::vector<UsageOptions> targets(4);
  targets[0].CountAllocated = true;
  targets[0].HardLinksOnce = true;
  targets[1].AllowForSectorSize = true;
  targets[1].SectorBytes = 4096;
  targets[2].HardLinksOnce = true;
  targets[2].CountHidden = true;
  for (const auto& [from, target] : {std::pair{wideDoc, targets[0]},
                                     {wideDoc, targets[1]},
                                     {wideDoc, targets[2]},
                                     {wideDoc, wide},
                                     {duDoc, targets[3]},
                                     {duDoc, targets[0]}}) {
    const auto fresh = Scan(r, target);
    const TScanTotals recounted(*from, ScanCounting::Of(target));
    std::size_t compared = 0;
    for (std::uint32_t i = 0; i < from->FolderCount(); ++i) {
      const std::string path = from->FolderPath(i);
      if (path.ends_with(".hid") && !target.CountHidden) {
        EXPECT_EQ(recounted.Total(i), TScanTotals::kNotCounted);
        continue;
      }
      EXPECT_EQ(recounted.Total(i), fresh->Folder(FolderAt(*fresh, path)).bytesBelow) << path;
      ++compared;
    }
    EXPECT_GE(compared, 3u);
  }
  // Not the same figures by chance: each counting gives its own total.
  EXPECT_NE(TScanTotals(*wideDoc, ScanCounting::Of(targets[0])).Total(0),
            TScanTotals(*wideDoc, ScanCounting::Of(targets[1])).Total(0));
  EXPECT_NE(TScanTotals(*wideDoc, ScanCounting::Of(targets[2])).Total(0),
            wideDoc->Folder(0).bytesBelow);

  // An earlier scan without sizes on disk: both are counted in lengths.
  UsageOptions allocated;
  allocated.CountAllocated = true;
  allocated.CountHidden = true;
  const auto allocatedDoc = Scan(r, allocated);
  const TScanComparison lengths(*allocatedDoc, *wideDoc, false);
  EXPECT_EQ(lengths.Notes(), std::vector<ComparisonNote>{ComparisonNote::NoAllocatedBefore});
  EXPECT_EQ(lengths.NowTotal(0), wideDoc->Folder(0).bytesBelow);
  EXPECT_EQ(ComparisonText(lengths, 0), "");
  // A du-like scan against an earlier plain one.
  const TScanComparison notDu(*duDoc, *wideDoc);
  EXPECT_EQ(notDu.Notes(), std::vector<ComparisonNote>{ComparisonNote::NotLikeDuBefore});
  // An earlier scan that kept no files: the new one is counted as it was.
  const auto foldersOnly = Scan(r, wide, ScanRecord::Folders);
  const TScanComparison asBefore(*allocatedDoc, *foldersOnly);
  EXPECT_EQ(asBefore.Notes(), std::vector<ComparisonNote>{ComparisonNote::NoFilesBefore});
  EXPECT_EQ(ComparisonText(asBefore, 0), "");
  const TScanComparison cannot(*Scan(r, targets[0]), *foldersOnly);
  EXPECT_EQ(cannot.Notes(), std::vector<ComparisonNote>{ComparisonNote::OptionsDiffer});
}

// The share done, against the earlier scan's folders and files, and the
// time left once there is enough to judge by.
TEST(ScanComparison, ProgressFromAnEarlierScan) {
  TempTree t;
  for (int i = 0; i < 9; ++i) t.File("r/d" + std::to_string(i % 3) + "/f" + std::to_string(i), 1);
  const auto doc = Scan(t.Path("r"), {});
  ASSERT_EQ(doc->FolderCount(), 4u);  // 4 folders and 9 files: 13 to see
  const TScanProgress progress(*doc);
  using std::chrono::seconds;
  const TScanProgress::Estimate half = progress.At(2, 4, seconds(12));  // 6 of 13
  EXPECT_DOUBLE_EQ(half.share, 6.0 / 13);
  ASSERT_TRUE(half.left);
  EXPECT_EQ(*half.left, seconds(14));  // 12 s for 6, 7 more to see
  EXPECT_FALSE(progress.At(2, 4, std::chrono::milliseconds(900)).left);
  EXPECT_FALSE(progress.At(0, 0, seconds(30)).left);
  EXPECT_DOUBLE_EQ(progress.At(40, 90, seconds(5)).share, 0.99);  // more than before
  EXPECT_DOUBLE_EQ(progress.At(40, 90, seconds(5), true).share, 1.0);
}
