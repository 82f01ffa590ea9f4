#include "dialogs/UsageDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>

#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/ShowHelp.h"
#include "scan/Errors.h"
#include "scan/IntegerText.h"
#include "settings/HistoryBox.h"

namespace {

const char* const kSectorSizeTooSmall = "Sector Size must be at least 1";
const char* const kNotANumber = "'%s' is not a valid integer value for ";

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& bounds) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(bounds);
  return button;
}

// A label right-aligned to end at x = 108, beside a field starting at x = 120.
QLabel* MakeFieldLabel(QWidget* parent, const char* name, const QString& caption, int top) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setGeometry(0, top, 108, 21);
  return label;
}

// Wide enough for the longest number it can hold, "-2147483648", whole.
QLineEdit* MakeField(QWidget* parent, const char* name, const QString& text, int top) {
  auto* field = new QLineEdit(text, parent);
  field->setObjectName(name);
  const int digits = field->fontMetrics().horizontalAdvance(QStringLiteral("-2147483648"));
  field->setGeometry(120, top, std::max(65, digits + 16), 21);
  return field;
}

// The field a number came from, for a message about it.
struct TNumberField {
  QLineEdit* field;
  const char* caption;
};

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption,
                        const QRect& bounds) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setGeometry(bounds);
  return box;
}

}  // namespace

