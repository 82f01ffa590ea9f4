#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "scan/ScanArchive.h"

class QTreeWidget;

// View > Compare With...: chooses the earlier scan to compare the report
// with, from the archive of finished scans (newest first) or any scan file,
// or ends the comparison.
class TCompareDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Choice { Nothing, File, End };

  // `preferred`: the row chosen at first (-1: none); `notes`: what the
  // comparison shown says of its figures (empty: nothing, or none shown).
  TCompareDialog(QWidget* parent, std::vector<ArchivedScan> scans, int preferred, bool comparing,
                 const QString& notes);

  Choice Chosen() const { return chosen_; }
  // The scan file chosen.
  const QString& Path() const { return path_; }

 private:
  void Accept();
  void OtherFile();

  std::vector<ArchivedScan> scans_;
  QTreeWidget* list_ = nullptr;
  Choice chosen_ = Choice::Nothing;
  QString path_;
};
