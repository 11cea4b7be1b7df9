#include "window/widget.h"

#include "texts/language_table.h"
#include "ui_widget.h"

void Widget::on_comboBox_sel_language_currentIndexChanged(int index)
{
    setLanguage(index);
}

void Widget::setLanguage(int index)
{
    lang::applyLanguage(this, index, link->isOpen());
    languageToTabs(index);
}

void Widget::languageToTabs(int index)
{
    emit languageChanged(index);
    for (int page = first_extra_tab; page < ui->tabWidget_main->count(); ++page)
        ui->tabWidget_main->setTabText(page, ui->tabWidget_main->widget(page)->windowTitle());
}
