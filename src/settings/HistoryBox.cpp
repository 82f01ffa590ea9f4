#include "settings/HistoryBox.h"

#include "settings/MyIniFile.h"

THistoryBox::THistoryBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
}
QString THistoryBox::HistoryKey(const QString& section, int number) {
  return section + "-History-" + QString::number(number);
}
void THistoryBox::ReadHistory(const TMyIniFile&, const QString&, int) {}
void THistoryBox::WriteHistory(TMyIniFile&, const QString&, int) const {}
QString THistoryBox::AddToHistory() {
  return currentText();
}
QString THistoryBox::Unquote(const QString& text) {
  return text;
}
QStringList THistoryBox::Entries() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << itemText(i);
  return out;
}
