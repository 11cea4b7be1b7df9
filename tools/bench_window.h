// What both benchmarks do to get the window talking to a simulator.
#pragma once

#include "widget_probe.h"

#include <QTest>

// Lists `port`, picks it at `baud`, connects and waits for the first good reply.
inline bool connectWindow(WidgetProbe &probe, const QString &port, int baud)
{
    Ui::Widget *ui = probe.ui();
    qputenv("TCAL_EXTRA_PORTS", port.toLocal8Bit());
    ui->pushButton_com_ref->click();
    ui->comboBox_com_num->setCurrentIndex(ui->comboBox_com_num->findText(port));
    ui->comboBox_baudrate->setCurrentText(QString::number(baud));
    ui->pushButton_com_connect->click();
    return QTest::qWaitFor([&] { return ui->label_link_sta->text().contains("OK"); }, 10000);
}
