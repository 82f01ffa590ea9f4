#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "FuzzTargets.h"
#include "scan/IntegerText.h"
#include "scan/SafeFile.h"
#include "settings/IniDocument.h"
#include "settings/MyIniFile.h"

namespace {

std::unique_ptr<QTemporaryDir> Home;
std::string StoreFile;

bool Utf8RoundTrips(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
             .toUtf8()
             .toStdString() == bytes;
}

QString Text(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A name the store's calls can address: "\" separates key parts there.
bool Addressable(const std::string& part) {
  return !part.empty() && part.find('\\') == std::string::npos && Utf8RoundTrips(part);
}

std::string Join(const TKeyPath& path) {
  std::string out;
  for (const std::string& part : path) out += (out.empty() ? "" : "\\") + part;
  return out;
}

// what() is a C string: a NUL in the name ends the message there.
bool IsRegistryMessage(const std::string& message, const std::string& name) {
  for (const std::string form : {"Invalid data type for '", "Failed to get data for '"}) {
    const std::string full = form + name + "'";
    if (message == full.substr(0, full.find('\0'))) return true;
  }
  return false;
}

// What a value reads as, through the document alone.
std::pair<TValueKind, std::string> Decoded(const TIniDocument& doc, const TKeyPath& path,
                                           const std::string& name) {
  std::string text;
  const auto raw = doc.RawValue(path, name);
  FUZZ_CHECK(raw.has_value());
  const TValueKind kind = DecodeValue(*raw, text);
  return {kind, text};
}

}  // namespace

void FuzzSettingsInit() {
  // A file system in memory if there is one: every write of the store syncs.
  const QString base = QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath();
  Home = std::make_unique<QTemporaryDir>(base + "/vorn-fuzz-XXXXXX");
  FUZZ_CHECK(Home->isValid());
  qputenv("XDG_CONFIG_HOME", (Home->path() + "/config").toUtf8());
  qputenv("XDG_DATA_HOME", (Home->path() + "/data").toUtf8());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "settings_fuzz";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  QDir().mkpath(Home->path() + "/config/Zelvik Software");
  StoreFile = (Home->path() + "/config/Zelvik Software/Vorntools.conf").toStdString();
}

// Any bytes as the settings file: it parses, writes back in a form that
// parses to the same values, and every typed read of every value either
// gives a value or raises one of the store's own messages.
int FuzzSettings(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const TIniDocument doc = TIniDocument::Parse(text);
  const std::string form = doc.Serialise();
  const TIniDocument again = TIniDocument::Parse(form);
  FUZZ_CHECK(again.Serialise() == form);
  for (const TIniSection& section : doc.Sections()) {
    FUZZ_CHECK(again.KeyExists(section.path));
    for (const TIniLine& line : section.lines) {
      if (!line.isValue) continue;
      const auto before = Decoded(doc, section.path, line.name);
      const auto after = Decoded(again, section.path, line.name);
      FUZZ_CHECK(before.first == after.first);
      if (before.first == TValueKind::Text) FUZZ_CHECK(before.second == after.second);
      // Any text is stored in a form that reads back as itself.
      if (before.first == TValueKind::Text) {
        std::string back;
        FUZZ_CHECK(DecodeValue(EncodeValue(before.second), back) == TValueKind::Text);
        FUZZ_CHECK(back == before.second);
      }
    }
  }

  // The typed reads, through the store on the same bytes.
  if (!WriteFileReplacing(StoreFile, text)) return 0;
  TMyIniFile store(kDefaultSettingsRoot);
  QStringList names;
  store.ReadSectionNames(names);
  int checked = 0;
  for (const TIniSection& section : doc.Sections()) {
    bool addressable = !section.path.empty();
    for (const std::string& part : section.path) addressable = addressable && Addressable(part);
    if (!addressable) continue;
    const QString key = Text(Join(section.path));
    FUZZ_CHECK(store.SectionExists(key));
    FUZZ_CHECK(names.contains(Text(section.path[0])));
    QStringList items;
    try {
      store.ReadListBox(key, QString(), items);
    } catch (const ERegistryException&) {
    }
    QFont font;
    try {
      store.ReadFont(key, QString(), font);
      FUZZ_CHECK(font.pointSize() >= 1 && font.pointSize() <= 1000);
    } catch (const ERegistryException&) {
    }
    for (const TIniLine& line : section.lines) {
      if (!line.isValue || !Utf8RoundTrips(line.name) || ++checked > 50) continue;
      const QString name = Text(line.name);
      const auto [kind, value] = Decoded(doc, section.path, line.name);
      try {
        const QString read = store.ReadText(key, name, QStringLiteral("default"));
        FUZZ_CHECK(kind == TValueKind::Text);
        FUZZ_CHECK(read == Text(value));
        std::string number = read.toUtf8().toStdString();
        if (number.size() > 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X'))
          number.replace(0, 2, "$");
        FUZZ_CHECK(store.ReadNumber(key, name, 7) == TryStrToInt(number).value_or(7));
        FUZZ_CHECK(store.ReadFlag(key, name, true) == (TryStrToInt(number).value_or(1) != 0));
      } catch (const ERegistryException& e) {
        FUZZ_CHECK(kind != TValueKind::Text);
        FUZZ_CHECK(IsRegistryMessage(e.what(), line.name));
      }
    }
  }
  // A write keeps every other value as it was read.
  if (checked > 0) {
    store.WriteText("Fuzz\\Written", "Value", QStringLiteral("a, \"b\"\\"));
    FUZZ_CHECK(store.ReadText("Fuzz\\Written", "Value", "") == QStringLiteral("a, \"b\"\\"));
  }
  return 0;
}
