#pragma once
// How the Automatic and the Batch tab fit a small window: their inputs scroll
// rather than shrink below what each field needs, and the main table keeps a
// few rows in view whatever the window's height.

class QTableWidget;
class QWidget;

namespace tabfit {

// `inputs` in a frameless scroll area that gives it at least its minimum size.
QWidget *scrolled(QWidget *inputs);
// The table is never shorter than its header and `rows` rows.
void keepRows(QTableWidget *table, int rows);

} // namespace tabfit
