#include "scan/ScanDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>

#include "TempTree.h"
#include "scan/FileTypeTally.h"
#include "scan/LargestFiles.h"
#include "scan/UsageDirectory.h"

namespace {

// The document's folder with this path, or kNoFolder.
std::uint32_t FolderAt(const TScanDocument& doc, const std::string& path) {
  for (std::uint32_t i = 0; i < doc.FolderCount(); ++i) {
    if (doc.FolderPath(i) == path) return i;
  }
  return TScanDocument::kNoFolder;
}

std::set<std::string> ChildNames(const TScanDocument& doc, std::uint32_t i) {
  std::set<std::string> names;
  for (std::uint32_t c = doc.FirstChild(i); c != TScanDocument::kNoFolder; c = doc.NextSibling(c)) {
    EXPECT_EQ(doc.Folder(c).parent, i);
    names.emplace(doc.FolderName(c));
  }
  return names;
}

// Name to length of a folder's own files, as the document has them.
std::map<std::string, std::int64_t> FilesOf(const TScanDocument& doc, std::uint32_t i) {
  std::map<std::string, std::int64_t> files;
  const ScanFolder& f = doc.Folder(i);
  for (std::uint64_t j = f.firstFile; j < f.firstFile + f.files; ++j) {
    const ScanFile file = doc.File(j);
    files.emplace(std::string(file.name), file.length);
  }
  return files;
}

void SetModified(const std::string& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

}  // namespace

// The report's limits shape its lines only: the document has every folder
// and file, its totals are the report's where the report has a line, and
// its links lead from each folder to its own files and sub-folders.
TEST(ScanDocument, KeepsWhatTheReportDropsAndAgreesWithIt) {
  TempTree t;
  t.File("r/top.bin", 1500);
  t.File("r/a/x.bin", 3000);
  t.File("r/a/w.bin", 0);
  t.File("r/a/b/y.bin", 700);
  t.File("r/a/b/c/z.bin", 10);
  t.File("r/small/s", 5);
  t.Folder("r/empty");
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.MaxDepth = 1;
  o.MinSizeK = 2;
  o.Record = ScanRecord::Files;
  TReportTree tree;
  const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
  ASSERT_TRUE(outcome.document);
  const TScanDocument& doc = *outcome.document;
  ASSERT_EQ(tree.Count(), 2u) << tree.TextForm();
  EXPECT_EQ(doc.FolderCount(), 6u);
  EXPECT_EQ(doc.FileCount(), 6u);
  EXPECT_FALSE(doc.Stopped());
  EXPECT_EQ(doc.StartingFolders(), o.Folders);
  EXPECT_LE(doc.Started(), doc.Ended());

  const std::uint32_t r = FolderAt(doc, t.Path("r"));
  const std::uint32_t a = FolderAt(doc, t.Path("r/a"));
  const std::uint32_t b = FolderAt(doc, t.Path("r/a/b"));
  const std::uint32_t c = FolderAt(doc, t.Path("r/a/b/c"));
  ASSERT_EQ(r, 0u);
  ASSERT_NE(c, TScanDocument::kNoFolder);
  EXPECT_EQ(doc.Folder(r).parent, TScanDocument::kNoFolder);
  EXPECT_EQ(doc.NextSibling(r), TScanDocument::kNoFolder);
  EXPECT_EQ(ChildNames(doc, r), (std::set<std::string>{"a", "small", "empty"}));
  EXPECT_EQ(ChildNames(doc, a), std::set<std::string>{"b"});
  EXPECT_EQ(ChildNames(doc, c), std::set<std::string>{});

  // The lines the report kept carry the document's totals.
  const TTreeNode* rootNode = tree.NodeAt(0);
  const TTreeNode* aNode = tree.NodeAt(1);
  EXPECT_EQ(doc.Folder(r).bytesBelow, rootNode->Bytes());
  EXPECT_EQ(doc.Folder(a).bytesBelow, aNode->Bytes());
  EXPECT_EQ(doc.Folder(r).bytesBelow, 5215);
  EXPECT_EQ(doc.Folder(r).filesBelow, 6u);
  EXPECT_EQ(rootNode->Files(), 6);
  EXPECT_EQ(aNode->Files(), 4);
  EXPECT_EQ(doc.Folder(r).foldersBelow, 5u);
  EXPECT_EQ(doc.Folder(r).span, 5u);
  EXPECT_EQ(doc.Folder(b).bytesBelow, 710);
  EXPECT_EQ(doc.Folder(b).bytes, 700);
  EXPECT_EQ(doc.Folder(b).files, 1u);
  EXPECT_EQ(doc.Folder(b).filesBelow, 2u);
  EXPECT_EQ(doc.Folder(b).flags & ~ScanFolder::Identified, ScanFolder::Finished);

  // Each folder's own files, and nothing of another's.
  EXPECT_EQ(FilesOf(doc, r), (std::map<std::string, std::int64_t>{{"top.bin", 1500}}));
  EXPECT_EQ(FilesOf(doc, a), (std::map<std::string, std::int64_t>{{"w.bin", 0}, {"x.bin", 3000}}));
  EXPECT_EQ(FilesOf(doc, c), (std::map<std::string, std::int64_t>{{"z.bin", 10}}));
  EXPECT_EQ(FilesOf(doc, FolderAt(doc, t.Path("r/empty"))).size(), 0u);
}

// A file's length, allocated bytes, time (before 1970 and past 2106 too)
// and kind; the identity only of files with several names, each of which
// counts as a file, as find counts them.
TEST(ScanDocument, FileFieldsAndLinkedFiles) {
  TempTree t;
  t.Folder("r");
  {
    const int fd = ::open(t.Path("r/data").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::string bytes(10000, 'x');
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), 10000);
    ::close(fd);
  }
  t.File("r/old", 1);
  t.File("r/far", 2);
  t.File("r/one", 3);
  ASSERT_EQ(::link(t.Path("r/one").c_str(), t.Path("r/two").c_str()), 0);
  SetModified(t.Path("r/data"), 1234567890);
  SetModified(t.Path("r/old"), -86400);
  SetModified(t.Path("r/far"), 5000000000);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Record = ScanRecord::Files;
  o.HardLinksOnce = true;
  TReportTree tree;
  const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
  ASSERT_TRUE(outcome.document);
  const TScanDocument& doc = *outcome.document;
  ASSERT_EQ(doc.FileCount(), 5u);
  EXPECT_EQ(tree.NodeAt(0)->Files(), 5);
  EXPECT_EQ(tree.NodeAt(0)->Bytes(), 10006);  // the second name counts nothing

