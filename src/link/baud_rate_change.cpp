// Changes the transmitter's own baud rate; it takes effect after a restart.

#include "widget.h"

#include "notice_texts.h"
#include "operation_guard.h"
#include "registers.h"
#include "ui_widget.h"

void Widget::on_pushButton_set_baudrate_clicked()
{
    OperationGuard guard(operation_running);
    if (!guard || !requireLink())
        return;
    const quint16 code = ui->comboBox_set_baudrate->currentText().toUShort(nullptr, 10);

    // Each write is judged by its own answer; only a change the transmitter
    // accepted and stored is worth a restart.
    const bool rateAccepted = writeConfirmed(reg::kDeviceBaudRate, {code});
    if (rateAccepted)
        waitMs(200);
    if (!rateAccepted || !writeConfirmed(reg::kStoreCommand, {reg::kStoreValue})) {
        notify(notices::Notice::WriteFailure);
        return;
    }
    if (runProgress(1, 100, 40))
        notify(notices::Notice::BaudRateChanged);
}
