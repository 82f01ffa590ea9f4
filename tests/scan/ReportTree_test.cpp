#include <algorithm>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "TempTree.h"
#include "scan/Errors.h"
#include "scan/LabelCollation.h"
#include "scan/ReportTree.h"
#include "scan/UsageDirectory.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EVorntoolsError& e) {
    return e.what();
  }
  return "";
}

// Follows the tree through its notifications only, the way a view does, and
// checks at every step that what it was told matches the tree.
class MirrorObserver : public TTreeObserver {
 public:
  explicit MirrorObserver(TReportTree& tree) : tree_(tree) { tree.SetObserver(this); }
  int resets = 0, inserted = 0, removed = 0, moved = 0, labels = 0, reorders = 0;
  std::size_t known = 0;  // node count as the notifications tell it

  void NodesAboutToBeInserted(TTreeNode* parent, std::size_t row) override {
    EXPECT_LE(row, parent ? parent->ChildCount() : tree_.TopLevelCount());
    pendingInsert_ = parent;
  }
  void NodesInserted() override {
    ++inserted;
    ++known;
    CheckRows(pendingInsert_);
  }
  void NodesAboutToBeRemoved(TTreeNode* parent, std::size_t row) override {
    TTreeNode* node = parent ? parent->Child(row) : tree_.TopLevel(row);
    known -= Subtree(node);
    pendingRemove_ = parent;
  }
  void NodesRemoved() override {
    ++removed;
    CheckRows(pendingRemove_);
  }
  void NodeAboutToMove(TTreeNode* parent, std::size_t from, std::size_t before) override {
    EXPECT_NE(before, from);
    EXPECT_NE(before, from + 1);
    pendingMove_ = parent;
  }
  void NodeMoved() override {
    ++moved;
    CheckRows(pendingMove_);
  }
  void LabelChanged(TTreeNode*) override { ++labels; }
  void ExpandedChanged(TTreeNode*) override {}
  void AboutToReorder() override {}
  void Reordered() override { ++reorders; }
  void AboutToReset() override {}
  void Reset() override {
    ++resets;
    known = tree_.Count();
  }

 private:
  static std::size_t Subtree(const TTreeNode* node) {
    std::size_t n = 1;
    for (std::size_t i = 0; i < node->ChildCount(); ++i) n += Subtree(node->Child(i));
    return n;
  }
  void CheckRows(TTreeNode* parent) {
    const std::size_t n = parent ? parent->ChildCount() : tree_.TopLevelCount();
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ((parent ? parent->Child(i) : tree_.TopLevel(i))->Row(), i);
    }
    EXPECT_EQ(known, tree_.Count());
  }
  TReportTree& tree_;
  TTreeNode* pendingInsert_ = nullptr;
  TTreeNode* pendingRemove_ = nullptr;
  TTreeNode* pendingMove_ = nullptr;
};

}  // namespace

TEST(ReportTree, TextFormRoundTripAndIndexing) {
  TempTree t;
  TReportTree tree;
  TTreeNode* root = tree.AddChild(nullptr, "D:\\");
  tree.AddChild(root, "A");
  TTreeNode* b = tree.AddChild(root, "B");
  tree.AddChild(b, "B1");
  tree.AddChild(nullptr, "\xff\xfe not UTF-8 \xc3");
  const std::string expected = "D:\\\r\n\tA\r\n\tB\r\n\t\tB1\r\n\xff\xfe not UTF-8 \xc3\r\n";
  tree.Save(t.Path("r.txt"));
  EXPECT_EQ(ReadFile(t.Path("r.txt")), expected);

  TReportTree back;
  back.Load(t.Path("r.txt"));
  EXPECT_EQ(back.TextForm(), expected);
  EXPECT_EQ(back.Count(), 5u);
  EXPECT_EQ(back.NodeAt(3)->Label(), "B1");
  EXPECT_EQ(back.NodeAt(3)->Level(), 2);
  EXPECT_EQ(back.NodeAt(3)->Parent()->Label(), "B");
  EXPECT_EQ(back.NodeAt(4)->Level(), 0);
  EXPECT_EQ(ErrorOf([&] { back.NodeAt(5); }), "Invalid index");
  EXPECT_EQ(ErrorOf([&] { back.NodeAt(-1); }), "Invalid index");

  TReportTree empty;
  empty.Save(t.Path("empty.txt"));
  EXPECT_EQ(ReadFile(t.Path("empty.txt")), "");
  back.Load(t.Path("empty.txt"));
  EXPECT_EQ(back.Count(), 0u);
}

