// Test access to the window's bookkeeping and internals (a friend of Widget).
#pragma once

#include "tabs/calibration_record_tab.h"
#include "tabs/traffic_tab.h"
#include "tabs/trend_tab.h"
#include "ui_widget.h"
#include "widgets/hled.h"
#include "core/registers.h"
#include "window/widget.h"

#include <QModbusClient>
#include <QTimer>

class WidgetProbe
{
public:
    explicit WidgetProbe(Widget &w) : m_w(w) {}

    Ui::Widget *ui() const { return m_w.ui; }
    HLed *ledCom() const { return m_w.led_com; }
    HLed *ledRt() const { return m_w.led_rt; }
    HLed *ledPara() const { return m_w.led_para; }
    HLed *ledTc() const { return m_w.led_tc; }
    HLed *ledPt() const { return m_w.led_pt; }
    HLed *ledMa() const { return m_w.led_ma; }
    QModbusClient *master() const { return m_w.link->master(); }
    rtu::Link *link() const { return m_w.link; }
    QTimer *pollTimer() const { return m_w.poll_timer; }
    CalibrationRecordTab *recordTab() const { return m_w.record_tab; }
    TrendTab *trendTab() const { return m_w.findChild<TrendTab *>(); }
    TrafficTab *trafficTab() const { return m_w.findChild<TrafficTab *>(); }

    bool replyPending() const { return m_w.link->replyPending(); }
    // Changing the bookkeeping from outside wakes the waits, as the link's own changes do.
    void setReplyPending(bool on) { m_w.link->m_replyPending = on; m_w.link->wakeWaits(); }
    int workGroup() const { return m_w.unit_state->group(); }
    int reportedMode() const { return m_w.unit_state->reported(); }
    // Which groups the window shows open, by their lamps.
    QVector<int> groupFlags() const
    {
        return {int(m_w.led_para->isOn()), int(m_w.led_tc->isOn()), int(m_w.led_pt->isOn()),
                int(m_w.led_ma->isOn())};
    }

    // A poll reporting `mode`, as the unit state takes it.
    void selectWorkGroup(int mode)
    {
        QVector<quint16> input(reg::kInputCount, 0);
        input[reg::kDecimalPlaces] = 1;
        input[reg::kWorkModeStatus] = quint16(mode);
        m_w.unit_state->observe(input);
    }
    void waitMs(int ms) { m_w.link->waitMs(ms); }
    // A live poll, as a tick sends it.
    bool sendPoll() { return m_w.sendPoll(); }
    bool writeRegisters(int start, const QVector<quint16> &values)
    {
        return m_w.link->sendWrite(start, values) != 0;
    }
    void tick() { m_w.timerUpDate(); }
    // Follows `reply` as the window follows a live poll: for replies the
    // master would never finish.
    void followAsPoll(QModbusReply *reply)
    {
        rtu::Link &link = *m_w.link;
        link.m_replyPending = true;
        link.m_ledger->follow(reply, link.timeoutMs(), [this](QModbusReply *r, const rtu::Verdict &v) {
            if (v.ok && r)
                m_w.showLiveValues(r->result());
            m_w.link->afterEnd();
            m_w.onReadEnded(v);
        });
    }
    quint64 repliesGivenUp() const { return m_w.link->m_ledger->givenUpCount(); }
    void presentTrimRead() { m_w.on_pushButton_ma_read_clicked(); }

private:
    Widget &m_w;
};
