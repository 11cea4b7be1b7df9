// The form places its containers by absolute rectangles drawn for a 900 x 660
// window and 881 x 361 pages; the window rescales them itself.

#include "widget.h"

#include "ui_widget.h"

void Widget::scaleWindowContainers()
{
    rule_top_logo.apply(ui->gridLayoutWidget, this, 900, 660);
    rule_top_serial.apply(ui->gridLayoutWidget_2, this, 900, 660);
    rule_live_strip.apply(ui->verticalLayoutWidget_2, this, 900, 660);
    rule_tabs.apply(ui->verticalLayoutWidget_3, this, 900, 660);
    rule_status.apply(ui->gridLayoutWidget_3, this, 900, 660);
}

void Widget::scalePageContainers()
{
    rule_table_pages.apply(ui->horizontalLayoutWidget, ui->tab_2, 881, 361);
    rule_calibration_page.apply(ui->verticalLayoutWidget, ui->tab, 881, 362);
    rule_table_pages.apply(ui->horizontalLayoutWidget_2, ui->tab_4, 881, 361);
}

void Widget::resizeEvent(QResizeEvent *)
{
    scaleWindowContainers();
    // The first resize comes before the pages have their size: leave them.
    if (pageScalingArmed)
        scalePageContainers();
    else
        pageScalingArmed = true;
}

void Widget::on_tabWidget_main_currentChanged(int)
{
    scalePageContainers();
}