TEST(ReportTree, LoadFollowsTheLineRules) {
  using namespace std::string_literals;
  TReportTree tree;
  const struct {
    std::string text;
    const char* expected;  // the text form after loading, or the error
  } cases[] = {
      {"a\nb\n\tc\n", "a\r\nb\r\n\tc\r\n"},       // LF only
      {"a\rb\r\tc", "a\r\nb\r\n\tc\r\n"},         // CR only, no final break
      {"a\r\n\r\n b \r\n", "a\r\n\r\n\tb \r\n"},  // empty line; blanks are levels
      {"\ta\n\tb\n", "a\r\n\tb\r\n"},             // first line one level in is top-level
      {"a\n\x1a\n", "a\r\n"},                     // Ctrl-Z line skipped
      {"a\n\tb\n\t\tc\n\td\nx", "a\r\n\tb\r\n\t\tc\r\n\td\r\nx\r\n"},
      {"a\n\tb\0\tc\n"s, "a\r\n\tb\r\n"},  // NUL ends the text
  };
  for (const auto& c : cases) {
    tree.LoadText(c.text);
    EXPECT_EQ(tree.TextForm(), c.expected) << c.text;
  }
}

TEST(ReportTree, LoadFailuresKeepWhatWasRead) {
  TempTree t;
  TReportTree tree;
  tree.AddChild(nullptr, "keep");
  EXPECT_EQ(ErrorOf([&] { tree.Load(t.Path("missing.txt")); }),
            "Cannot open file " + t.Path("missing.txt") + ": No such file or directory");
  EXPECT_EQ(tree.TextForm(), "keep\r\n");
  EXPECT_EQ(ErrorOf([&] { tree.Load(t.Root()); }),
            "Cannot open file " + t.Root() + ": Is a directory");

  EXPECT_EQ(ErrorOf([&] { tree.LoadText("\t\tdeep\n"); }), "Invalid item level assignment");
  EXPECT_EQ(tree.Count(), 0u);
  EXPECT_EQ(ErrorOf([&] { tree.LoadText("a\n\tb\n\t\t\td\ne\n"); }),
            "Invalid item level assignment");
  EXPECT_EQ(tree.TextForm(), "a\r\n\tb\r\n");

  // Any bytes at all: no crash, and every line becomes a node or an error.
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += static_cast<char>((i * 7919) % 256);
  ErrorOf([&] { tree.LoadText(noise); });
  EXPECT_LE(tree.Count(), noise.size());
}

TEST(ReportTree, FailedSaveKeepsThePreviousFile) {
  TempTree t;
  TReportTree tree;
  tree.AddChild(nullptr, "new");
  WriteFile(t.Path("report.txt"), "old\r\n");
  t.Folder("dir");
  EXPECT_EQ(ErrorOf([&] { tree.Save(t.Path("dir")); }),
            "Cannot create file " + t.Path("dir") + ": Is a directory");
  EXPECT_EQ(ErrorOf([&] { tree.Save(t.Path("no/such/folder/r.txt")); }),
            "Cannot create file " + t.Path("no/such/folder/r.txt") + ": No such file or directory");
  // In a folder that cannot be written to, the old file stays whole.
  ::chmod(t.Root().c_str(), 0555);
  const auto out =
      RunUnprivileged([&] { return ErrorOf([&] { tree.Save(t.Path("report.txt")); }); });
  ::chmod(t.Root().c_str(), 0755);
  if (out) {
    EXPECT_EQ(*out, "Cannot create file " + t.Path("report.txt") + ": Permission denied");
    EXPECT_EQ(ReadFile(t.Path("report.txt")), "old\r\n");
  }
  tree.Save(t.Path("report.txt"));
  EXPECT_EQ(ReadFile(t.Path("report.txt")), "new\r\n");
  EXPECT_FALSE(std::filesystem::exists(t.Path("report.txt.tmp")));
  std::size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(t.Root())) files += e.is_regular_file();
  EXPECT_EQ(files, 1u) << "no temporary file left behind";
}

