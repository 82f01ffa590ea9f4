#include "settings/MyIniFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QListWidget>
#include <QStandardPaths>
#include <QTextEdit>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "scan/IntegerText.h"
#include "scan/ReportTree.h"
#include "scan/SafeFile.h"
#include "settings/IniDocument.h"

namespace {

std::string Bytes(const QString& text) {
  return text.toUtf8().toStdString();
}
QString Text(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Where a root key lives: the first two levels name the file
// ("Zelvik Software\Vorntools" is Zelvik Software/Vorntools.conf in the
// configuration folder), the rest is a key path inside it.
struct TStoreLocation {
  QString folder;
  QString file;
  TKeyPath rootPath;
};

TStoreLocation Locate(const QString& root) {
  const TKeyPath parts = SplitKeyPath(Bytes(root));
  TStoreLocation where;
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::homePath() + "/.config";
  if (parts.size() >= 2) {
    where.folder = base + "/" + Text(parts[0]);
    where.file = where.folder + "/" + Text(parts[1]) + ".conf";
    where.rootPath.assign(parts.begin() + 2, parts.end());
  } else {
    where.folder = base;
    where.file =
        base + "/" + (parts.empty() ? QStringLiteral("Settings") : Text(parts[0])) + ".conf";
  }
  return where;
}

TKeyPath Join(const TKeyPath& root, const QString& section) {
  TKeyPath path = root;
  for (std::string& part : SplitKeyPath(Bytes(section))) path.push_back(std::move(part));
  return path;
}

// What the file holds now; a missing or unreadable file is an empty store.
TIniDocument Snapshot(const TStoreLocation& where) {
  std::string content;
  if (!ReadWholeFile(QFile::encodeName(where.file).toStdString(), content)) content.clear();
  return TIniDocument::Parse(content);
}

// The text of a value in a snapshot, or nothing when it is not stored.
std::optional<QString> Lookup(const TIniDocument& doc, const TKeyPath& path, const QString& name) {
  const std::optional<std::string> raw = doc.RawValue(path, Bytes(name));
  if (!raw) return std::nullopt;
  std::string text;
  switch (DecodeValue(*raw, text)) {
    case TValueKind::Text:
      return Text(text);
    case TValueKind::NotText:
      throw ERegistryException(FormatMessage("Invalid data type for '%s'", Bytes(name)));
    case TValueKind::Malformed:
      break;
  }
  throw ERegistryException(FormatMessage("Failed to get data for '%s'", Bytes(name)));
}

int LookupNumber(const TIniDocument& doc, const TKeyPath& path, const QString& name,
                 int defaultValue) {
  const std::optional<QString> stored = Lookup(doc, path, name);
  if (!stored) return defaultValue;
  std::string text = Bytes(*stored);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.replace(0, 2, "$");
  return TryStrToInt(text).value_or(defaultValue);
}

bool LookupFlag(const TIniDocument& doc, const TKeyPath& path, const QString& name,
                bool defaultValue) {
  return LookupNumber(doc, path, name, defaultValue ? 1 : 0) != 0;
}

// Items "Item1" to "Item<count>" of a key, in order, empty ones left out.
// Only the items that are stored are looked at, so a hand-typed huge count
// costs nothing.
QStringList LookupItems(const TIniDocument& doc, const TKeyPath& path, int count) {
  QStringList items;
  const TIniSection* section = doc.Find(path);
  if (!section || count <= 0) return items;
  std::map<int, QString> byNumber;
  for (const TIniLine& line : section->lines) {
    if (!line.isValue || line.name.size() < 5 || line.name.compare(0, 4, "Item") != 0) continue;
    const std::string digits = line.name.substr(4);
    if (digits[0] < '1' || digits[0] > '9') continue;
    const std::optional<std::int32_t> n = TryStrToInt(digits);
    if (!n || *n > count || byNumber.count(*n)) continue;
    byNumber[*n] = Lookup(doc, path, Text(line.name)).value_or(QString());
  }
  for (const auto& [n, text] : byNumber)
    if (!text.isEmpty()) items << text;
  return items;
}

// An exclusive lock on a file beside the store, held while one writer reads,
// changes and replaces the store, so concurrent programs never lose or tear
// each other's writes. In a folder that takes no new file the store itself
// is locked: it is written in place there, so it stays the same file.
class TStoreLock {
 public:
  explicit TStoreLock(const QString& file) {
    fd_ = ::open(QFile::encodeName(file + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
      const int refused = errno;
      fd_ = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) errno = errno == ENOENT ? refused : errno;
    }
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        const int saved = errno;
        ::close(fd_);
        fd_ = -1;
        errno = saved;
        return;
      }
    }
  }
  ~TStoreLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Every writer makes its temporary file while it holds the lock, so one found
// by the holder of the lock was left by a writer that was killed. Writers
// name it ".vtXXXXXX" (WriteFileReplacing); older ones named it after the store.
void RemoveStaleTemporaries(const TStoreLocation& where) {
  const QFileInfo store(where.file);
  QDir folder(store.path());
  for (const QString& name : folder.entryList(
           QStringList{store.fileName() + ".??????", ".vt??????"}, QDir::Files | QDir::Hidden))
    if (!name.endsWith(".lock")) folder.remove(name);
}

enum class TChangeResult { Unchanged, Written, Failed };

struct TChange {
  TChangeResult result = TChangeResult::Unchanged;
  int error = 0;  // why it failed
};

// Makes the store's folder and any missing folder above it; 0, or why not.
int MakeFolders(const QString& folder) {
  const std::string path = QFile::encodeName(folder).toStdString();
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string prefix = path.substr(0, end);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    if (end == std::string::npos) break;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Reads the store under the lock, lets `change` edit it and writes it back
// whole.
template <class Change>
TChange ModifyStore(const TStoreLocation& where, Change change) {
  if (const int error = MakeFolders(where.folder)) return {TChangeResult::Failed, error};
  TStoreLock lock(where.file);
  if (!lock.Held()) return {TChangeResult::Failed, errno};
  RemoveStaleTemporaries(where);
  std::string before;
  if (!ReadWholeFile(QFile::encodeName(where.file).toStdString(), before)) {
    // Only a file that is not there may be started afresh: replacing one we
    // could not read would lose what it holds.
    if (errno != ENOENT) return {TChangeResult::Failed, errno};
    before.clear();
  }
  const bool existed = QFileInfo::exists(where.file);
  TIniDocument doc = TIniDocument::Parse(before);
  change(doc);
  const std::string after = doc.Serialise();
  if (existed && after == before) return {TChangeResult::Unchanged, 0};
  if (WriteFileReplacing(QFile::encodeName(where.file).toStdString(), after))
    return {TChangeResult::Written, 0};
  return {TChangeResult::Failed, errno};
}

// The stores whose last write failed. A store that cannot be written is
// told of once, with its file and the reason, not at every value that is
// lost with it; a write that works again ends the silence.
std::mutex failingMutex;
std::set<QString> failingStores;

void RaiseOnFailure(const TStoreLocation& where, const TChange& change) {
  std::lock_guard<std::mutex> guard(failingMutex);
  if (change.result != TChangeResult::Failed) {
    failingStores.erase(where.file);
    return;
  }
  if (!failingStores.insert(where.file).second) return;
  throw ERegistryException(FormatMessage("Cannot write settings file %s", Bytes(where.file)) +
                           ": " + std::strerror(change.error));
}

QString DataRoot() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (base.isEmpty()) base = QDir::homePath() + "/.local/share";
  return base + "/Zelvik Software/Vorntools";
}

}  // namespace

