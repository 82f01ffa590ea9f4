#pragma once

#include <QString>

#include "dialogs/MyDialog.h"
#include "scan/UsageOptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;
class TChooseDirectory;
class THistoryBox;

// The tabbed settings of a scan: starting folders, depth, minimum size,
// allocation unit, and the options of what is counted and how. Closes with mrOk, mrCancel or
// mrIgnore (the Wizard button); it validates nothing until its scan is taken.
class TUsageDialog : public TMyDialog {
  Q_OBJECT

 public:
  TUsageDialog(QWidget* owner, const QString& root);
  ~TUsageDialog() override;

  void ReadSettings() override;
  void WriteSettings() override;

  // Event handlers, by control and event.
  void UseSectorsClick();
  void countAllocatedClick();
  void pathEditChange();
  void pathsMouseUp();
  void InsertDirectoryButtonClick();
  void DeleteDirectoryButtonClick();
  void BrowseButtonClick();
  void helpButtonClick();
  void FormResize();

  // The index of the selected starting folder, -1 when none is selected.
  int SelectedPathIndex() const;
  // Selects that folder; an index outside the list leaves none selected.
  void SelectPath(int index);
  // The starting folders, in list order.
  QStringList Folders() const;
  // The scan the dialog describes. Adds the folder field's text to its
  // history first, then converts Depth, Size and SectorSize in this order;
  // raises the first conversion error ("'%s' is not a valid integer value").
  UsageOptions TakeScanOptions();

  // Controls, by their design names.
  QTabWidget* notebook;
  QWidget* FoldersTab;
  QWidget* usageTab;
  QWidget* Options;
  THistoryBox* pathEdit;
  QPushButton* BrowseButton;
  QListWidget* paths;
  QPushButton* InsertDirectoryButton;
  QPushButton* DeleteDirectoryButton;
  QLabel* Label2;
  QLineEdit* Depth;
  QLabel* Label3;
  QLineEdit* Size;
  QCheckBox* UseSectors;
  QLabel* LabelSectorSize;
  QLineEdit* SectorSize;
  QCheckBox* startWithDialog;
  QCheckBox* clearReport;
  QCheckBox* countAllocated;
  QCheckBox* hardLinksOnce;
  QCheckBox* oneFileSystem;
  QLabel* LabelExclude;
  QLineEdit* Exclude;  // patterns separated by ";"
  QLabel* LabelThreads;
  QSpinBox* Threads;  // 0: automatic
  QLabel* LabelThreadsNote;
  QPushButton* OKButton;
  QPushButton* WizardButton;
  QPushButton* helpButton;
  QPushButton* CancelButton;

  // The dialog's own directory chooser.
  TChooseDirectory* ChooseDirectory;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};
