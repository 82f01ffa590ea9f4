#pragma once

#include <QComboBox>
#include <QString>

class TMyIniFile;

// An editable combo box whose list is the history of texts used in it, most
// recent first, kept in the store with the text of the field.
class THistoryBox : public QComboBox {
  Q_OBJECT

 public:
  explicit THistoryBox(QWidget* parent = nullptr);

  // Most entries loaded from and saved to the store; the list in memory is not limited.
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }

  // The key of box `number`: the section followed by "-History-" and the number.
  static QString HistoryKey(const QString& section, int number);

  void ReadHistory(const TMyIniFile& iniFile, const QString& section, int number);
  void WriteHistory(TMyIniFile& iniFile, const QString& section, int number) const;
  // Records the current text as the most recent entry (once, case-insensitively).
  QString AddToHistory();

  // Removes one pair of surrounding double quotes, or else of single quotes.
  static QString Unquote(const QString& text);

  // The entries, most recent first.
  QStringList Entries() const;

 private:
  int size_ = 0;
};
