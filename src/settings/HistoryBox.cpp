#include "settings/HistoryBox.h"

#include <QCollator>
#include <QLineEdit>
#include <QSignalBlocker>

#include "settings/MyIniFile.h"

THistoryBox::THistoryBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  // Entries are added by AddToHistory only, not by pressing Enter.
  setInsertPolicy(QComboBox::NoInsert);
}

QString THistoryBox::HistoryKey(const QString& section, int number) {
  return section + "-History-" + QString::number(number);
}

void THistoryBox::ReadHistory(const TMyIniFile& iniFile, const QString& section, int number) {
  const QString key = HistoryKey(section, number);
  const QString current = currentText();
  const int count = std::min(size_, iniFile.ReadNumber(key, "Count", 0));
  QStringList entries;
  for (int i = 1; i <= count; ++i) {
    const QString entry = iniFile.ReadText(key, "Item" + QString::number(i), QString());
    if (!entry.isEmpty()) entries << entry;
  }
  const QString text = Unquote(iniFile.ReadText(key, "Text", current));
  {
    // Filling the list must not pass through other texts on the way.
    const QSignalBlocker blocker(this);
    clear();
    addItems(entries);
    setCurrentIndex(-1);
    setEditText(current);
  }
  setEditText(text);
}

void THistoryBox::WriteHistory(TMyIniFile& iniFile, const QString& section, int number) const {
  const QString key = HistoryKey(section, number);
  iniFile.WriteText(key, "Text", currentText());
  iniFile.WriteNumber(key, "Count", count());
  for (int i = 1; i <= std::min(size_, count()); ++i)
    iniFile.WriteText(key, "Item" + QString::number(i), itemText(i - 1));
}

QString THistoryBox::AddToHistory() {
  if (QLineEdit* edit = lineEdit(); edit && edit->hasSelectedText())
    edit->setCursorPosition(edit->selectionStart());
  const QString text = currentText();
  QCollator collator;  // the user's locale
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  {
    const QSignalBlocker blocker(this);
    for (int i = 0; i < count(); ++i) {
      if (collator.compare(itemText(i), text) == 0) {
        removeItem(i);
        break;
      }
    }
    insertItem(0, text);
    setCurrentIndex(-1);
    setEditText(text);
  }
  setEditText(text);
  return text;
}

QString THistoryBox::Unquote(const QString& text) {
  if (text.isEmpty()) return text;
  const QChar first = text.front(), last = text.back();
  if ((first == '"' && last == '"') || (first == '\'' && last == '\''))
    return text.size() == 1 ? QString() : text.mid(1, text.size() - 2);
  return text;
}

QStringList THistoryBox::Entries() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << itemText(i);
  return out;
}
