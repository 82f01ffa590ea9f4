#include "report/ReportModel.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QTreeView>

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
