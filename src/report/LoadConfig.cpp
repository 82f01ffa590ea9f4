#include "report/LoadConfig.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "report/ConfigNames.h"

TLoadConfig::TLoadConfig(QWidget* owner) : QDialog(owner) {
  setObjectName("LoadConfig");
  setWindowTitle("Load Configuration");
  setFixedSize(381 - 8, 121 - 27);  // the design's outer size less a usual frame

  Name = new QLabel("Name", this);
  Name->setGeometry(8, 20, 38, 21);
  ComboBoxNames = new QComboBox(this);  // a drop-down list: no free typing
  ComboBoxNames->setGeometry(48, 16, 145, 25);
  Name->setBuddy(ComboBoxNames);
  Button1 = new QPushButton("&OK", this);
  Button1->setGeometry(288, 16, 75, 25);
  Button1->setDefault(true);
  Button2 = new QPushButton("&Cancel", this);
  Button2->setGeometry(288, 48, 75, 25);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  FormCreate();
}

void TLoadConfig::FormCreate() {
  ComboBoxNames->clear();
  ComboBoxNames->addItems(ConfigurationNames());
  ComboBoxNames->setCurrentIndex(ComboBoxNames->count() > 0 ? 0 : -1);
}
