// Changes the transmitter's own baud rate; it takes effect after a restart.

#include "window/widget.h"

#include "core/registers.h"
#include "procedures/stored_change.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

void Widget::on_pushButton_set_baudrate_clicked()
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    const quint16 code = ui->comboBox_set_baudrate->currentText().toUShort(nullptr, 10);

    // The rate in force before: a change that is not stored goes back to it,
    // or the next unrelated store would save a rate nobody chose.
    const auto holding = fetchOrReport(QModbusDataUnit::HoldingRegisters, notices::Notice::ReadFailure);
    if (!holding)
        return;
    // Each write is judged by its own answer; only a change the transmitter
    // accepted, stored and reads back is worth a restart.
    const proc::ChangeReport report = proc::storeChange(
        *link, [code](const QVector<quint16> &) { return verify::Written{reg::kDeviceBaudRate, {code}}; }, 200,
        &*holding, QStringLiteral("baud rate"));
    if (reportChange(report) && runProgress(1, 100, 40))
        notify(notices::Notice::BaudRateChanged);
}
