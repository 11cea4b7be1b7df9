// Live monitor: the input block is polled on every tick; its replies keep the
// three displays, the link status and the enabled function group current.

#include "widget.h"

#include "registers.h"
#include "ui_widget.h"

#include <QModbusReply>
#include <QTableWidget>

void Widget::timerUpDate()
{
    for (int pass = 0; pass < 3; ++pass) {
        if (reply_pending) {
            waitMs(100);
        } else {
            reply_route = 0;
            readInputBlock();
        }
    }
}

void Widget::onInputBlockReply()
{
    handleBlockReply(ui->tableWidget_reg_2, input_unit, true);
}

void Widget::onHoldingBlockReply()
{
    handleBlockReply(ui->tableWidget_reg, holding_unit, false);
}

// Where a block goes depends on who asked: 1 a register table, 2 the waiting
// operation, anything else the live display (input block only).
void Widget::handleBlockReply(QTableWidget *table, QModbusDataUnit &buffer, bool live)
{
    auto *reply = qobject_cast<QModbusReply *>(sender());
    if (!reply)
        return;
    if (reply->error() != QModbusDevice::NoError) {
        showLinkFailure(reply->errorString());
    } else {
        const QModbusDataUnit unit = reply->result();
        if (reply_route == 1) {
            fillTable(table, unit);
        } else if (reply_route == 2) {
            buffer = unit;
            read_failed = false;
        } else if (live) {
            showLiveValues(unit);
        }
        showLinkOk();
    }
    reply_route = 0;
    reply_pending = false;
    reply->deleteLater();
}

void Widget::showLiveValues(const QModbusDataUnit &unit)
{
    const QVector<quint16> v = unit.values();
    const int n = v.size();
    const bool haveDecimalCode = n >= 12;
    const quint16 decimals = reg::word(v, reg::kDecimalPlaces);

    ui->lcdNumber_rt_mase_tmp->display(reg::temperatureText(
        reg::value32(v, reg::kMeasuredTemperature), haveDecimalCode, decimals));
    ui->lcdNumber_rt_indoor_tmp->display(reg::temperatureText(
        reg::value32(v, reg::kRoomTemperature), haveDecimalCode, decimals));
    ui->lcdNumber_rt_adc_value->setProperty("value", reg::value32(v, reg::kAdcValue));

    emit liveValuesReceived(reg::decodeLiveValues(v, QDateTime::currentDateTime()));

    if (n <= reg::kWorkModeStatus) {
        selectWorkGroup(0);
        return;
    }
    const int mode = reg::word(v, reg::kWorkModeStatus);
    // An automatic current calibration past its first step keeps its state.
    const QString step = ui->commandLinkButton_ma_auto_calib_4->text();
    if (mode == reg::ModeCurrentOutput && (step.isEmpty() || step.at(0) != QLatin1Char('a')))
        return;
    selectWorkGroup(mode);
}