QString MakeSettingsRoot(const QStringList& arguments, int position) {
  const QString argument =
      position >= 0 && position < arguments.size() ? arguments[position] : QString();
  if (argument.isEmpty()) return kDefaultSettingsRoot;
  const qsizetype cut =
      std::max({argument.lastIndexOf('/'), argument.lastIndexOf('\\'), argument.lastIndexOf(':')});
  const QString name = argument.mid(cut + 1).left(255);
  // An argument that ends in a separator names no configuration.
  if (name.isEmpty()) return kDefaultSettingsRoot;
  return ConfigurationRoot(name);
}

QString MakeSettingsRoot(int position) {
  return MakeSettingsRoot(QCoreApplication::arguments(), position);
}

QString ConfigurationRoot(const QString& name) {
  return kConfigurationsRoot + "\\" + name;
}

TMyIniFile::TMyIniFile(const QString& settingsRoot) : root_(settingsRoot) {
  // Opening creates the root key; a store that cannot be written shows its
  // error at the first write instead.
  const TStoreLocation where = Locate(root_);
  if (QFileInfo::exists(where.file) && Snapshot(where).KeyExists(where.rootPath)) return;
  ModifyStore(where, [&](TIniDocument& doc) { doc.Ensure(where.rootPath); });
}

QString TMyIniFile::FileName() const {
  return Locate(root_).file;
}

