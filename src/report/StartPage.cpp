#include "report/StartPage.h"

#include <QApplication>
#include <QCommandLinkButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <set>
#include <string>
#include <vector>

#include "dialogs/ChooseDirectory.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/Drives.h"
#include "dialogs/ModalHook.h"
#include "dialogs/UsageDialog.h"
#include "report/ScanControl.h"
#include "report/ScanFiles.h"
#include "report/ShareBars.h"
#include "report/UsageReport.h"
#include "scan/ScanArchive.h"

namespace {

// Kept scans listed: the newest of each set of starting folders.
constexpr int kRecentShown = 6;
// The bars' resolution.
constexpr int kBarSteps = 1000;

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.15);
  label->setFont(font);
  return label;
}

QIcon DiskIcon(TDriveKind kind) {
  const auto icon = [](const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name),
                            QApplication::style()->standardIcon(fallback));
  };
  switch (kind) {
    case TDriveKind::Removable:
      return icon("drive-removable-media", QStyle::SP_DriveFDIcon);
    case TDriveKind::Network:
      return icon("folder-remote", QStyle::SP_DriveNetIcon);
    case TDriveKind::CD:
      return icon("media-optical", QStyle::SP_DriveCDIcon);
    case TDriveKind::Fixed:
      break;
  }
  return icon("drive-harddisk", QStyle::SP_DriveHDIcon);
}

// Later, not at once: the page is refreshed when a scan that one of its
// buttons started leaves the report empty, inside that button's click.
void ClearLayout(QLayout* layout) {
  while (QLayoutItem* item = layout->takeAt(0)) {
    if (QWidget* widget = item->widget()) {
      widget->hide();
      widget->deleteLater();
    }
    delete item;
  }
}

}  // namespace

