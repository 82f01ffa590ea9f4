#include "scan/NameSearch.h"

#include <atomic>
#include <set>
#include <string>

#include "TempTree.h"
#include "scan/UsageDirectory.h"

namespace {

// "f path bytes" or "d path bytes" a hit; the folder a hit names must be
// the one its path says.
std::set<std::string> Found(const TNameSearch& search, const std::string& root) {
  std::set<std::string> found;
  for (const TNameSearch::Hit& hit : search.Hits()) {
    const bool folder = hit.kind == TNameSearch::Kind::Folder;
    const std::string folderPath = hit.document->FolderPath(hit.folder);
    if (folder) {
      EXPECT_EQ(folderPath, hit.path);
      EXPECT_EQ(hit.index, hit.folder);
    } else {
      EXPECT_EQ(folderPath + "/" + std::string(hit.document->FileName(hit.index)), hit.path);
    }
    found.insert((folder ? "d " : "f ") + hit.path.substr(root.size() + 1) + " " +
                 std::to_string(hit.bytes));
  }
  return found;
}

// Without "*" or "?" a name holds the pattern anywhere; with them the
// whole name matches it; case never counts; folders and files alike.
// Past the limit the search says there were more.
TEST(NameSearch, ContainsOrWildcardFilesAndFoldersUpToALimit) {
  TempTree t;
  t.File("r/Photos/holiday.JPG", 100);
  t.File("r/Photos/beach.jpg", 200);
  t.File("r/docs/photo-notes.txt", 50);
  t.File("r/docs/readme.md", 10);
  t.File("r/photo.jpg.bak", 5);
  UsageOptions o;
  o.Folders = {t.Path("r")};
  o.Record = ScanRecord::Files;
  TReportTree tree;
  const auto doc = RunUsageScan(o, tree, nullptr, nullptr).document;
  ASSERT_TRUE(doc);
  const TReportScopes scopes({doc});
  const std::string& root = t.Root();

  const TNameSearch contains(scopes, "PHOTO", 100);
  EXPECT_EQ(Found(contains, root),
            (std::set<std::string>{"d r/Photos 300", "f r/docs/photo-notes.txt 50",
                                   "f r/photo.jpg.bak 5"}));
  EXPECT_FALSE(contains.More());

  // photo.jpg.bak holds ".jpg" but does not end with it.
  EXPECT_EQ(Found(TNameSearch(scopes, "*.jpg", 100), root),
            (std::set<std::string>{"f r/Photos/holiday.JPG 100", "f r/Photos/beach.jpg 200"}));
  EXPECT_EQ(Found(TNameSearch(scopes, "?EACH.*", 100), root),
            (std::set<std::string>{"f r/Photos/beach.jpg 200"}));
  EXPECT_EQ(Found(TNameSearch(scopes, "photo?", 100), root),
            (std::set<std::string>{"d r/Photos 300"}));  // "?" is one byte, not none
  EXPECT_EQ(Found(TNameSearch(scopes, "r", 100), root).count("d r 365"), 1u)
      << "the starting folder by the last part of its path";
  EXPECT_TRUE(TNameSearch(scopes, "", 100).Hits().empty());

  // Everything: three folders and five files.
  const TNameSearch all(scopes, "*", 8);
  EXPECT_EQ(all.Hits().size(), 8u);
  EXPECT_FALSE(all.More());
  const TNameSearch limited(scopes, "*", 3);
  EXPECT_EQ(limited.Hits().size(), 3u);
  EXPECT_TRUE(limited.More());

  const std::atomic<bool> cancel{true};
  const TNameSearch cancelled(scopes, "*", 100, &cancel);
  EXPECT_TRUE(cancelled.Cancelled());
  EXPECT_TRUE(cancelled.Hits().empty());
}

}  // namespace