TUsageDialog::TUsageDialog(QWidget* owner, const QString& root)
    : TMyDialog(owner, root, QStringLiteral("Usage")) {
  setWindowTitle(QStringLiteral("Usage Vorntool"));
  setFont(DesignFont());
  resize(450, 273);
  setMinimumSize(320, 210);

  notebook = new QTabWidget(this);
  notebook->setObjectName("notebook");
  notebook->setGeometry(0, 0, 450, 273);

  FoldersTab = new QWidget;
  FoldersTab->setObjectName("FoldersTab");
  pathEdit = new THistoryBox(FoldersTab);
  pathEdit->setObjectName("pathEdit");
  pathEdit->setInsertPolicy(QComboBox::NoInsert);
  pathEdit->setCompleter(nullptr);  // completing would change the list item unasked
  pathEdit->setEditText(kRootFolderText);
  pathEdit->setGeometry(8, 8, 297, 21);
  // A taller rule height would only stretch the one-line field.
  pathEdit->setMaximumHeight(21);
  BrowseButton = MakeButton(FoldersTab, "BrowseButton", QStringLiteral("..."), {304, 8, 25, 21});
  paths = new QListWidget(FoldersTab);
  paths->setObjectName("paths");
  paths->setSelectionMode(QAbstractItemView::SingleSelection);
  paths->setGeometry(8, 40, 321, 177);
  paths->addItem(kRootFolderText);
  InsertDirectoryButton = MakeButton(FoldersTab, "InsertDirectoryButton", QStringLiteral("&Insert"),
                                     {356, 168, 75, 25});
  DeleteDirectoryButton = MakeButton(FoldersTab, "DeleteDirectoryButton", QStringLiteral("&Delete"),
                                     {356, 200, 75, 25});

  usageTab = new QWidget;
  usageTab->setObjectName("usageTab");
  Label2 = MakeFieldLabel(usageTab, "Label2", QStringLiteral("Maximum Depth:"), 20);
  Depth = MakeField(usageTab, "Depth", QStringLiteral("0"), 20);
  Label3 = MakeFieldLabel(usageTab, "Label3", QStringLiteral("Minimum Size (K):"), 52);
  Size = MakeField(usageTab, "Size", QStringLiteral("0"), 52);
  UseSectors = MakeCheckBox(usageTab, "UseSectors", QStringLiteral("Allow for Sector Size"),
                            {120, 86, 200, 21});
  LabelSectorSize = MakeFieldLabel(usageTab, "LabelSectorSize", QStringLiteral("Sector Size"), 108);
  SectorSize = MakeField(usageTab, "SectorSize", QStringLiteral("32000"), 108);

  Options = new QWidget;
  Options->setObjectName("Options");
  // Seven boxes, then two fields, fit the page at 24 pixels a line.
  const auto boxLine = [](int line) { return QRect(16, 12 + 24 * line, 240, 21); };
  startWithDialog = MakeCheckBox(Options, "startWithDialog",
                                 QStringLiteral("Run Dialog Automatically"), boxLine(0));
  startWithDialog->setToolTip(
      QStringLiteral("Always run this dialog automatically when the Vorntool starts up."));
  clearReport = MakeCheckBox(Options, "clearReport", QStringLiteral("Clear Report"), boxLine(1));
  clearReport->setToolTip(
      QStringLiteral("Delete the current report before beginning the next one."));
  countAllocated =
      MakeCheckBox(Options, "countAllocated", QStringLiteral("Count &Allocated Size"), boxLine(2));
  countAllocated->setToolTip(
      QStringLiteral("Count the space the disk gives each file instead of its length."));
  // "L", "F" and "n": "H" and "O" already press Help and OK.
  hardLinksOnce =
      MakeCheckBox(Options, "hardLinksOnce", QStringLiteral("Count Hard &Links Once"), boxLine(3));
  hardLinksOnce->setToolTip(
      QStringLiteral("Count a file with several names only at the first one found."));
  countHidden = MakeCheckBox(Options, "countHidden",
                             QStringLiteral("Count Hidde&n Files and Folders"), boxLine(4));
  countHidden->setToolTip(QStringLiteral("Count files and folders whose names begin with \".\"."));
  countLikeDu =
      MakeCheckBox(Options, "countLikeDu", QStringLiteral("Count as &du Does"), boxLine(5));
  countLikeDu->setToolTip(
      QStringLiteral("Count what \"du -k\" counts: the blocks of every file, folder and link, "
                     "each once, hidden ones too."));
  oneFileSystem = MakeCheckBox(Options, "oneFileSystem", QStringLiteral("Stay on One &File System"),
                               boxLine(6));
  oneFileSystem->setToolTip(
      QStringLiteral("Do not enter folders on another file system than their starting folder."));
  LabelExclude = new QLabel(QStringLiteral("E&xclude:"), Options);
  LabelExclude->setObjectName("LabelExclude");
  LabelExclude->setGeometry(16, 184, 64, 21);
  Exclude = new QLineEdit(Options);
  Exclude->setObjectName("Exclude");
  Exclude->setGeometry(84, 184, 250, 21);
  Exclude->setToolTip(QStringLiteral("Names or paths to leave out, separated by \";\"."));
  LabelExclude->setBuddy(Exclude);
  LabelThreads = new QLabel(QStringLiteral("&Threads:"), Options);
  LabelThreads->setObjectName("LabelThreads");
  LabelThreads->setGeometry(16, 212, 64, 21);
  Threads = new QSpinBox(Options);
  Threads->setObjectName("Threads");
  Threads->setRange(0, 64);
  Threads->setGeometry(84, 212, 65, 21);
  LabelThreads->setBuddy(Threads);
  LabelThreadsNote = new QLabel(QStringLiteral("0: automatic"), Options);
  LabelThreadsNote->setObjectName("LabelThreadsNote");
  LabelThreadsNote->setGeometry(160, 212, 150, 21);

  notebook->addTab(FoldersTab, QStringLiteral("Folders"));
  notebook->addTab(usageTab, QStringLiteral("Usage"));
  notebook->addTab(Options, QStringLiteral("Options"));
  notebook->setCurrentIndex(0);

  // The dialog's own buttons stand over the right-hand side of the pages.
  OKButton = MakeButton(this, "OKButton", QStringLiteral("&OK"), {360, 64, 75, 25});
  OKButton->setDefault(true);
  WizardButton = MakeButton(this, "WizardButton", QStringLiteral("&Wizard"), {360, 96, 75, 25});
  helpButton = MakeButton(this, "helpButton", QStringLiteral("&Help"), {360, 128, 75, 25});
  CancelButton = MakeButton(this, "CancelButton", QStringLiteral("&Cancel"), {360, 160, 75, 25});

  setTabOrder(OKButton, CancelButton);
  setTabOrder(CancelButton, WizardButton);
  setTabOrder(WizardButton, notebook);
  setTabOrder(notebook, pathEdit);
  setTabOrder(pathEdit, BrowseButton);
  setTabOrder(BrowseButton, paths);
  setTabOrder(paths, InsertDirectoryButton);
  setTabOrder(InsertDirectoryButton, DeleteDirectoryButton);
  setTabOrder(DeleteDirectoryButton, Depth);
  setTabOrder(Depth, Size);
  setTabOrder(Size, UseSectors);
  setTabOrder(UseSectors, SectorSize);
  setTabOrder(SectorSize, startWithDialog);
  setTabOrder(startWithDialog, clearReport);
  setTabOrder(clearReport, countAllocated);
  setTabOrder(countAllocated, hardLinksOnce);
  setTabOrder(hardLinksOnce, countHidden);
  setTabOrder(countHidden, countLikeDu);
  setTabOrder(countLikeDu, oneFileSystem);
  setTabOrder(oneFileSystem, Exclude);
  setTabOrder(Exclude, Threads);
  setTabOrder(Threads, helpButton);

  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(WizardButton, &QPushButton::clicked, this, [this] { done(mrIgnore); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(helpButton, &QPushButton::clicked, this, [this] { helpButtonClick(); });
  connect(BrowseButton, &QPushButton::clicked, this, [this] { BrowseButtonClick(); });
  connect(InsertDirectoryButton, &QPushButton::clicked, this,
          [this] { InsertDirectoryButtonClick(); });
  connect(DeleteDirectoryButton, &QPushButton::clicked, this,
          [this] { DeleteDirectoryButtonClick(); });
  connect(UseSectors, &QCheckBox::toggled, this, [this] { UseSectorsClick(); });
  connect(countAllocated, &QCheckBox::toggled, this, [this] { countAllocatedClick(); });
  connect(countLikeDu, &QCheckBox::toggled, this, [this] { countLikeDuClick(); });
  // Typing and picking from the history run the handler; text set by code does not.
  connect(pathEdit->lineEdit(), &QLineEdit::textEdited, this, [this] { pathEditChange(); });
  connect(pathEdit, &QComboBox::textActivated, this, [this] { pathEditChange(); });
  paths->viewport()->installEventFilter(this);
  // Every page shows the buttons in the same places, whichever was laid out last.
  connect(notebook, &QTabWidget::currentChanged, this, [this] { FormResize(); });

  ChooseDirectory = new TChooseDirectory(this);
  ChooseDirectory->setObjectName("ChooseDirectory");
  pathEdit->SetSize(20);
  UseSectorsClick();

  AddResize(pathEdit, false, true, false, true);
  AddResize(paths, false, true, false, true);
  AddResize(BrowseButton, true, false, false, false);
  AddResize(OKButton, true, false, false, false);
  AddResize(WizardButton, true, false, false, false);
  AddResize(helpButton, true, false, false, false);
  AddResize(CancelButton, true, false, false, false);
  AddResize(InsertDirectoryButton, true, false, false, false);
  AddResize(DeleteDirectoryButton, true, false, false, false);
}

TUsageDialog::~TUsageDialog() = default;

void TUsageDialog::ReadSettings() {
  TMyDialog::ReadSettings();
  // The boxes below take the stored own choices; du's are applied after them.
  countLikeDu->setChecked(false);
  pathEdit->ReadHistory(*IniFile, Section, 1);
  IniFile->ReadListBox(Section, QStringLiteral("ListBox-1"), paths);
  if (paths->count() == 0) paths->addItem(pathEdit->currentText());
  SelectPath(IniFile->ReadNumber(Section, QStringLiteral("Misc-1"), 0));
  Depth->setText(IniFile->ReadText(Section, QStringLiteral("Edit-1"), QStringLiteral("0")));
  Size->setText(IniFile->ReadText(Section, QStringLiteral("Edit-2"), QStringLiteral("0")));
  SectorSize->setText(
      IniFile->ReadText(Section, QStringLiteral("Edit-3"), QStringLiteral("32000")));
  UseSectors->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-1"), false));
  startWithDialog->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-2"), false));
  clearReport->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-3"), true));
  countAllocated->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-4"), false));
  hardLinksOnce->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-5"), false));
  oneFileSystem->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-6"), false));
  countHidden->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-7"), false));
  Exclude->setText(IniFile->ReadText(Section, QStringLiteral("Edit-4"), QString()));
  Threads->setValue(IniFile->ReadNumber(Section, QStringLiteral("SpinEdit-1"), 0));
  // Both on can only come from an edited file: the allocated size wins, as in a scan.
  if (countAllocated->isChecked()) UseSectors->setChecked(false);
  countLikeDu->setChecked(IniFile->ReadFlag(Section, QStringLiteral("CheckBox-8"), false));
  UseSectorsClick();
}

void TUsageDialog::WriteSettings() {
  TMyDialog::WriteSettings();
  pathEdit->WriteHistory(*IniFile, Section, 1);
  IniFile->WriteListBox(Section, QStringLiteral("ListBox-1"), paths);
  IniFile->WriteNumber(Section, QStringLiteral("Misc-1"), SelectedPathIndex());
  IniFile->WriteText(Section, QStringLiteral("Edit-1"), Depth->text());
  IniFile->WriteText(Section, QStringLiteral("Edit-2"), Size->text());
  IniFile->WriteText(Section, QStringLiteral("Edit-3"), SectorSize->text());
  // Under "Count as du Does" the user's own choices are kept, not what it shows.
  const OwnChoices own = likeDuApplied_
                             ? own_
                             : OwnChoices{UseSectors->isChecked(), countAllocated->isChecked(),
                                          hardLinksOnce->isChecked(), countHidden->isChecked()};
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-1"), own.useSectors);
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-2"), startWithDialog->isChecked());
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-3"), clearReport->isChecked());
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-4"), own.countAllocated);
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-5"), own.hardLinksOnce);
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-6"), oneFileSystem->isChecked());
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-7"), own.countHidden);
  IniFile->WriteFlag(Section, QStringLiteral("CheckBox-8"), countLikeDu->isChecked());
  IniFile->WriteText(Section, QStringLiteral("Edit-4"), Exclude->text());
  IniFile->WriteNumber(Section, QStringLiteral("SpinEdit-1"), Threads->value());
}

int TUsageDialog::SelectedPathIndex() const {
  const QList<QListWidgetItem*> selected = paths->selectedItems();
  return selected.isEmpty() ? -1 : paths->row(selected.first());
}

void TUsageDialog::SelectPath(int index) {
  if (index >= 0 && index < paths->count()) {
    paths->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  } else {
    paths->clearSelection();
    paths->setCurrentRow(-1, QItemSelectionModel::Clear);
  }
}

UsageOptions TUsageDialog::TakeScanOptions() {
  pathEdit->AddToHistory();
  UsageOptions options;
  const auto number = [this](QLineEdit* field) {
    const std::string text = field->text().toStdString();
    if (const std::optional<std::int32_t> value = TryStrToInt(text)) return *value;
    throw EVorntoolsError(FormatMessage(kNotANumber, text) + FieldCaption(field).toStdString());
  };
  options.MaxDepth = number(Depth);
  options.MinSizeK = number(Size);
  options.AllowForSectorSize = UseSectors->isChecked();
  options.SectorBytes = number(SectorSize);
  options.ClearReport = clearReport->isChecked();
  options.CountAllocated = countAllocated->isChecked();
  if (options.CountAllocated) options.AllowForSectorSize = false;
  options.HardLinksOnce = hardLinksOnce->isChecked();
  options.CountHidden = countHidden->isChecked();
  options.CountLikeDu = countLikeDu->isChecked();
  if (options.CountLikeDu) options.AllowForSectorSize = false;
  options.OneFileSystem = oneFileSystem->isChecked();
  for (const QString& pattern : Exclude->text().split(QLatin1Char(';'))) {
    const QString trimmed = pattern.trimmed();
    if (!trimmed.isEmpty()) options.Exclude.push_back(trimmed.toStdString());
  }
  options.Threads = Threads->value();
  for (const QString& folder : Folders()) options.Folders.push_back(folder.toStdString());
  if (options.AllowForSectorSize && options.SectorBytes < 1)
    throw EVorntoolsError(kSectorSizeTooSmall);
  return options;
}

QStringList TUsageDialog::Folders() const {
  QStringList folders;
  for (int i = 0; i < paths->count(); ++i) folders << paths->item(i)->text();
  return folders;
}

void TUsageDialog::UseSectorsClick() {
  const bool visible = UseSectors->isChecked();
  SectorSize->setVisible(visible);
  LabelSectorSize->setVisible(visible);
  UpdateCountingBoxes();
}

void TUsageDialog::countAllocatedClick() {
  UpdateCountingBoxes();
}

void TUsageDialog::countLikeDuClick() {
  const bool likeDu = countLikeDu->isChecked();
  if (likeDu == likeDuApplied_) return;
  // Flagged first: the boxes' own handlers run while they are set.
  likeDuApplied_ = likeDu;
  if (likeDu) {
    own_ = {UseSectors->isChecked(), countAllocated->isChecked(), hardLinksOnce->isChecked(),
            countHidden->isChecked()};
    // du counts what the disk holds: no rounding on top, as with the allocated size.
    UseSectors->setChecked(false);
    countAllocated->setChecked(true);
    hardLinksOnce->setChecked(true);
    countHidden->setChecked(true);
  } else {
    countAllocated->setChecked(own_.countAllocated);
    UseSectors->setChecked(own_.useSectors);
    hardLinksOnce->setChecked(own_.hardLinksOnce);
    countHidden->setChecked(own_.countHidden);
  }
  UseSectorsClick();
}

void TUsageDialog::UpdateCountingBoxes() {
  const bool likeDu = likeDuApplied_;
  // The allocated size already is what the disk holds: no rounding on top.
  countAllocated->setEnabled(!likeDu && !UseSectors->isChecked());
  UseSectors->setEnabled(!likeDu && !countAllocated->isChecked());
  hardLinksOnce->setEnabled(!likeDu);
  countHidden->setEnabled(!likeDu);
}

QString TUsageDialog::FieldCaption(const QLineEdit* field) const {
  if (field == Depth) return QStringLiteral("Maximum Depth");
  if (field == Size) return QStringLiteral("Minimum Size (K)");
  return QStringLiteral("Sector Size");
}

void TUsageDialog::RefuseField(QLineEdit* field, const QString& message) {
  notebook->setCurrentWidget(usageTab);
  ShowErrorMessage(this, message);
  field->setFocus(Qt::OtherFocusReason);
  field->selectAll();
}

void TUsageDialog::OKButtonClick() {
  // A number that is wrong is refused here, where it can be corrected, by
  // the name of its field.
  for (QLineEdit* field : {Depth, Size, SectorSize}) {
    const std::string text = field->text().toStdString();
    if (!TryStrToInt(text)) {
      RefuseField(field,
                  QString::fromStdString(FormatMessage(kNotANumber, text)) + FieldCaption(field));
      return;
    }
  }
  if (UseSectors->isChecked()) {
    const std::optional<std::int32_t> sector = TryStrToInt(SectorSize->text().toStdString());
    if (sector && *sector < 1) {
      RefuseField(SectorSize, QString::fromUtf8(kSectorSizeTooSmall));
      return;
    }
  }
  done(mrOk);
}

void TUsageDialog::pathEditChange() {
  const QString text = pathEdit->currentText();
  const int selected = SelectedPathIndex();
  if (selected < 0) {
    paths->addItem(text);
    SelectPath(paths->count() - 1);
  } else {
    paths->item(selected)->setText(text);
  }
}

void TUsageDialog::pathsMouseUp() {
  const int selected = SelectedPathIndex();
  if (selected >= 0) pathEdit->setEditText(paths->item(selected)->text());
}

void TUsageDialog::InsertDirectoryButtonClick() {
  paths->addItem(kRootFolderText);
  SelectPath(paths->count() - 1);
  pathEdit->setEditText(kRootFolderText);
}

void TUsageDialog::DeleteDirectoryButtonClick() {
  // Taken before deleting: removing a selected item moves the selection on.
  const QList<QListWidgetItem*> selected = paths->selectedItems();
  for (QListWidgetItem* item : selected) delete paths->takeItem(paths->row(item));
  SelectPath(0);
  if (SelectedPathIndex() == 0) pathEdit->setEditText(paths->item(0)->text());
}

void TUsageDialog::BrowseButtonClick() {
  ChooseDirectory->OpenAt(pathEdit->currentText());
  // Cancel in the chooser means "keep what I had", so only OK takes its folder.
  const bool chosen = ChooseDirectory->exec() == mrOk;
  // Back in the folder field either way: there Enter means OK, while on
  // "..." it would open the chooser again.
  pathEdit->setFocus(Qt::OtherFocusReason);
  if (!chosen) return;
  pathEdit->setEditText(ChooseDirectory->ChosenDirectory());
  pathEditChange();
}

void TUsageDialog::helpButtonClick() {
  ShowHelp();
}

void TUsageDialog::FormResize() {
  ResizeControls();
  AlignPageButtons();
}

void TUsageDialog::AlignPageButtons() {
  // Insert and Delete continue the column of OK to Cancel, in line with
  // them wherever the tab bar and the page's frame put the pages.
  const QWidget* pages = FoldersTab->parentWidget();
  const QPoint origin = pages ? pages->mapTo(this, QPoint(0, 0)) : QPoint();
  const int left = OKButton->x() - origin.x();
  InsertDirectoryButton->move(left, CancelButton->y() + 40 - origin.y());
  DeleteDirectoryButton->move(left, CancelButton->y() + 72 - origin.y());
}

void TUsageDialog::showEvent(QShowEvent* event) {
  TMyDialog::showEvent(event);
  if (event->spontaneous()) return;
  setWindowTitle(CaptionFor(QStringLiteral("Usage Vorntool"), IniFile->SettingsRoot()));
  // The pages are laid out now: the buttons take their places from them.
  FormResize();
  // The folder is what a user comes to change: typing replaces it, and
  // Enter then scans what was typed.
  notebook->setCurrentWidget(FoldersTab);
  pathEdit->setFocus(Qt::OtherFocusReason);
  pathEdit->lineEdit()->selectAll();
}

void TUsageDialog::resizeEvent(QResizeEvent* event) {
  TMyDialog::resizeEvent(event);
  notebook->setGeometry(rect());
  FormResize();
}

bool TUsageDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == paths->viewport() && event->type() == QEvent::MouseButtonRelease) pathsMouseUp();
  return TMyDialog::eventFilter(watched, event);
}
