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
    const quint32 okBefore = write_answers_ok;
    const quint32 answeredBefore = writeAnswers();

    const bool rateSent = writeWhenFree(reg::kDeviceBaudRate, {code});
    waitMs(200);
    const bool storeSent = writeWhenFree(reg::kStoreCommand, {reg::kStoreValue});
    runProgress(1, 100, 40);

    // Only a change the transmitter accepted is worth a restart.
    const quint32 sent = quint32(rateSent) + quint32(storeSent);
    awaitWriteAnswers(answeredBefore + sent);
    const bool accepted = rateSent && storeSent && write_answers_ok - okBefore == 2;
    notify(accepted ? notices::Notice::BaudRateChanged : notices::Notice::WriteFailure);
}
