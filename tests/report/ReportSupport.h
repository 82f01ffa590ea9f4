#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include "dialogs/ErrorBox.h"
#include "dialogs/ModalHook.h"
#include "report/UsageReport.h"

#include "dialogs/UsageDialog.h"
#include "scan/UsageDirectory.h"
#include "settings/MyIniFile.h"

// Each test gets its own settings store, data folder and temporary folder,
// and answers every modal dialog through the hook instead of a user: no test
// can wait on a dialog.
class ReportTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home_.filePath("data")));
    QDir().mkpath(home_.filePath("tmp"));
    previousTmp_ = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(home_.filePath("tmp")));
    ClearLastErrorText();
    SetModalHook([this](QDialog& dialog) { return Answer(dialog); });
  }

  void TearDown() override {
    SetModalHook(nullptr);
    qputenv("TMPDIR", previousTmp_);
  }

  // What the "user" does with a modal dialog; the default cancels it and
  // fails the test, as no dialog was expected.
  std::function<int(QDialog&)> answer;
  int Answer(QDialog& dialog) {
    ++modalCount;
    if (answer) return answer(dialog);
    ADD_FAILURE() << "unexpected modal dialog " << dialog.metaObject()->className();
    return QDialog::Rejected;
  }
  int modalCount = 0;

  std::unique_ptr<TUsageReport> NewWindow(const QString& root = kDefaultSettingsRoot) {
    return std::make_unique<TUsageReport>(nullptr, root);
  }

  static void Trigger(TUsageReport& window, const char* item) {
    QAction* action = window.FindAction(item);
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
  }

  // A small folder tree with known sizes: root/{a/{a1,a2},b,c/c1/c2}.
  QString MakeFolders(const QString& name = "root") {
    const QString root = home_.filePath(name);
    auto file = [&](const QString& path, int bytes) {
      QDir().mkpath(QFileInfo(root + "/" + path).path());
      QFile f(root + "/" + path);
      EXPECT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(QByteArray(bytes, 'x'));
    };
    file("top.bin", 3000);
    file("a/a.bin", 10 * 1024);
    file("a/a1/x.bin", 2048);
    file("a/a2/y.bin", 40 * 1024);
    file("b/z.bin", 100);
    file("c/c1/c2/deep.bin", 5000);
    return root;
  }

  QString TempPath(const QString& name) const { return home_.filePath(name); }
  QString TmpFolder() const { return home_.filePath("tmp"); }

  QTemporaryDir home_;
  QByteArray previousTmp_;
};

// The report the scan core makes of the same folders with the same options.
inline std::string CoreReport(const UsageOptions& options) {
  TReportTree tree;
  RunUsageScan(options, tree, nullptr, nullptr);
  return tree.TextForm();
}

// Fills the settings dialog as a user would and presses OK.
inline void FillDialog(TUsageDialog& d, const QStringList& folders, const QString& depth,
                       const QString& size, bool clear, bool useSectors = false,
                       const QString& sectorSize = "32000") {
  d.paths->clear();
  d.paths->addItems(folders);
  d.Depth->setText(depth);
  d.Size->setText(size);
  d.UseSectors->setChecked(useSectors);
  d.SectorSize->setText(sectorSize);
  d.clearReport->setChecked(clear);
}
