#include "dialogs/ChooseDirectory.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cerrno>
#include <map>

#include "dialogs/DialogCommon.h"

namespace {

// Caption and borders of the window the layout was drawn with: the list's
// height rule counts from the outer height, and it must not depend on how
// thick the running window manager draws its frame.
constexpr int kDesignFrameHeight = 27;
constexpr int kListHeightAllowance = 110;
// Width the layout was drawn at; what a wider window adds goes to the list
// and the drive box, and the buttons keep to the right edge.
constexpr int kDesignWidth = 291;
constexpr int kListWidth = 177;
constexpr int kBevelWidth = 153;
constexpr int kButtonLeft = 200;

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

QIcon DriveIcon(TDriveKind kind) {
  switch (kind) {
    case TDriveKind::Removable:
      return ThemeIcon("drive-removable-media", QStyle::SP_DriveFDIcon);
    case TDriveKind::Network:
      return ThemeIcon("folder-remote", QStyle::SP_DriveNetIcon);
    case TDriveKind::CD:
      return ThemeIcon("media-optical", QStyle::SP_DriveCDIcon);
    case TDriveKind::Fixed:
      break;
  }
  return ThemeIcon("drive-harddisk", QStyle::SP_DriveHDIcon);
}

// Indents each entry by its level and gives every entry the same height.
class TIndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem indented = option;
    const int level = index.data(TDirectoryListBox::LevelRole).toInt();
    indented.rect.setLeft(option.rect.left() + level * TDirectoryListBox::kIndentStep);
    QStyledItemDelegate::paint(painter, indented, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int level = index.data(TDirectoryListBox::LevelRole).toInt();
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {size.width() + level * TDirectoryListBox::kIndentStep, TDirectoryListBox::kEntryHeight};
  }
};

// Drops the first folder of a path's folder part, leaving "..." in its place.
void CutFirstDirectory(QString& dir) {
  if (dir == "/") {
    dir.clear();
    return;
  }
  const bool root = dir.startsWith('/');
  if (root) dir.remove(0, 1);
  // An earlier ".../"; a hidden folder's own leading dot is no ellipsis.
  if (dir.startsWith(".../")) dir.remove(0, 4);
  const int slash = dir.indexOf('/');
  dir = slash >= 0 ? ".../" + dir.mid(slash + 1) : QString();
  if (root) dir.prepend('/');
}

// The folders current on each drive, by mount point, shared by all choosers
// as the process keeps one current folder.
std::map<QString, QString>& FoldersByDrive() {
  static std::map<QString, QString> folders;
  return folders;
}

// `folder` or the nearest folder above it that is there, as a full path.
QString NearestExistingFolder(const QString& folder) {
  QString path = QDir::cleanPath(QDir(CurrentFolder()).absoluteFilePath(folder));
  while (!QFileInfo(path).isDir() && path != "/") path = QFileInfo(path).path();
  return path;
}

int DeepestMountIndex(const std::vector<TDriveInfo>& drives, const QString& folder) {
  int best = -1;
  int bestLength = -1;
  for (int i = 0; i < static_cast<int>(drives.size()); ++i) {
    const QString& mount = drives[i].mountPoint;
    const bool inside = mount == "/" || folder == mount || folder.startsWith(mount + "/");
    if (inside && mount.size() > bestLength) {
      best = i;
      bestLength = static_cast<int>(mount.size());
    }
  }
  return best;
}

}  // namespace

QString FolderErrorText(int error) {
  switch (error) {
    case ENOENT:
      return QStringLiteral("File not found");
    case ENAMETOOLONG:
    case EINVAL:
    case ENOTDIR:
      return QStringLiteral("Invalid filename");
    case EMFILE:
    case ENFILE:
      return QStringLiteral("Too many open files");
    case EACCES:
    case EPERM:
      return QStringLiteral("File access denied");
    default:
      return QStringLiteral("I/O error %1").arg(error);
  }
}

QString MinimizeName(const QString& path, const QFontMetrics& metrics, int maxWidth) {
  const int slash = path.lastIndexOf('/');
  QString dir = path.left(slash + 1);
  const QString name = path.mid(slash + 1);
  QString result = path;
  while (!dir.isEmpty() && metrics.horizontalAdvance(result) > maxWidth) {
    if (dir == "/.../")
      dir = ".../";
    else
      CutFirstDirectory(dir);
    result = dir + name;
  }
  return result;
}

// ---------------------------------------------------------------------------

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new TIndentDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setSpacing(0);
  setIconSize(QSize(14, 14));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // A two-pixel sunken edge, so that 14 entries make the designed 228 pixels.
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
}

