#pragma once

#include <QString>

class QLabel;
class QTableView;
class QWidget;

// A pane's list as every pane shows one: whole rows chosen one at a time,
// nothing edited in place, no grid, rows of one line at a fixed height, and
// `stretchColumn` taking the room the others leave.
void SetUpPaneTable(QTableView& table, int stretchColumn);

// A pane's page: its caption with `aside` (a button, a check box) at its
// right, over the list.
QWidget* PanePage(QLabel& caption, QWidget& aside, QTableView& table);

// A pane's caption: plain text that wraps onto a second line rather than
// being cut off when the pane is narrow.
QLabel* NewPaneCaption(const QString& objectName);
