#include "report/PaneTable.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

void SetUpPaneTable(QTableView& table, int stretchColumn) {
  table.setSelectionBehavior(QAbstractItemView::SelectRows);
  table.setSelectionMode(QAbstractItemView::SingleSelection);
  table.setEditTriggers(QAbstractItemView::NoEditTriggers);
  table.setShowGrid(false);
  table.setWordWrap(false);
  QHeaderView* rows = table.verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(table.fontMetrics().height() + 6);
  QHeaderView* header = table.horizontalHeader();
  header->setHighlightSections(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
}

QWidget* PanePage(QLabel& caption, QWidget& aside, QTableView& table) {
  auto* top = new QHBoxLayout;
  top->setContentsMargins(4, 2, 4, 2);
  top->addWidget(&caption, 1);
  top->addWidget(&aside);
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(top);
  layout->addWidget(&table, 1);
  return page;
}

QLabel* NewPaneCaption(const QString& objectName) {
  auto* caption = new QLabel;
  caption->setObjectName(objectName);
  caption->setTextFormat(Qt::PlainText);
  caption->setWordWrap(true);
  caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return caption;
}