QStringList TDirectoryListBox::SubFolders(const QString& folder) {
  // QDir leaves out hidden entries unless asked; "." and ".." are not folders of ours.
  QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

int TDirectoryListBox::SetDirectory(const QString& folder) {
  const QString target = QDir::cleanPath(QDir(directory_).absoluteFilePath(folder));
  if (const int error = ChangeCurrentFolder(target)) return error;
  ShowDirectory(target);
  return 0;
}

void TDirectoryListBox::ShowDirectory(const QString& folder) {
  directory_ = QDir::cleanPath(QDir::isAbsolutePath(folder) ? folder : QDir(folder).absolutePath());
  Rebuild();
  emit DirectoryChanged(directory_);
}

void TDirectoryListBox::Rebuild() {
  clear();
  const QIcon openIcon = ThemeIcon("folder-open", QStyle::SP_DirOpenIcon);
  const QIcon currentIcon = ThemeIcon("folder-visiting", QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = ThemeIcon("folder", QStyle::SP_DirClosedIcon);
  auto add = [this](const QIcon& icon, const QString& text, const QString& path, int level,
                    TEntryPart part) {
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(PathRole, path);
    item->setData(LevelRole, level);
    item->setData(PartRole, static_cast<int>(part));
    return item;
  };

  const QStringList names = directory_.split('/', Qt::SkipEmptyParts);
  QListWidgetItem* current = add(names.isEmpty() ? currentIcon : openIcon, "/", "/", 0,
                                 names.isEmpty() ? CurrentEntry : RootEntry);
  QString path;
  for (int i = 0; i < names.size(); ++i) {
    path += "/" + names[i];
    const bool last = i + 1 == names.size();
    QListWidgetItem* item = add(last ? currentIcon : openIcon, names[i], path, i + 1,
                                last ? CurrentEntry : AncestorEntry);
    if (last) current = item;
  }
  const int subLevel = static_cast<int>(names.size()) + 1;
  const QString prefix = directory_ == "/" ? QString("/") : directory_ + "/";
  for (const QString& name : SubFolders(directory_)) {
    add(closedIcon, name, prefix + name, subLevel, SubFolderEntry);
  }
  setCurrentItem(current);
  current->setSelected(true);
}

int TDirectoryListBox::RoundedHeight(int height) const {
  const int frame = 2 * frameWidth();
  const int entries = std::max(0, (height - frame) / kEntryHeight);
  return entries * kEntryHeight + frame;
}

void TDirectoryListBox::SetRoundedHeight(int height) {
  resize(width(), std::max(1, RoundedHeight(height)));
}

// ---------------------------------------------------------------------------

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  setIconSize(QSize(14, 14));
  Refresh();
}

QString TDriveComboBox::EntryText(const TDriveInfo& drive) {
  if (drive.kind == TDriveKind::Network && !drive.source.isEmpty())
    return drive.mountPoint + " [" + drive.source + "]";
  if (!drive.label.isEmpty()) return drive.mountPoint + " [" + drive.label + "]";
  return drive.mountPoint;
}

void TDriveComboBox::Refresh() {
  const QSignalBlocker quiet(this);
  clear();
  drives_ = ListDrives();
  for (const TDriveInfo& drive : drives_) addItem(DriveIcon(drive.kind), EntryText(drive));
}

int TDriveComboBox::IndexOfFolder(const QString& folder) const {
  return DeepestMountIndex(drives_, folder);
}

// ---------------------------------------------------------------------------

TChooseDirectory::TChooseDirectory(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Select a Directory"));
  setFont(DesignFont(true));
  setSizeGripEnabled(false);
  resize(kDesignWidth, 323);
  setMinimumSize(kDesignWidth, 140);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Bevel1->setGeometry(8, 40, kBevelWidth, 241);

  Path = new QLabel(this);
  Path->setObjectName("Path");
  Path->move(8, 8);

  DirectoryListBox1 = new TDirectoryListBox(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setGeometry(8, 72, kListWidth, 228);
  DirectoryListBox1->setToolTip(QStringLiteral("Choose a directory and press OK"));

  DriveComboBox1 = new TDriveComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  DriveComboBox1->setGeometry(8, 40, kListWidth, 19);

  OK = new QPushButton(QStringLiteral("&OK"), this);
  OK->setObjectName("OK");
  OK->setGeometry(kButtonLeft, 40, 75, 25);
  OK->setDefault(true);

  Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  Cancel->setObjectName("Cancel");
  Cancel->setGeometry(kButtonLeft, 72, 75, 25);

  setTabOrder(DirectoryListBox1, DriveComboBox1);
  setTabOrder(DriveComboBox1, OK);
  setTabOrder(OK, Cancel);

  connect(OK, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(Cancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
  connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    OpenEntry(item->data(TDirectoryListBox::PathRole).toString(),
              item->data(TDirectoryListBox::PartRole).toInt());
  });
  connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChanged, this,
          [this](const QString& folder) { DirectoryChanged(folder); });
  connect(DriveComboBox1, &QComboBox::currentIndexChanged, this,
          [this] { DriveComboBox1Change(); });

  DirectoryListBox1->ShowDirectory(CurrentFolder());
  FormResize();
}

TChooseDirectory::~TChooseDirectory() = default;

QString TChooseDirectory::ChosenDirectory() const {
  return DirectoryListBox1->Directory();
}

void TChooseDirectory::OpenAt(const QString& folder) {
  if (folder.trimmed().isEmpty()) return;
  DirectoryListBox1->ShowDirectory(NearestExistingFolder(folder));
}

QString TChooseDirectory::FolderCurrentOnDrive(const QString& mountPoint) {
  const std::vector<TDriveInfo> drives = ListDrives();
  const QString current = CurrentFolder();
  const int currentDrive = DeepestMountIndex(drives, current);
  if (currentDrive >= 0 && drives[currentDrive].mountPoint == mountPoint) return current;
  const auto found = FoldersByDrive().find(mountPoint);
  if (found != FoldersByDrive().end()) return found->second;
  return mountPoint;
}

void TChooseDirectory::DriveComboBox1Change() {
  const int index = DriveComboBox1->currentIndex();
  if (index < 0 || index >= static_cast<int>(DriveComboBox1->Drives().size())) return;
  const QString folder = FolderCurrentOnDrive(DriveComboBox1->Drives()[index].mountPoint);
  // On failure the list keeps its folder and the box the drive that was chosen.
  if (const int error = DirectoryListBox1->SetDirectory(folder))
    ShowErrorMessage(this, FolderErrorText(error));
}

void TChooseDirectory::FormResize() {
  const int outerHeight = height() + kDesignFrameHeight;
  const int wider = std::max(0, width() - kDesignWidth);
  DirectoryListBox1->resize(kListWidth + wider, DirectoryListBox1->height());
  DirectoryListBox1->SetRoundedHeight(outerHeight - kListHeightAllowance);
  Bevel1->resize(kBevelWidth + wider, DirectoryListBox1->height());
  DriveComboBox1->resize(kListWidth + wider, DriveComboBox1->height());
  OK->move(kButtonLeft + wider, OK->y());
  Cancel->move(kButtonLeft + wider, Cancel->y());
  ShowPath();
}

void TChooseDirectory::reject() {
  done(mrCancel);
}

void TChooseDirectory::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TChooseDirectory::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    // Disks come and go, and folders are made and removed while it is closed.
    DriveComboBox1->Refresh();
    DirectoryListBox1->ShowDirectory(NearestExistingFolder(DirectoryListBox1->Directory()));
  }
  if (!shownBefore_) {
    shownBefore_ = true;
    if (const QScreen* screen = QApplication::primaryScreen()) {
      const QRect area = screen->geometry();
      const QSize outer = frameGeometry().size();
      move(std::max(0, (area.width() - outer.width()) / 2),
           std::max(0, (area.height() - outer.height()) / 2));
    }
  }
  QDialog::showEvent(event);
}

void TChooseDirectory::OpenEntry(const QString& path, int part) {
  if (part == TDirectoryListBox::CurrentEntry) return;
  if (const int error = DirectoryListBox1->SetDirectory(path))
    ShowErrorMessage(this, FolderErrorText(error));
}

void TChooseDirectory::DirectoryChanged(const QString& folder) {
  ShowPath();
  SelectDriveOf(folder);
  const int drive = DriveComboBox1->IndexOfFolder(folder);
  if (drive >= 0) FoldersByDrive()[DriveComboBox1->Drives()[drive].mountPoint] = folder;
}

void TChooseDirectory::ShowPath() {
  Path->setText(MinimizeName(DirectoryListBox1->Directory(), Path->fontMetrics(),
                             DirectoryListBox1->width()));
  Path->adjustSize();
}

void TChooseDirectory::SelectDriveOf(const QString& folder) {
  const int drive = DriveComboBox1->IndexOfFolder(folder);
  if (drive < 0) return;
  const QSignalBlocker quiet(DriveComboBox1);
  DriveComboBox1->setCurrentIndex(drive);
}