TEST(ReportTree, SortOrdersBySizeThenMarkThenNameUnderEveryLocale) {
  for (const char* locale : {"C", "C.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
    if (!std::setlocale(LC_COLLATE, locale)) continue;
    TReportTree tree;
    TTreeNode* r = tree.AddChild(nullptr, "r");
    for (const char* label : {"10000000K  huge", "....121K *b", "9999999K  big", "......5K  x",
                              "....121K  c", ".....10K  y", "....121K  a", "bare"}) {
      tree.AddChild(r, label);
    }
    tree.SortByLabel();
    std::string order;
    for (std::size_t i = 0; i < r->ChildCount(); ++i) order += r->Child(i)->Label() + "|";
    EXPECT_EQ(order,
              "......5K  x|.....10K  y|....121K  a|....121K  c|....121K *b|9999999K  big|"
              "10000000K  huge|bare|")
        << locale;
  }
  std::setlocale(LC_COLLATE, "C");
  EXPECT_LT(CompareLabels("......0K  a", "......0K *a"), 0);
  EXPECT_LT(CompareLabels("Zeta", "alpha"), 0);  // C order: capitals first
  EXPECT_NE(CompareLabels("a", "A"), 0);
}

TEST(ReportTree, SortedModeKeepsSiblingsInOrderAndNotifiesConsistently) {
  TReportTree tree;
  MirrorObserver mirror(tree);
  TTreeNode* r = tree.AddChild(nullptr, "r");
  TTreeNode* c = tree.AddChild(r, "c");
  tree.AddChild(r, "a");
  tree.SortByLabel();
  tree.SortByLabel();  // the second press changes nothing
  EXPECT_EQ(mirror.reorders, 1);
  EXPECT_EQ(tree.TextForm(), "r\r\n\ta\r\n\tc\r\n");
  tree.AddChild(r, "b");
  EXPECT_EQ(tree.TextForm(), "r\r\n\ta\r\n\tb\r\n\tc\r\n");
  tree.SetLabel(c, "0");   // moves to the front
  tree.SetLabel(c, "z");   // and to the back
  tree.SetLabel(c, "zz");  // stays
  EXPECT_EQ(tree.TextForm(), "r\r\n\ta\r\n\tb\r\n\tzz\r\n");
  EXPECT_EQ(mirror.moved, 2);
  tree.Delete(r->Child(1));
  EXPECT_EQ(tree.TextForm(), "r\r\n\ta\r\n\tzz\r\n");
  tree.Clear();
  EXPECT_TRUE(tree.Sorted()) << "emptying the tree keeps the sort mode";
  tree.LoadText("x\n\tb\n\ta\n");
  EXPECT_EQ(tree.TextForm(), "x\r\n\ta\r\n\tb\r\n");
  EXPECT_EQ(mirror.known, tree.Count());
}

TEST(ReportTree, LineBreaksInNamesCannotBreakTheTextForm) {
  TempTree t;
  t.File("r/new\nline/f", 3000);
  t.File("r/new\nline/z/f", 1);
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Path("r")};
  RunUsageScan(o, tree, nullptr, nullptr);
  tree.SetLabel(tree.NodeAt(2), "a\r\nb");
  tree.AddChild(nullptr, "\x1a");
  tree.AddChild(tree.NodeAt(3), "\t name");
  EXPECT_EQ(tree.TextForm(), "......3K  " + t.Path("r") +
                                 "\r\n\t......3K  new?line\r\n\t\ta??b\r\n?\r\n\t??name\r\n");
  tree.Save(t.Path("out.txt"));
  TReportTree back;
  back.Load(t.Path("out.txt"));
  EXPECT_EQ(back.TextForm(), tree.TextForm());
}

TEST(ReportTree, ExpandSelectAndDeleteSelected) {
  TReportTree tree;
  TTreeNode* r = tree.AddChild(nullptr, "r");
  TTreeNode* a = tree.AddChild(r, "a");
  tree.AddChild(a, "a1");
  tree.Expand(r);
  EXPECT_TRUE(r->Expanded());
  EXPECT_FALSE(a->Expanded()) << "one level only";
  tree.Collapse(r);
  EXPECT_FALSE(r->Expanded());
  tree.SetSelected(a);
  tree.Delete(r);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(tree.Count(), 0u);
}

TEST(ReportTree, NodesKeepTheScansExactNumbersAndReadThemBackFromLabels) {
  TempTree t;
  t.File("r/a/f", 1500);
  t.File("r/g", 700);
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Path("r")};
  RunUsageScan(o, tree, nullptr, nullptr);
  TTreeNode* root = tree.NodeAt(0);
  TTreeNode* a = tree.NodeAt(1);
  ASSERT_TRUE(root->HasSize());
  EXPECT_EQ(root->Bytes(), 2200);
  EXPECT_EQ(a->Bytes(), 1500);
  EXPECT_FALSE(a->Failed());

  // Renaming in place keeps the exact bytes; a new size field replaces them.
  tree.SetLabel(a, "......1K  renamed");
  EXPECT_EQ(a->Bytes(), 1500);
  tree.SetLabel(a, ".....20K *edited");
  EXPECT_EQ(a->Bytes(), 20480);
  EXPECT_TRUE(a->Failed());
  tree.SetLabel(a, "notes by hand");
  EXPECT_FALSE(a->HasSize());
  EXPECT_EQ(a->Bytes(), 0);

  TReportTree back;
  back.LoadText(tree.TextForm());
  EXPECT_EQ(back.NodeAt(0)->Bytes(), 2048) << "whole K from the label";
  EXPECT_FALSE(back.NodeAt(1)->HasSize());
  back.LoadText("......3K *m\r\n");
  EXPECT_EQ(back.NodeAt(0)->Bytes(), 3072);
  EXPECT_TRUE(back.NodeAt(0)->Failed());
}

