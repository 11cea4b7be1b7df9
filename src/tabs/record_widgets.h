#pragma once
// Small pieces the record tab's parts share: widgets made with their object
// names, and the list of widgets whose text follows the window's language.

#include "record/record_texts.h"

#include <QColor>
#include <QVector>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWidget;
namespace recordsdb { enum class DueState; }

namespace recordui {

QLineEdit *lineEdit(const char *name);
QDoubleSpinBox *numberBox(const char *name, double min, double max, int decimals, double value);
// Columns stretched to the width: a table never scrolls sideways.
QTableWidget *table(const char *name, int columns);
// A row's background by its due state, the same in every register: red
// overdue, amber due soon, blue never calibrated; invalid when on time.
QColor dueColour(recordsdb::DueState state);

// Labels, buttons, group boxes and check boxes with a text of record_texts.
class Texts
{
public:
    QLabel *label(record::Text text);
    QPushButton *button(record::Text text, const char *name);
    void add(QWidget *widget, record::Text text);
    // A line edit's placeholder text.
    void placeholder(QLineEdit *edit, record::Text text);
    void apply(int language) const;

private:
    struct Labelled { QWidget *widget; record::Text text; };
    QVector<Labelled> m_widgets;
};

} // namespace recordui
