// The real window connected to a simulated transmitter over a virtual line.
#pragma once

#include "notice_catcher.h"
#include "simulator_fixture.h"
#include "widget_probe.h"

#include <QtTest>

class WindowSession
{
public:
    explicit WindowSession(const sim::Config &config = sim::Config())
        : fixture(config), probe(window)
    {
    }

    // Lists the virtual port, picks it with the simulator's serial settings and connects.
    bool connectToSimulator()
    {
        if (!fixture.ok())
            return false;
        Ui::Widget *ui = probe.ui();
        qputenv("TCAL_EXTRA_PORTS", fixture.toolPort().toLocal8Bit());
        ui->pushButton_com_ref->click();
        ui->comboBox_com_num->setCurrentIndex(ui->comboBox_com_num->findText(fixture.toolPort()));
        const sim::Config c = fixture.config();
        ui->comboBox_baudrate->setCurrentText(QString::number(c.baud));
        ui->comboBox_checkbit->setCurrentText(c.parity == 'E' ? "Event" : c.parity == 'O' ? "Odd" : "None");
        ui->comboBox_stopbit->setCurrentText(QString::number(c.stopBits));
        ui->pushButton_com_connect->click();
        return probe.master()->state() == QModbusDevice::ConnectedState;
    }

    Ui::Widget *ui() const { return probe.ui(); }
    sim::Simulator &sim() { return fixture.sim(); }

    // Waits until the window is between requests and no operation runs.
    bool idle(int timeoutMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (!probe.replyPending() && !window.operationRunning())
                return true;
            QTest::qWait(10);
        }
        return false;
    }

    SimulatorFixture fixture;
    Widget window;
    WidgetProbe probe;
    NoticeCatcher notices;
};