  std::map<std::string, ScanFile> files;
  for (std::uint64_t j = 0; j < doc.FileCount(); ++j) {
    files[std::string(doc.FileName(j))] = doc.File(j);
    struct stat st;
    ASSERT_EQ(::lstat(t.Path("r/" + std::string(doc.FileName(j))).c_str(), &st), 0);
    EXPECT_EQ(doc.File(j).allocated, std::int64_t{st.st_blocks} * 512);
    EXPECT_EQ(doc.File(j).type, FileFacts::Type::Regular);
    const ScanLink* link = doc.Link(j);
    EXPECT_EQ(doc.File(j).linked, st.st_nlink > 1);
    ASSERT_EQ(link != nullptr, st.st_nlink > 1);
    if (link) {
      EXPECT_EQ(link->device, st.st_dev);
      EXPECT_EQ(link->inode, st.st_ino);
      EXPECT_EQ(link->links, 2u);
    }
  }
  ASSERT_EQ(files.size(), 5u);
  EXPECT_EQ(files["data"].length, 10000);
  EXPECT_GE(files["data"].allocated, 8192);
  EXPECT_EQ(files["data"].modified, 1234567890);
  EXPECT_EQ(files["old"].modified, -86400);
  EXPECT_EQ(files["far"].modified, 5000000000);
  EXPECT_TRUE(files["one"].linked && files["two"].linked);
  EXPECT_FALSE(files["data"].linked);
  EXPECT_EQ(doc.Folder(0).newest, 5000000000);
  EXPECT_EQ(doc.Folder(0).allocated, files["data"].allocated + files["old"].allocated +
                                         files["far"].allocated + files["one"].allocated * 2);
}

