#include "report/SaveConfig.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "report/ConfigNames.h"
#include "report/UserName.h"

TSaveConfig::TSaveConfig(QWidget* owner) : QDialog(owner) {
  setObjectName("SaveConfig");
  setWindowTitle("Save Configuration");
  setFixedSize(313 - 8, 201 - 27);  // the design's outer size less a usual frame

  Name = new QLabel("Name", this);
  Name->setGeometry(8, 20, 44, 21);
  EditName = new QLineEdit("EditName", this);
  EditName->setGeometry(56, 16, 145, 23);
  Name->setBuddy(EditName);
  Button1 = new QPushButton("&OK", this);
  Button1->setGeometry(216, 16, 75, 25);
  Button1->setDefault(true);
  Button2 = new QPushButton("&Cancel", this);
  Button2->setGeometry(216, 48, 75, 25);
  ListBoxNames = new QListWidget(this);
  ListBoxNames->setGeometry(56, 56, 145, 97);
  setTabOrder(EditName, ListBoxNames);
  setTabOrder(ListBoxNames, Button1);
  setTabOrder(Button1, Button2);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListBoxNames, &QListWidget::itemClicked, this, &TSaveConfig::ListBoxNamesClick);
  FormCreate();
}

void TSaveConfig::FormCreate() {
  EditName->setText(QString::fromStdString(LoggedOnUserName()));
  ListBoxNames->clear();
  ListBoxNames->addItems(ConfigurationNames());
}

void TSaveConfig::ListBoxNamesClick() {
  const QList<QListWidgetItem*> chosen = ListBoxNames->selectedItems();
  if (!chosen.isEmpty()) EditName->setText(chosen.first()->text());
}
