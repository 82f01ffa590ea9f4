#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// Asks for the name to save the settings under, listing the saved ones.
class TSaveConfig : public QDialog {
  Q_OBJECT

 public:
  explicit TSaveConfig(QWidget* owner);

  QLabel* Name;
  QPushButton* Button1;
  QPushButton* Button2;
  QLineEdit* EditName;
  QListWidget* ListBoxNames;

  void FormCreate();
  void ListBoxNamesClick();
};