// A folder that cannot be listed is in the document, flagged, and marks
// its parent's total as the report does.
TEST(ScanDocument, UnreadableFolderIsFlagged) {
  TempTree t;
  t.File("r/ok/f", 100);
  t.File("r/locked/secret", 100);
  const auto text = RunUnprivileged(
      [&] {
        ::chmod(t.Path("r/locked").c_str(), 0);
        UsageOptions o;
        o.Folders = {t.Path("r")};
        o.Record = ScanRecord::Folders;
        TReportTree tree;
        const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
        std::string out;
        const TScanDocument& doc = *outcome.document;
        for (std::uint32_t i = 0; i < doc.FolderCount(); ++i) {
          out += std::string(doc.FolderName(i)) + "=" + std::to_string(doc.Folder(i).flags) + " ";
        }
        out += "problems=" + std::to_string(doc.Problems().size());
        ::chmod(t.Path("r/locked").c_str(), 0755);
        return out;
      },
      {t.Path("r")});
  ASSERT_TRUE(text) << "could not drop privileges";
  const std::string root =
      t.Path("r") + "=" + std::to_string(ScanFolder::Finished | ScanFolder::Failed) + " ";
  const std::string locked = "locked=" +
                             std::to_string(ScanFolder::Finished | ScanFolder::Unlisted |
                                            ScanFolder::Failed | ScanFolder::FailedHere) +
                             " ";
  const std::string ok = "ok=" + std::to_string(ScanFolder::Finished) + " ";
  EXPECT_EQ(text->find(root), 0u) << *text;
  EXPECT_NE(text->find(locked), std::string::npos) << *text;
  EXPECT_NE(text->find(ok), std::string::npos) << *text;
  EXPECT_NE(text->find("problems=1"), std::string::npos) << *text;
}

// Without a record nothing is kept; with one the report is the same to the
// byte, and so are its counts.
TEST(ScanDocument, RecordNoneKeepsNothingAndTheReportIsTheSame) {
  TempTree t;
  t.File("r/a/x.bin", 3000);
  t.File("r/a/b/y.bin", 7000);
  t.File("r/c/z", 50);
  t.File("r/f", 2500);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.MinSizeK = 1;
  std::string text;
  std::vector<std::int64_t> counts;
  for (const ScanRecord record : {ScanRecord::None, ScanRecord::Folders, ScanRecord::Files}) {
    o.Record = record;
    TReportTree tree;
    const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
    std::vector<std::int64_t> mine;
    for (std::size_t i = 0; i < tree.Count(); ++i) mine.push_back(tree.NodeAt(i)->Files());
    if (record == ScanRecord::None) {
      EXPECT_FALSE(outcome.document);
      text = tree.TextForm();
      counts = mine;
      EXPECT_EQ(counts, (std::vector<std::int64_t>{4, 2, 1}));
      continue;
    }
    EXPECT_EQ(tree.TextForm(), text);
    EXPECT_EQ(mine, counts);
    ASSERT_TRUE(outcome.document);
    EXPECT_EQ(outcome.document->FolderCount(), 4u);
    EXPECT_EQ(outcome.document->Folder(0).filesBelow, 4u);
    EXPECT_EQ(outcome.document->FileCount(), record == ScanRecord::Files ? 4u : 0u);
  }
}

