#include "report/PaneTable.h"

#include <QHeaderView>
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
