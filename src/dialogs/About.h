#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

class QLabel;
class QPushButton;

// The program's main icon (windows, the About box).
QIcon MainIcon();

// The About box: product name and version beside the main icon, and the
// maker's lines. Remembers nothing.
class TAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TAbout(QWidget* owner = nullptr);

  // Controls, by their design names.
  QLabel* iconImage;
  QLabel* VorntoolNameLabel;
  QLabel* versionLabel;
  QPushButton* OK;
  QLabel* makerLabel;
  QLabel* helpLabel;
};

// Shows the About box modally with `name` and "version: " followed by `version`.
void ShowAbout(const QString& name, const QString& version);
