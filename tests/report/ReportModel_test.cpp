#include "report/ReportModel.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QTreeView>

#include "report/ReportSortModel.h"

namespace {

// Problems QAbstractItemModelTester reports while a test runs.
QStringList& TesterFailures() {
  static QStringList failures;
  return failures;
}

void CaptureTester(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg && message.contains("FAIL")) TesterFailures() << message;
}

// The text form as the model shows it, built through the model's own API.
void AppendRows(const QAbstractItemModel& model, const QModelIndex& parent, int level,
                std::string& out) {
  for (int r = 0; r < model.rowCount(parent); ++r) {
    const QModelIndex i = model.index(r, 0, parent);
    out.append(static_cast<std::size_t>(level), '\t');
    out += i.data().toString().toStdString() + "\r\n";
    AppendRows(model, i, level + 1, out);
  }
}

std::string ModelText(const QAbstractItemModel& model) {
  std::string out;
  AppendRows(model, {}, 0, out);
  return out;
}

// Installed before the tester exists: it checks the model as soon as it is made.
struct TesterCapture {
  TesterCapture() {
    TesterFailures().clear();
    previous = qInstallMessageHandler(CaptureTester);
  }
  ~TesterCapture() { qInstallMessageHandler(previous); }
  QtMessageHandler previous = nullptr;
};

class ReportModelTest : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(TesterFailures().isEmpty()) << TesterFailures().join("\n").toStdString();
  }

  TesterCapture capture_;
  TReportTree tree_;
  TReportModel model_{tree_};
  QAbstractItemModelTester tester_{&model_,
                                   QAbstractItemModelTester::FailureReportingMode::Warning};
};

TEST_F(ReportModelTest, FollowsInsertsRelabelsAndRemovalsAsAScanMakesThem) {
  QTreeView view;
  view.setModel(&model_);
  TTreeNode* a = tree_.AddChild(nullptr, "A");
  TTreeNode* a1 = tree_.AddChild(a, "A1");
  view.expand(model_.IndexOf(a));
  TTreeNode* a2 = tree_.AddChild(a, "A2");
  tree_.AddChild(a2, "A2x");
  tree_.SetLabel(a1, "....12K  A1");
  tree_.Delete(a2);
  TTreeNode* b = tree_.AddChild(nullptr, "B");
  tree_.AddChild(b, "B1");
  EXPECT_EQ(ModelText(model_), tree_.TextForm());
  EXPECT_EQ(model_.rowCount(), 2);
  EXPECT_EQ(model_.NodeOf(model_.index(0, 0, model_.IndexOf(a))), a1);
  EXPECT_EQ(model_.parent(model_.IndexOf(a1)), model_.IndexOf(a));
  EXPECT_FALSE(model_.index(5, 0).isValid());
  EXPECT_FALSE(model_.index(0, TReportModel::kColumns).isValid());
}

TEST_F(ReportModelTest, SortedRelabelsMoveRowsAndKeepPersistentIndexesOnTheirNodes) {
  TTreeNode* root = tree_.AddChild(nullptr, "root");
  TTreeNode* c = tree_.AddChild(root, "C");
  TTreeNode* a = tree_.AddChild(root, "A");
  TTreeNode* b = tree_.AddChild(root, "B");
  QPersistentModelIndex pc(model_.IndexOf(c));
  QPersistentModelIndex pa(model_.IndexOf(a));

  tree_.SortByLabel();  // A B C
  EXPECT_EQ(model_.NodeOf(pc), c);
  EXPECT_EQ(pc.row(), 2);
  EXPECT_EQ(pa.row(), 0);

  tree_.SetLabel(a, "D");  // moves to the end: B C D
  EXPECT_EQ(model_.NodeOf(pa), a);
  EXPECT_EQ(pa.row(), 2);
  tree_.SetLabel(a, "0");  // back to the front: 0 B C
  EXPECT_EQ(pa.row(), 0);
  tree_.SetLabel(b, "B2");  // stays where it is
  EXPECT_EQ(model_.NodeOf(model_.index(1, 0, model_.IndexOf(root))), b);
  EXPECT_EQ(ModelText(model_), tree_.TextForm());

  // Nodes added in sorted mode are sorted in.
  tree_.AddChild(root, "A");
  EXPECT_EQ(ModelText(model_), tree_.TextForm());
  EXPECT_EQ(model_.index(1, 0, model_.IndexOf(root)).data().toString(), "A");
}

