#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

// Lets the user pick one of the saved configurations.
class TLoadConfig : public QDialog {
  Q_OBJECT

 public:
  explicit TLoadConfig(QWidget* owner);

  QLabel* Name;
  QPushButton* Button1;
  QPushButton* Button2;
  QComboBox* ComboBoxNames;

  void FormCreate();
};