// Folders the walk does not enter are in the document with the reason.
TEST(ScanDocument, LeftOutFolders) {
  TempTree t;
  t.File("r/keep/k", 10);
  t.File("r/skip/s", 20);
  t.File("r/.hidden/h", 30);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Exclude = {"skip"};
  o.Record = ScanRecord::Folders;
  TReportTree tree;
  const ScanOutcome outcome = RunUsageScan(o, tree, nullptr, nullptr);
  ASSERT_TRUE(outcome.document);
  const TScanDocument& doc = *outcome.document;
  std::map<std::string, LeftOutReason> leftOut;
  for (std::uint32_t i = 0; i < doc.FolderCount(); ++i) {
    const ScanFolder& f = doc.Folder(i);
    if (!f.Has(ScanFolder::LeftOut)) continue;
    EXPECT_EQ(f.parent, 0u);
    EXPECT_EQ(f.filesBelow, 0u);
    leftOut[std::string(doc.FolderName(i))] = f.leftOut;
  }
  EXPECT_EQ(leftOut, (std::map<std::string, LeftOutReason>{{".hidden", LeftOutReason::Hidden},
                                                           {"skip", LeftOutReason::Excluded}}));
  // They are no part of the totals.
  EXPECT_EQ(doc.Folder(0).bytesBelow, 10);
  EXPECT_EQ(doc.Folder(0).foldersBelow, 1u);
  EXPECT_EQ(doc.FolderCount(), 4u);
}

// The questions asked of one folder see its sub-tree's files and no others,
// with what the report counted for each (a second name of a file counted
// once adds nothing).
TEST(ScanDocument, LargestFilesAndTypesBelowAFolder) {
  TempTree t;
  t.File("r/a/x.log", 900);
  t.File("r/a/deep/y.LOG", 800);
  t.File("r/a/deep/z.bin", 700);
  t.File("r/b/w.log", 5000);
  t.File("r/top.bin", 10000);
  ASSERT_EQ(::link(t.Path("r/b/w.log").c_str(), t.Path("r/a/deep/w-again.log").c_str()), 0);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Record = ScanRecord::Files;
  o.HardLinksOnce = true;
  TReportTree tree;
  const auto doc = RunUsageScan(o, tree, nullptr, nullptr).document;
  ASSERT_TRUE(doc);
  const std::uint32_t a = FolderAt(*doc, t.Path("r/a"));
  ASSERT_NE(a, TScanDocument::kNoFolder);
  const TLargestFiles largest(*doc, 3, a);
  std::vector<std::pair<std::int64_t, std::string>> got;
  for (const auto& f : largest.Files()) got.emplace_back(f.bytes, f.path);
  // w-again.log was reached after w.log or before it: 5000 in one place, 0 in the other.
  const bool againCounts = largest.Files().front().bytes == 5000;
  std::vector<std::pair<std::int64_t, std::string>> expected = {
      {900, t.Path("r/a/x.log")}, {800, t.Path("r/a/deep/y.LOG")}, {700, t.Path("r/a/deep/z.bin")}};
  if (againCounts) {
    expected.insert(expected.begin(), {5000, t.Path("r/a/deep/w-again.log")});
    expected.pop_back();
  }
  EXPECT_EQ(got, expected);

  const TFileTypeTally types(*doc, a);
  ASSERT_EQ(types.Types().size(), 2u);
  EXPECT_EQ(types.Types()[0].name, "log");
  EXPECT_EQ(types.Types()[0].files, 3u);
  EXPECT_EQ(types.Types()[0].bytes, 1700 + (againCounts ? 5000 : 0));
  EXPECT_EQ(types.Types()[1].name, "bin");
  EXPECT_EQ(types.Types()[1].bytes, 700);
  EXPECT_EQ(TFileTypeTally(*doc).TotalBytes(), 900 + 800 + 700 + 5000 + 10000);
  const TLargestFiles onlyBin(*doc, 10, TScanDocument::kNoFolder,
                              [](const ScanFile& f) { return f.name.ends_with(".bin"); });
  ASSERT_EQ(onlyBin.Files().size(), 2u);
  EXPECT_EQ(onlyBin.Files()[0].path, t.Path("r/top.bin"));
}