QString TMyIniFile::ReadText(const QString& section, const QString& name,
                             const QString& defaultText) const {
  const TStoreLocation where = Locate(root_);
  return Lookup(Snapshot(where), Join(where.rootPath, section), name).value_or(defaultText);
}

void TMyIniFile::WriteText(const QString& section, const QString& name, const QString& text) {
  const TStoreLocation where = Locate(root_);
  const TKeyPath path = Join(where.rootPath, section);
  RaiseOnFailure(where, ModifyStore(where, [&](TIniDocument& doc) {
                   doc.SetText(path, Bytes(name), Bytes(text));
                 }));
}

int TMyIniFile::ReadNumber(const QString& section, const QString& name, int defaultValue) const {
  const TStoreLocation where = Locate(root_);
  return LookupNumber(Snapshot(where), Join(where.rootPath, section), name, defaultValue);
}

void TMyIniFile::WriteNumber(const QString& section, const QString& name, int value) {
  WriteText(section, name, QString::number(value));
}

bool TMyIniFile::ReadFlag(const QString& section, const QString& name, bool defaultValue) const {
  const TStoreLocation where = Locate(root_);
  return LookupFlag(Snapshot(where), Join(where.rootPath, section), name, defaultValue);
}

void TMyIniFile::WriteFlag(const QString& section, const QString& name, bool value) {
  WriteText(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TMyIniFile::ReadSectionNames(QStringList& names) const {
  names.clear();
  const TStoreLocation where = Locate(root_);
  for (const std::string& name : Snapshot(where).ChildNames(where.rootPath)) names << Text(name);
}

bool TMyIniFile::SectionExists(const QString& section) const {
  const TStoreLocation where = Locate(root_);
  return QFileInfo::exists(where.file) && Snapshot(where).KeyExists(Join(where.rootPath, section));
}

void TMyIniFile::EraseSection(const QString& section) {
  const TStoreLocation where = Locate(root_);
  const TKeyPath path = Join(where.rootPath, section);
  const TChange change = ModifyStore(where, [&](TIniDocument& doc) { doc.RemoveKey(path); });
  // Asked for by the user: told every time, with the reason.
  if (change.result == TChangeResult::Failed) {
    throw ERegistryException(FormatMessage("Failed to delete key %s", Bytes(section)) + ": " +
                             std::strerror(change.error));
  }
}

void TMyIniFile::ReadListBox(const QString& section, const QString& name,
                             QStringList& items) const {
  items.clear();
  const TStoreLocation where = Locate(root_);
  const TIniDocument doc = Snapshot(where);
  const TKeyPath key = Join(where.rootPath, section + name);
  items = LookupItems(doc, key, LookupNumber(doc, key, QStringLiteral("Count"), 0));
}

void TMyIniFile::WriteListBox(const QString& section, const QString& name,
                              const QStringList& items) {
  const TStoreLocation where = Locate(root_);
  const TKeyPath key = Join(where.rootPath, section + name);
  // One replacement of the file for the whole list. Items beyond the new
  // count stay; reading stops at "Count".
  RaiseOnFailure(where, ModifyStore(where, [&](TIniDocument& doc) {
                   doc.SetText(key, "Count", Bytes(QString::number(items.size())));
                   for (qsizetype i = 0; i < items.size(); ++i)
                     doc.SetText(key, "Item" + std::to_string(i + 1), Bytes(items[i]));
                 }));
}

void TMyIniFile::ReadListBox(const QString& section, const QString& name, QListWidget* list) const {
  list->clear();
  QStringList items;
  ReadListBox(section, name, items);
  list->addItems(items);
}

void TMyIniFile::WriteListBox(const QString& section, const QString& name,
                              const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  WriteListBox(section, name, items);
}

void TMyIniFile::ReadFont(const QString& section, const QString& name, QFont& font) const {
  const TStoreLocation where = Locate(root_);
  const TIniDocument doc = Snapshot(where);
  const TKeyPath key = Join(where.rootPath, section + name);
  font.setFamily(Lookup(doc, key, QStringLiteral("Name")).value_or(QStringLiteral("Courier New")));
  int size = LookupNumber(doc, key, QStringLiteral("Size"), 10);
  // A size no window could show (a damaged value) gives the default.
  if (size < 1 || size > 1000) size = 10;
  font.setPointSize(size);
  // A style that is not stored, or stored off, is not taken away.
  if (LookupFlag(doc, key, QStringLiteral("Bold"), false)) font.setBold(true);
  if (LookupFlag(doc, key, QStringLiteral("Italic"), false)) font.setItalic(true);
  if (LookupFlag(doc, key, QStringLiteral("Underline"), false)) font.setUnderline(true);
  if (LookupFlag(doc, key, QStringLiteral("StrikeOut"), false)) font.setStrikeOut(true);
}

void TMyIniFile::WriteFont(const QString& section, const QString& name, const QFont& font) {
  const TStoreLocation where = Locate(root_);
  const TKeyPath key = Join(where.rootPath, section + name);
  // A font set in pixels has no point size of its own; take what it shows as.
  const int points = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
  const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  RaiseOnFailure(where, ModifyStore(where, [&](TIniDocument& doc) {
                   doc.SetText(key, "Name", Bytes(font.family()));
                   doc.SetText(key, "Size", std::to_string(points));
                   doc.SetText(key, "Bold", flag(font.bold()));
                   doc.SetText(key, "Italic", flag(font.italic()));
                   doc.SetText(key, "Underline", flag(font.underline()));
                   doc.SetText(key, "StrikeOut", flag(font.strikeOut()));
                 }));
}

QString TMyIniFile::ControlFolder(const QString& section) {
  QString folder = DataRoot();
  for (const std::string& part : SplitKeyPath(Bytes(section))) folder += "/" + Text(part);
  return folder;
}

QString TMyIniFile::ControlFileName(const QString& section, const QString& name) {
  return ControlFolder(section) + "/" + name + ".txt";
}

void TMyIniFile::EnsureFolder(const QString& section) {
  const QString folder = ControlFolder(section);
  if (QFileInfo(folder).isFile()) return;
  QDir().mkpath(folder);  // a folder that cannot be made shows up as the write's error
}

void TMyIniFile::ReadTreeView(const QString& section, const QString& name,
                              TReportTree& tree) const {
  EnsureFolder(section);
  const std::string file = QFile::encodeName(ControlFileName(section, name)).toStdString();
  // A missing file leaves the tree alone; a damaged one keeps what was read
  // before the damage. Nothing is shown either way.
  try {
    tree.Load(file);
  } catch (const std::exception&) {
  }
}

void TMyIniFile::WriteTreeView(const QString& section, const QString& name,
                               const TReportTree& tree) {
  EnsureFolder(section);
  tree.Save(QFile::encodeName(ControlFileName(section, name)).toStdString());
}

void TMyIniFile::ReadRichEdit(const QString& section, const QString& name, QTextEdit* edit) const {
  EnsureFolder(section);
  std::string content;
  if (ReadWholeFile(QFile::encodeName(ControlFileName(section, name)).toStdString(), content))
    edit->setPlainText(Text(content));
}

void TMyIniFile::WriteRichEdit(const QString& section, const QString& name, const QTextEdit* edit) {
  EnsureFolder(section);
  const QString file = ControlFileName(section, name);
  if (!WriteFileReplacing(QFile::encodeName(file).toStdString(), Bytes(edit->toPlainText())))
    throw EVorntoolsError(FormatMessage("Cannot create file %s", file.toStdString()) + ": " +
                          std::strerror(errno));
}
