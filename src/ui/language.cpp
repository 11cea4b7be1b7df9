#include "widget.h"

#include "language_table.h"

void Widget::on_comboBox_sel_language_currentIndexChanged(int index)
{
    setLanguage(index);
}

void Widget::setLanguage(int index)
{
    lang::applyLanguage(this, index, isConnected());
}