TEST_F(ReportModelTest, ClearAndLoadResetTheView) {
  QTreeView view;
  view.setModel(&model_);
  TTreeNode* x = tree_.AddChild(nullptr, "x");
  view.setCurrentIndex(model_.IndexOf(x));
  tree_.LoadText("one\r\n\ttwo\r\n\t\tthree\r\nfour\r\n");
  EXPECT_EQ(ModelText(model_), tree_.TextForm());
  EXPECT_FALSE(view.currentIndex().isValid());
  tree_.Clear();
  EXPECT_EQ(model_.rowCount(), 0);
}

TEST_F(ReportModelTest, EditingALabelInPlaceChangesTheTree) {
  TTreeNode* n = tree_.AddChild(nullptr, "old");
  EXPECT_TRUE(model_.flags(model_.IndexOf(n)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model_.setData(model_.IndexOf(n), QString("new"), Qt::EditRole));
  EXPECT_EQ(n->Label(), "new");
  EXPECT_FALSE(model_.setData(model_.IndexOf(n), QString("x"), Qt::DisplayRole + 100));
}

TEST_F(ReportModelTest, TreeExpandAndCollapseAreSignalled) {
  TTreeNode* n = tree_.AddChild(nullptr, "n");
  tree_.AddChild(n, "m");
  QList<std::pair<QModelIndex, bool>> seen;
  QObject::connect(&model_, &TReportModel::NodeExpandedChanged, [&](const QModelIndex& i, bool e) {
    seen.append({i, e});
  });
  tree_.Expand(n);
  tree_.Expand(n);  // already expanded: no second signal
  tree_.Collapse(n);
  ASSERT_EQ(seen.size(), 2);
  EXPECT_EQ(model_.NodeOf(seen[0].first), n);
  EXPECT_TRUE(seen[0].second);
  EXPECT_FALSE(seen[1].second);
}

}  // namespace

namespace {

TEST_F(ReportModelTest, BatchedChangesReachTheViewAsOneLayoutChange) {
  QTreeView view;
  view.setModel(&model_);
  TTreeNode* keep = tree_.AddChild(nullptr, "keep");
  TTreeNode* doomed = tree_.AddChild(keep, "doomed");
  TTreeNode* inner = tree_.AddChild(doomed, "inner");
  TTreeNode* b = tree_.AddChild(keep, "b");
  tree_.SortByLabel();
  view.expand(model_.IndexOf(keep));
  view.expand(model_.IndexOf(doomed));
  // The same node held twice: as the current item and as expanded.
  view.setCurrentIndex(model_.IndexOf(inner));
  QPersistentModelIndex pb(model_.IndexOf(b));
  QPersistentModelIndex pinner(model_.IndexOf(inner));

  int layoutChanges = 0;
  QObject::connect(&model_, &QAbstractItemModel::layoutChanged, [&] { ++layoutChanges; });
  model_.SetBatching(true);
  tree_.AddChild(keep, "a");  // sorted in before b
  tree_.SetLabel(b, "0");     // moves to the front
  tree_.Delete(doomed);       // takes inner with it
  TTreeNode* c = tree_.AddChild(nullptr, "c");
  tree_.AddChild(c, "c1");
  EXPECT_EQ(layoutChanges, 0);
  model_.Flush();
  EXPECT_EQ(layoutChanges, 1);
  EXPECT_EQ(ModelText(model_), tree_.TextForm());
  EXPECT_EQ(model_.NodeOf(pb), b);
  EXPECT_EQ(pb.row(), 0);
  EXPECT_FALSE(pinner.isValid());
  EXPECT_FALSE(view.currentIndex().isValid());

  // Nothing pending: a flush announces nothing; switching off flushes.
  model_.Flush();
  EXPECT_EQ(layoutChanges, 1);
  tree_.AddChild(c, "c2");
  model_.SetBatching(false);
  EXPECT_EQ(layoutChanges, 2);
  EXPECT_EQ(ModelText(model_), tree_.TextForm());
  tree_.AddChild(c, "c3");  // announced on its own again
  EXPECT_EQ(layoutChanges, 2);
  EXPECT_EQ(ModelText(model_), tree_.TextForm());
}

TEST_F(ReportModelTest, ABatchIsClosedBeforeAResetOrAnExpansion) {
  QTreeView view;
  view.setModel(&model_);
  QObject::connect(&model_, &TReportModel::NodeExpandedChanged, &view,
                   [&](const QModelIndex& i, bool e) { view.setExpanded(i, e); });
  TTreeNode* n = tree_.AddChild(nullptr, "n");
  model_.SetBatching(true);
  tree_.AddChild(n, "m");
  tree_.Expand(n);  // the view expands it at once: the model must be current
  EXPECT_TRUE(view.isExpanded(model_.IndexOf(n)));
  tree_.AddChild(n, "o");
  tree_.Clear();
  EXPECT_EQ(model_.rowCount(), 0);
  model_.SetBatching(false);
}

}  // namespace