// Each line knows the newest file below it; a rescan that takes that file
// away leaves the lines above without a date rather than with a wrong one,
// and a newer file reaches every line above.
TEST(ScanDocument, NewestFileBelowEachLineFollowsRescans) {
  TempTree t;
  t.File("r/old", 1);
  t.File("r/a/mid", 1);
  t.File("r/a/b/new", 1);
  SetModified(t.Path("r/old"), 1000000000);
  SetModified(t.Path("r/a/mid"), 1100000000);
  SetModified(t.Path("r/a/b/new"), 1200000000);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  TReportTree tree;
  RunUsageScan(o, tree, nullptr, nullptr);
  TTreeNode* r = tree.TopLevel(0);
  TTreeNode* a = r->Child(0);
  TTreeNode* b = a->Child(0);
  EXPECT_EQ(r->Newest(), 1200000000);
  EXPECT_EQ(a->Newest(), 1200000000);
  EXPECT_EQ(b->Newest(), 1200000000);

  ASSERT_EQ(::unlink(t.Path("r/a/b/new").c_str()), 0);
  RescanUsageFolder(b, o, tree, nullptr, nullptr);
  EXPECT_FALSE(b->HasNewest()) << "no file left in it";
  EXPECT_FALSE(a->HasNewest()) << "its own files may or may not be the newest now";
  EXPECT_FALSE(r->HasNewest());

  t.File("r/a/b/newer", 1);
  SetModified(t.Path("r/a/b/newer"), 1300000000);
  RescanUsageFolder(b, o, tree, nullptr, nullptr);
  EXPECT_EQ(r->Newest(), 1300000000);
  EXPECT_EQ(a->Newest(), 1300000000);
}

// A large scan spans many of the document's blocks: every record and name
// reads back whole across their edges, before and after Finish gives the
// unused room back.
TEST(ScanDocument, LargeScansReadBackAcrossBlockEdges) {
  constexpr std::uint64_t kFiles = 1'100'000;  // beyond two blocks of file records
  constexpr std::uint32_t kFolders = 70'000;   // beyond two blocks of folder records
  const auto fileName = [](std::uint64_t j) {
    return "f" + std::to_string(j) + std::string(j % 23, 'x');  // names cross name blocks
  };
  const auto folderName = [](std::uint32_t i) {
    return "folder " + std::to_string(i) + std::string(i % 41, 'y');
  };
  UsageOptions o;
  o.Folders = {"/top"};
  o.Record = ScanRecord::Files;
  TScanDocument doc;
  doc.Begin(o, "host");
  doc.OpenFolder("/top", 4);
  FileFacts facts;
  for (std::uint64_t j = 0; j < kFiles; ++j) {
    const std::string name = fileName(j);
    facts.modified = static_cast<std::int64_t>(j);
    doc.AddFile(name.data(), name.size(), static_cast<std::int64_t>(j), 1, facts);
  }
  for (std::uint32_t i = 0; i < kFolders; ++i) {
    const std::string name = folderName(i);
    doc.OpenFolder(name.data(), name.size());
    doc.CloseFolder(0, false, false);
  }
  const auto check = [&] {
    ASSERT_EQ(doc.FileCount(), kFiles);
    ASSERT_EQ(doc.FolderCount(), kFolders + 1);
    for (std::uint64_t j = 0; j < kFiles; ++j) {
      const ScanFile file = doc.File(j);
      ASSERT_EQ(file.name, fileName(j)) << j;
      ASSERT_EQ(file.length, static_cast<std::int64_t>(j)) << j;
      ASSERT_EQ(file.modified, static_cast<std::int64_t>(j)) << j;
    }
    for (std::uint32_t i = 0; i < kFolders; ++i) {
      ASSERT_EQ(doc.FolderName(i + 1), folderName(i)) << i;
      ASSERT_EQ(doc.Folder(i + 1).parent, 0u) << i;
    }
  };
  check();
  doc.CloseFolder(static_cast<std::int64_t>(kFiles), false, false);
  doc.Finish({}, false);
  check();
}
