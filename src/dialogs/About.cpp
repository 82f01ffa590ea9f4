#include "dialogs/About.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "dialogs/DialogCommon.h"

QIcon MainIcon() {
  InitDialogResources();
  return QIcon(QStringLiteral(":/vorntools/mainicon.png"));
}

TAbout::TAbout(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("About"));
  setFont(DesignFont());
  setFixedSize(505, 165);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  OK = new QPushButton(QStringLiteral("OK"), this);
  OK->setObjectName("OK");
  OK->setGeometry(424, 120, 75, 25);
  OK->setDefault(true);
  connect(OK, &QPushButton::clicked, this, [this] { done(mrOk); });

  iconImage = new QLabel(this);
  iconImage->setObjectName("iconImage");
  iconImage->setGeometry(8, 8, 41, 41);
  iconImage->setAlignment(Qt::AlignCenter);

  VorntoolNameLabel = new QLabel(QStringLiteral("VorntoolNameLabel"), this);
  VorntoolNameLabel->setObjectName("VorntoolNameLabel");
  VorntoolNameLabel->move(64, 8);
  VorntoolNameLabel->adjustSize();

  versionLabel = new QLabel(QStringLiteral("versionLabel"), this);
  versionLabel->setObjectName("versionLabel");
  versionLabel->move(64, 24);
  versionLabel->adjustSize();

  makerLabel = new QLabel(QStringLiteral("Zelvik Software"), this);
  makerLabel->setObjectName("makerLabel");
  makerLabel->move(8, 72);
  makerLabel->adjustSize();

  helpLabel = new QLabel(
      QStringLiteral("For help with Usage Vorntool, choose Help... in the Help menu (F1)\n"
                     "or the Help button of the settings dialog: the user guide explains\n"
                     "every command, dialog and option."),
      this);
  helpLabel->setObjectName("helpLabel");
  helpLabel->move(8, 96);
  helpLabel->adjustSize();
}

void ShowAbout(const QString& name, const QString& version) {
  TAbout about(QApplication::activeModalWidget());
  about.VorntoolNameLabel->setText(name);
  about.VorntoolNameLabel->adjustSize();
  about.versionLabel->setText(QStringLiteral("version: ") + version);
  about.versionLabel->adjustSize();
  about.iconImage->setPixmap(MainIcon().pixmap(41, 41));
  about.exec();
}