// Sort orders by the numbers each node keeps; the order must be the one the
// labels themselves give, on any mix of labels.
TEST(ReportTree, SortByNumbersGivesTheLabelsOwnOrder) {
  std::mt19937 random(7);
  const char* names[] = {"a", "B", "b", "", "x y", "K", "0", ".", "*"};
  // Finished labels, near misses ("%dK %s" lacks the mark) and bare names.
  const char* forms[] = {"......%dK  %s", "......%dK *%s", "..%dK  %s",
                         "-%dK  %s",      "%dK %s",        ".......%dK  %s"};
  std::vector<std::string> labels;
  for (int i = 0; i < 400; ++i) {
    const char* name = names[random() % std::size(names)];
    if (random() % 4 == 0) {
      if (*name) labels.push_back(name);
      continue;
    }
    char label[64];
    const int size = static_cast<int>(random() % 5) * (random() % 3 == 0 ? 1000 : 1);
    std::snprintf(label, sizeof label, forms[random() % std::size(forms)], size, name);
    labels.push_back(label);
  }
  TReportTree tree;
  for (const std::string& label : labels) tree.AddChild(nullptr, label);
  tree.SortByLabel();
  std::stable_sort(labels.begin(), labels.end(), [](const std::string& x, const std::string& y) {
    return CompareLabels(x, y) < 0;
  });
  ASSERT_EQ(tree.TopLevelCount(), labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i)
    EXPECT_EQ(tree.TopLevel(i)->Label(), labels[i]) << i;
}

// 2^63 - 1 bytes shows as 2^53 K, the largest size a label is written with;
// a larger hand-typed size is no size, so Sort and CompareLabels agree.
TEST(ReportTree, SizesBeyondTheLargestWrittenAreNoSize) {
  TReportTree tree;
  tree.AddChild(nullptr, "9017099254740992K  b");
  tree.AddChild(nullptr, "9007199254740992K  c");
  tree.AddChild(nullptr, "-9007199254740992K  n");
  EXPECT_FALSE(tree.TopLevel(0)->HasSize());
  EXPECT_EQ(tree.TopLevel(1)->Bytes(), INT64_MAX);
  EXPECT_EQ(tree.TopLevel(2)->Bytes(), -INT64_MAX);
  tree.SortByLabel();
  EXPECT_EQ(tree.TextForm(),
            "-9007199254740992K  n\r\n9007199254740992K  c\r\n9017099254740992K  b\r\n");
}

TEST(ReportTree, EveryObserverIsToldInOrderAndOneMayLeaveWhileBeingTold) {
  struct Logger : TTreeObserver {
    std::string name;
    std::string* log;
    TReportTree* tree = nullptr;
    bool leaveOnInsert = false;
    Logger(std::string n, std::string* l) : name(std::move(n)), log(l) {}
    void Note(const char* what) { *log += name + what + " "; }
    void NodesAboutToBeInserted(TTreeNode*, std::size_t) override {
      Note("<ins");
      if (leaveOnInsert) tree->RemoveObserver(this);
    }
    void NodesInserted() override { Note("ins>"); }
    void NodesAboutToBeRemoved(TTreeNode*, std::size_t) override { Note("<rem"); }
    void NodesRemoved() override { Note("rem>"); }
    void NodeAboutToMove(TTreeNode*, std::size_t, std::size_t) override {}
    void NodeMoved() override {}
    void LabelChanged(TTreeNode*) override { Note("label"); }
    void ExpandedChanged(TTreeNode*) override {}
    void AboutToReorder() override {}
    void Reordered() override {}
    void AboutToReset() override { Note("<reset"); }
    void Reset() override { Note("reset>"); }
  };
  std::string log;
  TReportTree tree;
  Logger first("1", &log), second("2", &log), third("3", &log);
  tree.AddObserver(&first);
  tree.AddObserver(&second);
  tree.AddObserver(&third);
  TTreeNode* node = tree.AddChild(nullptr, "a");
  tree.SetLabel(node, "b");
  tree.LoadText("x\n\ty\n");
  EXPECT_EQ(log,
            "1<ins 2<ins 3<ins 1ins> 2ins> 3ins> 1label 2label 3label "
            "1<reset 2<reset 3<reset 1reset> 2reset> 3reset> ");
  log.clear();
  second.tree = &tree;
  second.leaveOnInsert = true;
  tree.AddChild(nullptr, "z");
  tree.Delete(tree.TopLevel(0));
  EXPECT_EQ(log, "1<ins 2<ins 3<ins 1ins> 3ins> 1<rem 3<rem 1rem> 3rem> ");
}