TStartPage::TStartPage(TUsageReport& window) : window_(window) {
  setObjectName("StartPage1");

  auto* content = new QWidget;
  content->setMaximumWidth(720);
  auto* column = new QVBoxLayout(content);
  column->setSpacing(10);

  auto* intro = new QLabel(
      QStringLiteral("Choose what to scan: a disk, your home folder or any folder."), content);
  intro->setWordWrap(true);
  column->addWidget(intro);

  auto* buttons = new QHBoxLayout;
  ScanHomeButton = new QPushButton(QStringLiteral("Scan H&ome Folder"), content);
  ScanHomeButton->setObjectName("ScanHomeButton");
  ScanHomeButton->setIcon(
      QIcon::fromTheme(QStringLiteral("user-home"), style()->standardIcon(QStyle::SP_DirHomeIcon)));
  ScanHomeButton->setToolTip(QDir::homePath());
  ScanFolderButton = new QPushButton(QStringLiteral("Scan a Fol&der..."), content);
  ScanFolderButton->setObjectName("ScanFolderButton");
  ScanFolderButton->setIcon(QIcon::fromTheme(QStringLiteral("folder-open"),
                                             style()->standardIcon(QStyle::SP_DirOpenIcon)));
  for (QPushButton* button : {ScanHomeButton, ScanFolderButton}) {
    button->setMinimumHeight(32);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  column->addLayout(buttons);

  column->addSpacing(6);
  column->addWidget(Heading(QStringLiteral("Disks"), content));
  Disks = new QWidget(content);
  Disks->setObjectName("Disks");
  diskGrid_ = new QGridLayout(Disks);
  diskGrid_->setContentsMargins(0, 0, 0, 0);
  diskGrid_->setColumnStretch(1, 1);
  column->addWidget(Disks);

  column->addSpacing(6);
  column->addWidget(Heading(QStringLiteral("Recent Scans"), content));
  Recent = new QWidget(content);
  Recent->setObjectName("Recent");
  recentList_ = new QVBoxLayout(Recent);
  recentList_->setContentsMargins(0, 0, 0, 0);
  recentList_->setSpacing(0);
  column->addWidget(Recent);
  column->addStretch();

  // Centred in a wide window, scrolled in a short one.
  auto* centring = new QWidget;
  auto* across = new QHBoxLayout(centring);
  across->addStretch();
  across->addWidget(content, 1);
  across->addStretch();
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(centring);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(scroll);

  connect(ScanHomeButton, &QPushButton::clicked, this,
          [this] { ScanFolder(QDir::homePath(), false); });
  connect(ScanFolderButton, &QPushButton::clicked, this, [this] { ChooseAndScan(); });
}

void TStartPage::Refresh() {
  FillDisks();
  FillRecent();
}

void TStartPage::FillDisks() {
  ClearLayout(diskGrid_);
  int row = 0;
  for (const TDriveInfo& drive : ListDrives()) {
    auto* button = new QPushButton(DiskIcon(drive.kind), TDriveComboBox::EntryText(drive), Disks);
    button->setObjectName("Disk" + QString::number(row + 1));
    button->setFlat(true);
    button->setToolTip(QStringLiteral("Scan %1").arg(drive.mountPoint));
    button->setStyleSheet(QStringLiteral("text-align: left; padding: 3px 6px;"));
    const QString mountPoint = drive.mountPoint;
    connect(button, &QPushButton::clicked, this,
            [this, mountPoint] { ScanFolder(mountPoint, true); });
    diskGrid_->addWidget(button, row, 0);

    TDiskSpace space;
    // A network disk's server may not answer; its space is not worth a hung window.
    const bool known =
        drive.kind != TDriveKind::Network && ReadDiskSpace(mountPoint, space) && space.total > 0;
    auto* bar = new QProgressBar(Disks);
    bar->setRange(0, kBarSteps);
    bar->setTextVisible(false);
    bar->setMaximumHeight(14);
    bar->setMinimumWidth(120);
    auto* text = new QLabel(Disks);
    if (known) {
      bar->setValue(static_cast<int>(static_cast<double>(space.used) * kBarSteps /
                                     static_cast<double>(space.total)));
      text->setText(QStringLiteral("%1 used, %2 free of %3")
                        .arg(ReadableSize(static_cast<std::int64_t>(space.used)),
                             ReadableSize(static_cast<std::int64_t>(space.available)),
                             ReadableSize(static_cast<std::int64_t>(space.total))));
    } else {
      bar->setEnabled(false);
      text->setText(drive.kind == TDriveKind::Network ? QStringLiteral("Network disk")
                                                      : QStringLiteral("Space unknown"));
    }
    diskGrid_->addWidget(bar, row, 1);
    diskGrid_->addWidget(text, row, 2);
    ++row;
  }
}

void TStartPage::FillRecent() {
  ClearLayout(recentList_);
  std::vector<ArchivedScan> kept;
  const std::string folder = ScanArchiveFolder();
  if (!folder.empty()) kept = TScanArchive(folder).List();
  std::set<std::vector<std::string>> listed;
  const QLocale locale;
  int shown = 0;
  for (const ArchivedScan& scan : kept) {
    if (shown == kRecentShown) break;
    if (!listed.insert(scan.folders).second) continue;  // an older scan of the same folders
    QStringList folders;
    for (const std::string& f : scan.folders) folders << QString::fromStdString(f);
    const QString when =
        locale.toString(QDateTime::fromSecsSinceEpoch(scan.ended), QLocale::ShortFormat);
    auto* button = new QCommandLinkButton(
        folders.join(QStringLiteral(", ")),
        QStringLiteral("%1 in %2 files, scanned %3")
            .arg(ReadableSize(scan.bytes), locale.toString(static_cast<qulonglong>(scan.fileCount)),
                 when),
        Recent);
    button->setObjectName("RecentScan" + QString::number(++shown));
    button->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    button->setToolTip(QStringLiteral("Open this scan as it was found then"));
    const QString file = QFile::decodeName(scan.file.c_str());
    connect(button, &QCommandLinkButton::clicked, this,
            [this, file] { window_.ScanFiles().Open(file); });
    recentList_->addWidget(button);
  }
  if (shown == 0) {
    auto* none = new QLabel(
        QStringLiteral("None yet: every finished scan is kept, and the last ones are listed here."),
        Recent);
    none->setWordWrap(true);
    none->setEnabled(false);
    recentList_->addWidget(none);
  }
}

void TStartPage::ScanFolder(const QString& folder, bool oneFileSystem) {
  if (window_.Scan().RefusedWhileScanning()) return;
  window_.Command([this, &folder, oneFileSystem] {
    // The counting and limits the user set, on this one folder, into a
    // cleared report.
    UsageOptions options = window_.UsageDialog()->TakeScanOptions();
    options.Folders = {folder.toStdString()};
    options.ClearReport = true;
    options.OneFileSystem = options.OneFileSystem || oneFileSystem;
    window_.RunScan(options);
  });
  window_.Scan().CloseIfPending();
}

void TStartPage::ChooseAndScan() {
  TChooseDirectory* chooser = window_.UsageDialog()->ChooseDirectory;
  chooser->OpenAt(QDir::homePath());
  if (ExecModal(*chooser) != mrOk) return;
  ScanFolder(chooser->ChosenDirectory(), false);
}
