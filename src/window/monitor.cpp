// Live monitor: the input block is polled on every tick; its replies keep the
// three displays, the link status and the enabled function group current.

#include "window/widget.h"

#include "core/registers.h"
#include "ui_widget.h"

#include <QLCDNumber>
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
        sendPoll();
    }
    poll_passes_left = 0;
}

// One read of the input block for the live display; true when it went out.
bool Widget::sendPoll()
{
    if (!link->isOpen() || link->isShuttingDown())
        return false;
    return link->sendRead(QModbusDataUnit::InputRegisters, 0, reg::kInputCount,
                          [this](const QModbusDataUnit &unit, const rtu::Verdict &verdict) {
                              if (verdict.ok)
                                  showLiveValues(unit);
                          }) != 0;
}

namespace {

// A display repaints whenever it is set; most polls bring the same reading.
void showOnLcd(QLCDNumber *lcd, const QString &text)
{
    static const char kShown[] = "shownText";
    if (lcd->property(kShown).toString() == text)
        return;
    lcd->setProperty(kShown, text);
    lcd->display(text);
}

} // namespace

void Widget::showLiveValues(const QModbusDataUnit &unit)
{
    const QVector<quint16> v = unit.values();
    const int n = v.size();
    const bool haveDecimalCode = n >= 12;
    const quint16 decimals = reg::word(v, reg::kDecimalPlaces);

    showOnLcd(ui->lcdNumber_rt_mase_tmp,
              reg::temperatureText(reg::value32(v, reg::kMeasuredTemperature), haveDecimalCode, decimals));
    showOnLcd(ui->lcdNumber_rt_indoor_tmp,
              reg::temperatureText(reg::value32(v, reg::kRoomTemperature), haveDecimalCode, decimals));
    showOnLcd(ui->lcdNumber_rt_adc_value, QString::number(reg::value32(v, reg::kAdcValue)));

    emit liveValuesReceived(reg::decodeLiveValues(v, QDateTime::currentDateTime()));
    // The groups follow what the unit reports (showGroup).
    unit_state->observe(v);
}
