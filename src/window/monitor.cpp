// Live monitor: the input block is polled on every tick; its replies keep the
// three displays, the link status and the enabled function group current.

#include "window/widget.h"

#include "core/registers.h"
#include "ui_widget.h"

#include <QTimer>
#include <QTableWidget>

// Up to three passes: a free link gets a poll, a busy one is looked at again
// 100 ms later. The passes never wait inside the tick, so an operation clicked
// meanwhile runs on its own and the polls go on between its requests.
void Widget::timerUpDate()
{
    if (poll_passes_left > 0)
        return;   // the last tick's passes are still going
    poll_passes_left = 3;
    pollPass();
}

void Widget::pollPass()
{
    // The passes belong to a running poll: a stopped timer ends them too.
    while (poll_passes_left > 0 && poll_timer->isActive() && link->isOpen() && !link->isShuttingDown()) {
        --poll_passes_left;
        if (link->replyPending()) {
            poll_pass_timer->start(100);
            return;
        }
        reply_route = 0;
        readInputBlock();
    }
    poll_passes_left = 0;
}

// Where a block goes depends on who asked: 1 a register table, 2 the waiting
// operation, anything else the live display (input block only). The link
// status follows from the link's own signal.
void Widget::handleBlockReply(const QModbusDataUnit &unit, const rtu::Verdict &verdict, quint8 route,
                              bool holding)
{
    QTableWidget *table = holding ? ui->tableWidget_reg : ui->tableWidget_reg_2;
    if (verdict.ok) {
        if (route == 1)
            fillTable(table, unit);
        else if (route == 2)
            (holding ? holding_unit : input_unit) = unit;
        else if (!holding)
            showLiveValues(unit);
        if (route == 2)
            read_failed = false;
    } else if (verdict.shortReply && route == 1) {
        // A short block still shows in a register table as what arrived; it
        // never reaches an operation or the live display.
        fillTable(table, unit);
    }
    reply_route = 0;
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

    live_divisor = reg::temperatureDivisor(haveDecimalCode, decimals);
    reported_mode = n > reg::kWorkModeStatus ? int(reg::word(v, reg::kWorkModeStatus)) : -1;
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
