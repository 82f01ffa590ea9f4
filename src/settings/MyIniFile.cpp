#include "settings/MyIniFile.h"

#include <QCoreApplication>
#include <QFont>
#include <QListWidget>
#include <QTextEdit>

#include "scan/ReportTree.h"

QString MakeSettingsRoot(const QStringList&, int) {
  return kDefaultSettingsRoot;
}
QString MakeSettingsRoot(int position) {
  return MakeSettingsRoot(QCoreApplication::arguments(), position);
}
QString ConfigurationRoot(const QString& name) {
  return kConfigurationsRoot + "\\" + name;
}

TMyIniFile::TMyIniFile(const QString& settingsRoot) : root_(settingsRoot) {}
QString TMyIniFile::FileName() const {
  return {};
}
QString TMyIniFile::ReadText(const QString&, const QString&, const QString& d) const {
  return d;
}
void TMyIniFile::WriteText(const QString&, const QString&, const QString&) {}
int TMyIniFile::ReadNumber(const QString&, const QString&, int d) const {
  return d;
}
void TMyIniFile::WriteNumber(const QString&, const QString&, int) {}
bool TMyIniFile::ReadFlag(const QString&, const QString&, bool d) const {
  return d;
}
void TMyIniFile::WriteFlag(const QString&, const QString&, bool) {}
void TMyIniFile::ReadSectionNames(QStringList& names) const {
  names.clear();
}
bool TMyIniFile::SectionExists(const QString&) const {
  return false;
}
void TMyIniFile::ReadListBox(const QString&, const QString&, QStringList& items) const {
  items.clear();
}
void TMyIniFile::WriteListBox(const QString&, const QString&, const QStringList&) {}
void TMyIniFile::ReadListBox(const QString&, const QString&, QListWidget*) const {}
void TMyIniFile::WriteListBox(const QString&, const QString&, const QListWidget*) {}
void TMyIniFile::ReadFont(const QString&, const QString&, QFont&) const {}
void TMyIniFile::WriteFont(const QString&, const QString&, const QFont&) {}
void TMyIniFile::ReadTreeView(const QString&, const QString&, TReportTree&) const {}
void TMyIniFile::WriteTreeView(const QString&, const QString&, const TReportTree&) {}
void TMyIniFile::ReadRichEdit(const QString&, const QString&, QTextEdit*) const {}
void TMyIniFile::WriteRichEdit(const QString&, const QString&, const QTextEdit*) {}
QString TMyIniFile::ControlFileName(const QString&, const QString&) {
  return {};
}
QString TMyIniFile::ControlFolder(const QString&) {
  return {};
}
void TMyIniFile::EnsureFolder(const QString&) {}
