#include "scan/DocumentLookup.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "TempTree.h"
#include "scan/FileTypeTally.h"
#include "scan/LargestFiles.h"
#include "scan/ReportScopes.h"
#include "scan/UsageDirectory.h"

namespace {

std::shared_ptr<const TScanDocument> ScanOf(const std::vector<std::string>& folders) {
  UsageOptions o;
  o.Folders = folders;
  o.Record = ScanRecord::Files;
  TReportTree tree;
  return RunUsageScan(o, tree, nullptr, nullptr).document;
}

std::set<std::string> OwnFiles(const TDocumentLookup::Place& place) {
  std::set<std::string> names;
  const TScanDocument& doc = *place.document;
  for (std::uint64_t j = doc.Folder(place.folder).firstFile; j < doc.KeptFilesEnd(place.folder);
       ++j) {
    names.emplace(doc.FileName(j));
  }
  return names;
}

// The starting folder a found folder was walked from.
std::string StartOf(const TDocumentLookup::Place& place) {
  std::uint32_t i = place.folder;
  while (place.document->Folder(i).parent != TScanDocument::kNoFolder) {
    i = place.document->Folder(i).parent;
  }
  return std::string(place.document->FolderName(i));
}

}  // namespace

// The newest document that walked a folder holds it: a later scan of a
// folder below another (in one scan or as a rescan) wins for what is below
// it, and only at a whole name: "r/a" is no ancestor of "r/ab".
TEST(DocumentLookup, FindsTheNewestDocumentThatWalkedTheFolder) {
  TempTree t;
  t.File("r/top.bin", 10);
  t.File("r/a/x.bin", 20);
  t.File("r/a/b/y.bin", 30);
  t.File("r/ab/q.bin", 40);
  const auto first = ScanOf({t.Path("r"), t.Path("r/a")});
  t.File("r/a/b/new.bin", 50);
  const auto rescan = ScanOf({t.Path("r/a/b") + "/"});
  ASSERT_TRUE(first && rescan);
  const std::vector<std::shared_ptr<const TScanDocument>> both = {first, rescan};

  const auto top = TDocumentLookup::Find(both, t.Path("r"));
  ASSERT_TRUE(top);
  EXPECT_EQ(top.document, first);
  EXPECT_EQ(top.document->FolderPath(top.folder), t.Path("r"));
  EXPECT_EQ(OwnFiles(top), (std::set<std::string>{"top.bin"}));

  const auto ab = TDocumentLookup::Find(both, t.Path("r/ab"));
  ASSERT_TRUE(ab);
  EXPECT_EQ(ab.document->FolderPath(ab.folder), t.Path("r/ab"));
  EXPECT_EQ(StartOf(ab), t.Path("r"));

  const auto a = TDocumentLookup::Find(both, t.Path("r/a"));
  ASSERT_TRUE(a);
  EXPECT_EQ(a.document, first);
  EXPECT_EQ(StartOf(a), t.Path("r/a"));  // the later of the nested starting folders
  EXPECT_EQ(OwnFiles(a), (std::set<std::string>{"x.bin"}));

  const auto b = TDocumentLookup::Find(both, t.Path("r/a/b"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b.document, rescan);
  EXPECT_EQ(OwnFiles(b), (std::set<std::string>{"new.bin", "y.bin"}));
  const auto older = TDocumentLookup::Find({first}, t.Path("r/a/b"));
  ASSERT_TRUE(older);
  EXPECT_EQ(OwnFiles(older), (std::set<std::string>{"y.bin"}));
}

// A report line no scan walked (a report read from text, a label edited)
// finds nothing.
TEST(DocumentLookup, APathNoDocumentHoldsIsNotFound) {
  TempTree t;
  t.File("r/a/x.bin", 20);
  const auto doc = ScanOf({t.Path("r")});
  ASSERT_TRUE(doc);
  for (const std::string& path : {t.Path("r/missing"), t.Path("r/a/x.bin"), t.Path("r/a/more"),
                                  t.Path("rx"), t.Root(), std::string("/"), std::string()}) {
    EXPECT_FALSE(TDocumentLookup::Find({doc}, path)) << path;
  }
  EXPECT_FALSE(TDocumentLookup::Find({}, t.Path("r")));
}

// The whole report seen through its documents holds every file once, as the
// newest walk of its folder found it, whatever folders were walked twice.
TEST(DocumentLookup, ReportScopesHoldEachFileOnceAsTheNewestWalkFoundIt) {
  TempTree t;
  t.File("r/top.bin", 10);
  t.File("r/a/x.bin", 20);
  t.File("r/a/b/y.bin", 30);
  t.File("r/ab/q.bin", 40);
  t.File("s/z.bin", 5);
  // "r/a" twice in one scan, then "r/a/b" again with a file more and one gone.
  const auto first = ScanOf({t.Path("r"), t.Path("r/a")});
  t.File("r/a/b/new.bin", 50);
  ASSERT_EQ(::unlink(t.Path("r/a/b/y.bin").c_str()), 0);
  const auto rescan = ScanOf({t.Path("r/a/b") + "/"});
  const auto other = ScanOf({t.Path("s")});
  const TReportScopes scopes({first, rescan, other});

  std::multiset<std::string> paths;
  const TLargestFiles largest(scopes, 100);
  for (const auto& f : largest.Files()) paths.insert(f.path);
  EXPECT_EQ(paths, (std::multiset<std::string>{t.Path("r/top.bin"), t.Path("r/a/x.bin"),
                                               t.Path("r/a/b/new.bin"), t.Path("r/ab/q.bin"),
                                               t.Path("s/z.bin")}));
  EXPECT_EQ(TFileTypeTally(scopes).TotalBytes(), 10 + 20 + 50 + 40 + 5);
}

// A line finds its folder by the names the walk found, though its label
// shows "?" for a leading blank or a line break; siblings that show alike
// are told apart by size, and a line that cannot be told apart finds none.
TEST(DocumentLookup, FindsALineByTheNamesTheWalkFound) {
  TempTree t;
  t.File("r/ a/x.bin", 1000);
  t.File("r/?a/x.bin", 2000);
  t.File("r/two\nlines/deep/y.bin", 3000);
  t.File("r/ b/x.bin", 500);
  t.File("r/?b/x.bin", 500);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Record = ScanRecord::Files;
  TReportTree tree;
  const std::vector<std::shared_ptr<const TScanDocument>> documents = {
      RunUsageScan(o, tree, nullptr, nullptr).document};
  std::vector<std::string> found;
  for (const TTreeNode* n = tree.TopLevel(0); n; n = TReportTree::NextInTreeOrder(n)) {
    const TDocumentLookup::NodePlace place = TDocumentLookup::FindNode(documents, n);
    found.push_back(n->Name() + " " + std::to_string(n->Bytes()) + ": " +
                    (place.path.empty() ? "none" : place.path.substr(t.Path("r").size())));
    if (!place.path.empty()) {
      EXPECT_EQ(place.startLength, t.Path("r").size());
    }
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found,
            (std::vector<std::string>{t.Path("r") + " 7000: ", "?a 1000: / a", "?a 2000: /?a",
                                      "?b 500: none", "?b 500: none", "deep 3000: /two\nlines/deep",
                                      "two?lines 3000: /two\nlines"}))
      << "the lines of " << tree.TextForm();
}