namespace {

using Model = TReportModel;

QVariant Cell(const Model& model, TTreeNode* node, int column, int role = Qt::DisplayRole) {
  return model.data(model.IndexOf(node, column), role);
}

// The names under `parent` in the proxy's order.
std::vector<std::string> Shown(const TReportSortModel& view, TTreeNode* parent) {
  const QModelIndex p = view.IndexOf(parent);
  std::vector<std::string> names;
  for (int row = 0; row < view.rowCount(p); ++row) {
    names.push_back(view.NodeOf(view.index(row, 0, p))->Name());
  }
  return names;
}

TEST_F(ReportModelTest, ColumnsShowTheNodesOwnNumbersAndNothingForWhatIsUnknown) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  tree_.LoadText("....1K  read\r\n\tbare\r\n");
  TTreeNode* read = tree_.TopLevel(0);
  TTreeNode* bare = read->Child(0);
  TTreeNode* scanned = tree_.AddChild(nullptr, "scanned");
  tree_.SetResult(scanned, 41000, false);  // the label rounds it to 40K
  tree_.SetFiles(scanned, 1234567);
  EXPECT_EQ(Cell(model_, scanned, Model::kLabelColumn).toString().toStdString(), scanned->Label());
  EXPECT_EQ(Cell(model_, scanned, Model::kSizeColumn).toString(), "40 KiB");
  EXPECT_EQ(Cell(model_, scanned, Model::kSizeColumn, Model::kSortRole).toLongLong(), 41000);
  EXPECT_EQ(Cell(model_, scanned, Model::kFilesColumn).toString(), "1,234,567");
  EXPECT_EQ(Cell(model_, scanned, Model::kFilesColumn, Model::kSortRole).toLongLong(), 1234567);
  EXPECT_EQ(Cell(model_, scanned, Model::kFilesColumn, Qt::TextAlignmentRole).toInt(),
            (Qt::AlignRight | Qt::AlignVCenter).toInt());
  // A line read from text knows its size from the label, its files not at all.
  EXPECT_EQ(Cell(model_, read, Model::kSizeColumn).toString(), "1.0 KiB");
  EXPECT_TRUE(Cell(model_, read, Model::kFilesColumn).toString().isEmpty());
  EXPECT_EQ(Cell(model_, read, Model::kFilesColumn, Model::kSortRole).toLongLong(), -1);
  // A bare name has no size: nothing shown, 0 to sort by, 0% of its parent.
  EXPECT_TRUE(Cell(model_, bare, Model::kSizeColumn).toString().isEmpty());
  EXPECT_EQ(Cell(model_, bare, Model::kSizeColumn, Model::kSortRole).toLongLong(), 0);
  EXPECT_EQ(Cell(model_, bare, Model::kShareColumn, Model::kShareRole).toDouble(), 0.0);
  // A label edited by hand with a size field: its size, no count.
  TTreeNode* edited = tree_.AddChild(nullptr, "x");
  tree_.SetLabel(edited, "....12K *notes");
  EXPECT_EQ(Cell(model_, edited, Model::kSizeColumn).toString(), "12 KiB");
  EXPECT_EQ(Cell(model_, edited, Model::kSizeColumn, Model::kSortRole).toLongLong(), 12 * 1024);
  EXPECT_TRUE(Cell(model_, edited, Model::kFilesColumn).toString().isEmpty());
  EXPECT_FALSE(model_.flags(model_.IndexOf(edited, Model::kFilesColumn)) & Qt::ItemIsEditable);
  QLocale::setDefault(before);
}

