#include "tabs/tab_fit.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QScrollArea>
#include <QTableWidget>

namespace tabfit {

QWidget *scrolled(QWidget *inputs)
{
    auto *area = new QScrollArea;
    area->setWidget(inputs);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return area;
}

void keepRows(QTableWidget *table, int rows)
{
    const int header = table->horizontalHeader()->sizeHint().height();
    const int row = table->verticalHeader()->defaultSectionSize();
    table->setMinimumHeight(header + rows * row + 2 * table->frameWidth() + table->horizontalScrollBar()->sizeHint().height());
}

} // namespace tabfit
