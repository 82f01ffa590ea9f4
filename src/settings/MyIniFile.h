#pragma once

#include <QString>
#include <QStringList>

#include "scan/Errors.h"

class QFont;
class QListWidget;
class QTextEdit;
class TReportTree;

// Raised by the settings store: a value that cannot be read, or a store that
// cannot be written (told once, with its file and the system's reason).
class ERegistryException : public EVorntoolsError {
 public:
  using EVorntoolsError::EVorntoolsError;
};

// The key of an ordinary run, and the key below which named configurations live.
inline const QString kDefaultSettingsRoot = QStringLiteral("Zelvik Software\\Vorntools");
inline const QString kConfigurationsRoot = QStringLiteral("Zelvik Software\\Vorntools\\Others");

// The settings root of a run: the default root without an argument at
// `position`, else the named configuration given by the file-name part of
// that argument (what follows its last "/", "\" or ":").
QString MakeSettingsRoot(const QStringList& arguments, int position = 1);
// The same, on the application's own command line.
QString MakeSettingsRoot(int position = 1);
// The root of the named configuration `name`.
QString ConfigurationRoot(const QString& name);

// The per-user settings store, opened on one key path (the root). Sections
// are key paths below the root ("Usage\Dialog"), separated by "\". The whole
// store is one readable INI file per product in the user's configuration
// folder; every call reads or writes that file, nothing is cached.
class TMyIniFile {
 public:
  // Creates the root key (and any missing key above it) when it is missing.
  explicit TMyIniFile(const QString& settingsRoot);
  TMyIniFile(const TMyIniFile&) = delete;
  TMyIniFile& operator=(const TMyIniFile&) = delete;

  const QString& SettingsRoot() const { return root_; }
  // Where the store lives (for messages and tests).
  QString FileName() const;

  QString ReadText(const QString& section, const QString& name, const QString& defaultText) const;
  void WriteText(const QString& section, const QString& name, const QString& text);
  int ReadNumber(const QString& section, const QString& name, int defaultValue) const;
  void WriteNumber(const QString& section, const QString& name, int value);
  bool ReadFlag(const QString& section, const QString& name, bool defaultValue) const;
  void WriteFlag(const QString& section, const QString& name, bool value);
  // Clears the list, then appends the names of the root's direct sub-keys.
  void ReadSectionNames(QStringList& names) const;
  // True when the key (a section below the root) exists.
  bool SectionExists(const QString& section) const;
  // Removes the key (a section below the root) with everything in and below it.
  void EraseSection(const QString& section);

  // Lists live in the key "section followed directly by name": "Count" and Item1...
  void ReadListBox(const QString& section, const QString& name, QStringList& items) const;
  void WriteListBox(const QString& section, const QString& name, const QStringList& items);
  void ReadListBox(const QString& section, const QString& name, QListWidget* list) const;
  void WriteListBox(const QString& section, const QString& name, const QListWidget* list);

  // Fonts live in the key "section followed directly by name": face, size, styles.
  void ReadFont(const QString& section, const QString& name, QFont& font) const;
  void WriteFont(const QString& section, const QString& name, const QFont& font);

  // The report tree and rich-edit text live in files of the user's data
  // folder, shared by every configuration. Reading absorbs every failure;
  // writing raises "Cannot create file %s".
  void ReadTreeView(const QString& section, const QString& name, TReportTree& tree) const;
  void WriteTreeView(const QString& section, const QString& name, const TReportTree& tree);
  void ReadRichEdit(const QString& section, const QString& name, QTextEdit* edit) const;
  void WriteRichEdit(const QString& section, const QString& name, const QTextEdit* edit);

  // The file of a tree-view or rich-edit value, and the folder it lives in.
  static QString ControlFileName(const QString& section, const QString& name);
  static QString ControlFolder(const QString& section);
  // Creates the folder chain of a section's control files; failures are ignored.
  static void EnsureFolder(const QString& section);

 private:
  QString root_;
};
