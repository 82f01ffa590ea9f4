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
// mrIgnore (the Wizard button). OK refuses only a sector size below 1 that
// would be used; the numbers' text is checked when the scan is taken.
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
  void countLikeDuClick();
  void OKButtonClick();
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
  // raises the first conversion error ("'%s' is not a valid integer value
  // for " and the field's caption),
  // then "Sector Size must be at least 1" when a sector size below 1 would be used.
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
  QCheckBox* countHidden;
  QCheckBox* countLikeDu;  // implies countAllocated, hardLinksOnce and countHidden
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
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AlignPageButtons();
  // The caption of a number field, as its messages name it.
  QString FieldCaption(const QLineEdit* field) const;
  // Shows the message and puts the user back in the field.
  void RefuseField(QLineEdit* field, const QString& message);
  // Which counting boxes can be changed, from which are checked.
  void UpdateCountingBoxes();

  // The user's own choices of the boxes "Count as du Does" checks or
  // unchecks for itself, given back when it is unchecked; stored in their
  // place meanwhile.
  struct OwnChoices {
    bool useSectors = false;
    bool countAllocated = false;
    bool hardLinksOnce = false;
    bool countHidden = false;
  };
  OwnChoices own_;
  bool likeDuApplied_ = false;
};
