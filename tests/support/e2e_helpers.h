// Shared pieces of the end-to-end tests: the session they start from, what
// the operator is told, and the simulator's request log in readable form.
#pragma once

#include "window_session.h"

#include <QStringList>
#include <QtTest>

namespace e2e {

inline const QString kNotConnected = QStringLiteral("通讯未连接");
inline const QString kReadFailure = QStringLiteral("读失败");
inline const QString kWriteFailure = QStringLiteral("写失败R");
inline const QString kLinkClosed = QStringLiteral("通讯已断开，操作已中止");

inline const QString kStepA = QStringLiteral("a)开始标定");
inline const QString kStepB = QStringLiteral("b)4mA确定输入");
inline const QString kStepC = QStringLiteral("c)20mA确定输入");

inline QString stepText(WindowSession &s) { return s.ui()->commandLinkButton_ma_auto_calib_4->text(); }

// Values written to one holding register, in order.
inline QList<int> writesTo(const sim::Simulator &sim, int address)
{
    QList<int> list;
    for (const sim::Request &r : sim.requests())
        if ((r.function == 6 || r.function == 16) && r.address == address && !r.values.empty())
            list << r.values.front();
    return list;
}

inline sim::Config at9600()
{
    sim::Config c;
    c.baud = 9600;
    return c;
}

// A transmitter as one meets it in the field: answering at the pace of the
// line with a few ms of turnaround.
inline sim::Config onLine(int baud, char parity = 'N', int stopBits = 1, int latencyMs = 5)
{
    sim::Config c;
    c.baud = baud;
    c.parity = parity;
    c.stopBits = stopBits;
    c.lineSpeed = true;
    c.latencyMs = latencyMs;
    return c;
}

// Connected, polling, the transmitter reporting `mode` and its group applied;
// the request log and the notices emptied.
inline bool connectPolling(WindowSession &s, int mode)
{
    if (!s.connectToSimulator())
        return false;
    s.sim().setWorkMode(mode);
    if (!QTest::qWaitFor([&] { return s.probe.workGroup() == mode && s.probe.ledRt()->isOn(); }, 8000))
        return false;
    if (!s.idle(8000))
        return false;
    s.sim().clearRequests();
    s.notices.clear();
    return true;
}

// Connected, the transmitter reporting `mode` and its group applied; then the
// poll stopped, the request log and the notices emptied, so every request is the test's.
inline bool prepare(WindowSession &s, int mode)
{
    if (!s.connectToSimulator())
        return false;
    if (mode != 0) {
        s.sim().setWorkMode(mode);
        if (!QTest::qWaitFor([&] { return s.probe.workGroup() == mode; }, 5000))
            return false;
    }
    if (!s.idle())
        return false;
    s.probe.pollTimer()->stop();
    if (!s.idle())
        return false;
    s.sim().clearRequests();
    s.notices.clear();
    return true;
}

// Every write the transmitter received, as "address=v1,v2" in order.
inline QStringList writes(const sim::Simulator &sim)
{
    QStringList list;
    for (const sim::Request &r : sim.requests()) {
        if (r.function != 6 && r.function != 16)
            continue;
        QStringList values;
        for (uint16_t v : r.values)
            values << QString::number(v);
        list << QString::number(r.address) + "=" + values.join(',');
    }
    return list;
}

// The request log as "f3@0x64 f16@0x9 ...", for failure messages.
inline QString describe(const std::vector<sim::Request> &requests)
{
    QStringList parts;
    for (const sim::Request &r : requests)
        parts << QString("f%1@%2x%3").arg(r.function).arg(r.address).arg(r.count);
    return parts.join(' ');
}

} // namespace e2e