TEST_F(ReportModelTest, AFileCountReachesEveryViewDuringABatchedScanAndAfter) {
  TTreeNode* root = tree_.AddChild(nullptr, "root");
  TTreeNode* a = tree_.AddChild(root, "a");
  TTreeNode* b = tree_.AddChild(root, "b");
  TReportSortModel view(&model_);
  QAbstractItemModelTester viewTester(&view,
                                      QAbstractItemModelTester::FailureReportingMode::Warning);
  view.sort(Model::kFilesColumn, Qt::DescendingOrder);
  QSignalSpy changed(&model_, &QAbstractItemModel::dataChanged);

  model_.SetBatching(true);
  tree_.AddChild(root, "c");  // opens the batch: the count below waits for the flush
  tree_.SetFiles(b, 7);
  model_.Flush();
  EXPECT_EQ(Shown(view, root), (std::vector<std::string>{"b", "a", "c"}));

  // Flushed, nothing pending: a count set on its own is announced at once,
  // for every column to the last, with the role a sorted view re-sorts on.
  changed.clear();
  tree_.SetFiles(a, 9);
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(changed[0][0].value<QModelIndex>(), model_.IndexOf(a, Model::kLabelColumn));
  EXPECT_EQ(changed[0][1].value<QModelIndex>(), model_.IndexOf(a, Model::kColumns - 1));
  EXPECT_TRUE(changed[0][2].value<QList<int>>().contains(Model::kSortRole));
  EXPECT_EQ(Shown(view, root), (std::vector<std::string>{"a", "b", "c"}));
  model_.SetBatching(false);
}

TEST_F(ReportModelTest, SortsByEveryColumnBothWaysWithTiesInTheReportsOrder) {
  TTreeNode* root = tree_.AddChild(nullptr, "root");
  const auto add = [&](const char* name, std::int64_t bytes, std::int64_t files) {
    TTreeNode* n = tree_.AddChild(root, name);
    if (bytes >= 0) tree_.SetResult(n, bytes, false);
    tree_.SetFiles(n, files);
    return n;
  };
  // In the report's order; (b) has no size (counts 0), (b) and e no file count.
  // As text "(b)" would come before the sized labels; Edit > Sort puts it last.
  add("a", 2048, 3);
  add("(b)", -1, -1);
  TTreeNode* c = add("c", 2048, 3);
  add("d", 0, 0);
  add("e", 4096, -1);
  tree_.SetResult(root, 8192, false);
  using Names = std::vector<std::string>;
  TReportSortModel view(&model_);
  QAbstractItemModelTester viewTester(&view,
                                      QAbstractItemModelTester::FailureReportingMode::Warning);
  EXPECT_EQ(Shown(view, root), (Names{"a", "(b)", "c", "d", "e"}));  // unsorted: the report's order
  // Size descending is View > Largest First.
  view.sort(Model::kSizeColumn, Qt::DescendingOrder);
  EXPECT_EQ(Shown(view, root), (Names{"e", "a", "c", "(b)", "d"}));
  view.sort(Model::kSizeColumn, Qt::AscendingOrder);
  EXPECT_EQ(Shown(view, root), (Names{"(b)", "d", "a", "c", "e"}));
  view.sort(Model::kShareColumn, Qt::DescendingOrder);
  EXPECT_EQ(Shown(view, root), (Names{"e", "a", "c", "(b)", "d"}));
  view.sort(Model::kShareColumn, Qt::AscendingOrder);
  EXPECT_EQ(Shown(view, root), (Names{"(b)", "d", "a", "c", "e"}));
  // Unknown counts come below zero.
  view.sort(Model::kFilesColumn, Qt::AscendingOrder);
  EXPECT_EQ(Shown(view, root), (Names{"(b)", "e", "d", "a", "c"}));
  view.sort(Model::kFilesColumn, Qt::DescendingOrder);
  EXPECT_EQ(Shown(view, root), (Names{"a", "c", "d", "(b)", "e"}));

  // A value that changes to equal a sibling's takes the report's place among
  // the equals, either way, not the place a search for it happens to find.
  tree_.SetFiles(c, 0);  // c now ties with d, and comes before it in the report
  EXPECT_EQ(Shown(view, root), (Names{"a", "c", "d", "(b)", "e"}));
  view.sort(Model::kFilesColumn, Qt::AscendingOrder);
  tree_.SetFiles(c, -1);  // ties with (b) and e, between them in the report
  EXPECT_EQ(Shown(view, root), (Names{"(b)", "c", "e", "d", "a"}));

  // The label column ascending is the order Edit > Sort gives the report.
  view.sort(Model::kLabelColumn, Qt::AscendingOrder);
  const Names labelOrder = Shown(view, root);
  tree_.SortByLabel();
  Names sorted;
  for (std::size_t i = 0; i < root->ChildCount(); ++i) sorted.push_back(root->Child(i)->Name());
  EXPECT_EQ(labelOrder, sorted);
  EXPECT_EQ(Shown(view, root), sorted);
  view.sort(-1);
  EXPECT_EQ(Shown(view, root), sorted);
}

}  // namespace
