#include "widget.h"

#include "calibration_record_tab.h"
#include "language_table.h"
#include "ui_widget.h"

void Widget::on_comboBox_sel_language_currentIndexChanged(int index)
{
    setLanguage(index);
}

void Widget::setLanguage(int index)
{
    lang::applyLanguage(this, index, link->isOpen());
    record_tab->setLanguage(index);
    ui->tabWidget_main->setTabText(ui->tabWidget_main->indexOf(record_tab), record_tab->title());
}