// A loaded report keeps what its labels say of each folder: whole K, the
// mark, the name and so the path. A correction on it starts from those.
TEST(ReportTree, NodeNumbersAcrossSaveAndLoad) {
  TempTree t;
  t.File("r/top.bin", 1500);
  t.File("r/a/x.bin", 3000);
  t.File("r/a/b/y.bin", 700);
  TReportTree tree;
  UsageOptions o;
  o.Folders = {t.Path("r")};
  RunUsageScan(o, tree, nullptr, nullptr);
  ASSERT_EQ(tree.Count(), 3u);
  EXPECT_EQ(tree.NodeAt(0)->Bytes(), 5200);
  tree.Save(t.Path("out.txt"));
  TReportTree back;
  back.Load(t.Path("out.txt"));
  ASSERT_EQ(back.Count(), 3u);
  for (std::int64_t i = 0; i < 3; ++i) {
    const TTreeNode* before = tree.NodeAt(i);
    const TTreeNode* after = back.NodeAt(i);
    EXPECT_TRUE(after->HasSize());
    EXPECT_EQ(after->Bytes(), RoundedKilobytes(before->Bytes()) * 1024) << i;
    EXPECT_EQ(after->Failed(), before->Failed());
    EXPECT_EQ(after->Name(), before->Name());
    EXPECT_EQ(TReportTree::PathOf(after), TReportTree::PathOf(before));
  }
  EXPECT_EQ(TReportTree::PathOf(back.NodeAt(2)), t.Path("r/a/b"));
  // Removing b takes its 1K from the 4K of a and the 5K of r.
  back.DeleteAndCorrect(back.NodeAt(2));
  EXPECT_EQ(back.TextForm(), "......4K  " + t.Path("r") + "\r\n\t......3K  a\r\n");
  EXPECT_EQ(back.NodeAt(0)->Bytes(), 4096);
  EXPECT_FALSE(back.NodeAt(0)->HasFiles()) << "text gives no count, and a removal makes none";
  // A folder above that falls below the size limit loses its line, as a
  // scan with that limit would leave it out; its bytes stay in its parent.
  back.LoadText("......5K  /r\r\n\t......4K  a\r\n\t\t......3K *b\r\n");
  back.DeleteAndCorrect(back.NodeAt(2), 2048);
  EXPECT_EQ(back.TextForm(), "......2K  /r\r\n");
  // A label read from another system's report makes no path.
  back.LoadText("......4K  C:\\Users\r\n\t......2K  a\r\n");
  EXPECT_EQ(TReportTree::PathOf(back.NodeAt(1)), "");

  // The scan's file counts: a rescan and a removal correct them above as
  // they do the bytes; a line whose numbers were edited has no count, and
  // removing it leaves the lines above without one.
  EXPECT_EQ(tree.NodeAt(0)->Files(), 3);
  EXPECT_EQ(tree.NodeAt(1)->Files(), 2);
  t.File("r/a/b/more1", 10);
  t.File("r/a/b/more2", 10);
  t.File("r/a/new", 10);
  RescanUsageFolder(tree.NodeAt(1), o, tree, nullptr, nullptr);
  ASSERT_EQ(tree.Count(), 3u);
  EXPECT_EQ(tree.NodeAt(0)->Files(), 6);
  EXPECT_EQ(tree.NodeAt(1)->Files(), 5);
  EXPECT_EQ(tree.NodeAt(2)->Files(), 3);
  tree.DeleteAndCorrect(tree.NodeAt(2));
  EXPECT_EQ(tree.NodeAt(0)->Files(), 3);
  EXPECT_EQ(tree.NodeAt(1)->Files(), 2);
  TTreeNode* a = tree.NodeAt(1);
  tree.SetLabel(a, a->Label().substr(0, a->Label().size() - 1) + "renamed");
  EXPECT_EQ(a->Files(), 2) << "a name edited in place keeps the numbers";
  tree.SetLabel(a, ".....99K  a");
  EXPECT_FALSE(a->HasFiles());
  tree.DeleteAndCorrect(a);
  EXPECT_FALSE(tree.NodeAt(0)->HasFiles());
}
