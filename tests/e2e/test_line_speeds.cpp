// The window on slow lines, polling as in the field: every operation works
// over and over at 1200 baud with parity and two stop bits, an operation ends
// with its link, and the live values keep coming while one runs.

#include "e2e_helpers.h"

#include <QElapsedTimer>
#include <QLCDNumber>
#include <functional>

using namespace e2e;

namespace {

int writeCount(const sim::Simulator &sim)
{
    return sim.requestCount(6) + sim.requestCount(16);
}

int requestCount(const sim::Simulator &sim)
{
    return int(sim.requests().size());
}

} // namespace

class TestLineSpeeds : public QObject
{
    Q_OBJECT
private slots:
    void operationsHoldAtTwelveHundredBaud_data();
    void operationsHoldAtTwelveHundredBaud();
    void operationEndsWithItsLink_data();
    void operationEndsWithItsLink();
    void pollsGoOnDuringAnOperation();
};

void TestLineSpeeds::operationsHoldAtTwelveHundredBaud_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("parameter read") << 1;
    QTest::newRow("point capture") << 2;
    QTest::newRow("automatic current step a and back") << 0;
    QTest::newRow("fine trim end") << 4;
}

// Spurious read failures come from budgets sized for 9600 baud. Each
// operation runs three times in a row on a session of its own, in the mode
// it belongs to.
void TestLineSpeeds::operationsHoldAtTwelveHundredBaud()
{
    QFETCH(int, mode);
    WindowSession s(onLine(1200, 'E', 2, 20));
    QVERIFY(connectPolling(s, mode));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    QCOMPARE(s.probe.workGroup(), mode);
    for (int i = 0; i < 3; ++i) {
        switch (mode) {
        case 1:
            ui->pushButton_para_read->click();
            QCOMPARE(ui->progressBar_write->value(), 100);
            break;
        case 2:
            sim.setAppliedMillivolts(10.0 + i);
            ui->commandLinkButton_tc_0mV->click();
            QCOMPARE(ui->lineEdit_tc_0mV->text(), QString::number(120 + 2000 * (10 + i)));
            QCOMPARE(ui->progressBar_write->value(), 100);
            break;
        case 0:
            ui->commandLinkButton_ma_auto_calib_4->click();
            QVERIFY(ui->commandLinkButton_ma_auto_calib_4->text().startsWith('b'));
            QTRY_COMPARE(s.probe.reportedMode(), 4);
            ui->pushButton_ma_calib->click();   // leaves mode 4 again
            QVERIFY(ui->commandLinkButton_ma_auto_calib_4->text().startsWith('a'));
            QCOMPARE(sim.workMode(), 0);
            QTRY_COMPARE(s.probe.reportedMode(), 0);
            break;
        case 4: {
            sim.setHolding(9, quint16(4100 + i));
            QRadioButton *end = i % 2 ? ui->radioButton_ma_fine_20 : ui->radioButton_ma_fine_4;
            end->click();
            if (end == ui->radioButton_ma_fine_4)
                QCOMPARE(ui->spinBox_ma_fine->value(), 4100 + i);
            QVERIFY(ui->spinBox_ma_fine->isEnabled());
            break;
        }
        default:
            QFAIL("no operation for this mode");
        }
    }
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join('|')));
}

void TestLineSpeeds::operationEndsWithItsLink_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("button");
    QTest::newRow("parameter write") << 1 << "pushButton_para_write";
    QTest::newRow("point capture") << 2 << "commandLinkButton_tc_50mV";
    QTest::newRow("calibration store") << 2 << "pushButton_tc_write";
    QTest::newRow("room calibration") << 2 << "commandLinkButton_tc_indoor_auto_calib";
    QTest::newRow("baud-rate change") << 0 << "pushButton_set_baudrate";
    QTest::newRow("automatic current step a") << 0 << "commandLinkButton_ma_auto_calib_4";
}

// Disconnected after the operation's first request, it sends nothing more,
// ends at once, and the next connection starts clean.
void TestLineSpeeds::operationEndsWithItsLink()
{
    QFETCH(int, mode);
    QFETCH(QString, button);
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, mode));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    if (mode == 1)
        ui->pushButton_para_read->click();
    ui->lineEdit_tc_indoor_auto_calib->setText("25.5");
    ui->progressBar_write->setValue(0);
    sim.clearRequests();
    auto *target = s.window.findChild<QAbstractButton *>(button);
    QVERIFY(target);

    // The first write of the operation (or its first request) closes the link.
    int atDisconnect = -1;
    QElapsedTimer sinceDisconnect;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (atDisconnect < 0 && writeCount(sim) > 0 && s.window.operationRunning()) {
            ui->pushButton_com_connect->click();
            atDisconnect = requestCount(sim);
            sinceDisconnect.start();
        }
    });
    watch.start();
    target->click();
    const qint64 endedAfter = sinceDisconnect.isValid() ? sinceDisconnect.elapsed() : -1;
    watch.stop();
    QVERIFY(atDisconnect > 0);
    QVERIFY2(endedAfter < 1000, qPrintable(QString::number(endedAfter)));
    QTest::qWait(1500);
    QVERIFY2(requestCount(sim) <= atDisconnect + 1, qPrintable(describe(sim.requests())));
    QVERIFY(ui->progressBar_write->value() < 100);

    // Reconnected, only polls go out: nothing of the old sequence follows.
    s.notices.clear();
    sim.clearRequests();
    QVERIFY(s.connectToSimulator());
    QTRY_VERIFY(sim.requestCount(4) >= 2);
    QTest::qWait(800);
    QCOMPARE(writeCount(sim), 0);
    QVERIFY(s.probe.ledRt()->isOn());
}

// A long operation does not stop the live display.
void TestLineSpeeds::pollsGoOnDuringAnOperation()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setDecimalPlaces(1);
    sim.setAmbient(20.0);
    QTRY_COMPARE(ui->lcdNumber_rt_indoor_tmp->value(), 20.0);
    double shownDuring = 0;
    QTimer::singleShot(1500, [&] { sim.setAmbient(30.0); });
    QTimer::singleShot(3500, [&] { shownDuring = ui->lcdNumber_rt_indoor_tmp->value(); });
    const int pollsBefore = sim.requestCount(4);
    ui->pushButton_tc_write->click();   // store, then a four-second progress run
    QVERIFY(s.notices.notices().isEmpty());
    QCOMPARE(shownDuring, 30.0);
    QVERIFY(sim.requestCount(4) - pollsBefore >= 4);
}

QTEST_MAIN(TestLineSpeeds)
#include "test_line_speeds.moc"
