#pragma once

class QTableView;

// A pane's list as every pane shows one: whole rows chosen one at a time,
// nothing edited in place, no grid, rows of one line at a fixed height, and
// `stretchColumn` taking the room the others leave.
void SetUpPaneTable(QTableView& table, int stretchColumn);
