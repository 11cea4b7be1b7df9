// Connect, live monitor, link status, gating, lost lines and the operation
// guard, with the real window talking Modbus RTU to the simulator.

#include "e2e_helpers.h"
#include "window_session.h"

#include <QModbusReply>

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

sim::Config at(int baud)
{
    sim::Config c;
    c.baud = baud;
    return c;
}

const QString kOk = QStringLiteral("link status: 【OK】");

} // namespace

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void connectConfiguresMaster_data();
    void connectConfiguresMaster();
    void failedConnectChangesNothing();
    void liveValuesDecode();
    void shortReplyKeepsLastValues();
    void reportedModeDrivesGroups();
    void errorRepliesAndRecovery();
    void lostLineDisconnects();
    void writeWithoutReplyObjectIsReported();
    void waitKeepsWindowResponsive();
    void operationsDoNotOverlap();
    void closingDuringOperationEndsCleanly();
    void waitsEndOnTheReplyOrAtTheirBound();
    void stalledPortEndsTheStepAndCloses();
};

void TestLink::connectConfiguresMaster_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("wantParity");
    QTest::addColumn<int>("wantStop");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("period");
    QTest::newRow("4800 default") << 4800 << "None" << "1" << int(QSerialPort::NoParity)
                                  << int(QSerialPort::OneStop) << 666 << 766;
    QTest::newRow("9600 Event 2") << 9600 << "Event" << "2" << int(QSerialPort::EvenParity)
                                  << int(QSerialPort::TwoStop) << 533 << 633;
    QTest::newRow("2400 Odd") << 2400 << "Odd" << "1" << int(QSerialPort::OddParity)
                              << int(QSerialPort::OneStop) << 933 << 1033;
}

void TestLink::connectConfiguresMaster()
{
    QFETCH(int, baud);
    QFETCH(QString, parity);
    QFETCH(QString, stop);
    QFETCH(int, wantParity);
    QFETCH(int, wantStop);
    QFETCH(int, timeout);
    QFETCH(int, period);
    sim::Config config = at(baud);
    config.parity = parity == "Event" ? 'E' : parity == "Odd" ? 'O' : 'N';
    config.stopBits = stop.toInt();
    WindowSession s(config);
    QVERIFY2(s.fixture.ok(), qPrintable(s.fixture.errorString()));
    Ui::Widget *ui = s.ui();
    ui->comboBox_checkbit->setCurrentText(parity);
    ui->comboBox_stopbit->setCurrentText(stop);
    QVERIFY(s.connectToSimulator());

    QModbusClient *m = s.probe.master();
    QCOMPARE(m->connectionParameter(QModbusDevice::SerialPortNameParameter).toString(),
             s.fixture.toolPort());
    QCOMPARE(m->connectionParameter(QModbusDevice::SerialParityParameter).toInt(), wantParity);
    QCOMPARE(m->connectionParameter(QModbusDevice::SerialStopBitsParameter).toInt(), wantStop);
    QCOMPARE(m->connectionParameter(QModbusDevice::SerialBaudRateParameter).toInt(), baud);
    QCOMPARE(m->connectionParameter(QModbusDevice::SerialDataBitsParameter).toInt(), 8);
    QCOMPARE(m->timeout(), timeout);
    QCOMPARE(m->numberOfRetries(), 0);
    QCOMPARE(s.probe.pollTimer()->interval(), period);
    QVERIFY(s.probe.pollTimer()->isActive());
    QVERIFY(s.probe.ledCom()->isOn());
    QCOMPARE(ui->pushButton_com_connect->text(), QString("断开设备"));
    for (QWidget *locked : {static_cast<QWidget *>(ui->pushButton_com_ref),
                            static_cast<QWidget *>(ui->comboBox_com_num),
                            static_cast<QWidget *>(ui->comboBox_baudrate),
                            static_cast<QWidget *>(ui->lineEdit_dev_addr)})
        QVERIFY(!locked->isEnabled());

    // Polls arrive and the link status follows them.
    QTRY_VERIFY_WITH_TIMEOUT(s.sim().requestCount(4, 0) >= 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), kOk, 5000);
    QVERIFY(s.probe.ledRt()->isOn());

    ui->pushButton_com_connect->click();
    QCOMPARE(m->state(), QModbusDevice::UnconnectedState);
    QCOMPARE(ui->pushButton_com_connect->text(), QString("连接设备"));
    QVERIFY(!s.probe.ledCom()->isOn());
    QVERIFY(!s.probe.pollTimer()->isActive());
    QVERIFY(ui->comboBox_baudrate->isEnabled());
    QVERIFY(ui->pushButton_com_ref->isEnabled());
    QVERIFY(s.notices.notices().isEmpty());
}

void TestLink::failedConnectChangesNothing()
{
    Widget w;
    WidgetProbe p(w);
    NoticeCatcher notices;
    Ui::Widget *ui = p.ui();
    for (const char *port : {"/dev/tcal-no-such-port", "nokey", "Cannot open regedit!"}) {
        ui->comboBox_com_num->clear();
        ui->comboBox_com_num->addItem(port);
        ui->pushButton_com_connect->click();
        QTRY_COMPARE(notices.count(), 1);
        QCOMPARE(notices.lastTitle(), QString("提示"));
        QCOMPARE(notices.lastText(), QString("串口连接失败"));
        notices.clear();
        QCOMPARE(ui->pushButton_com_connect->text(), QString("设备连接"));
        QVERIFY(ui->comboBox_baudrate->isEnabled());
        QVERIFY(!p.ledCom()->isOn());
        QVERIFY(!p.pollTimer()->isActive());
    }
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->pushButton_com_connect->click();
    QTRY_COMPARE(notices.lastText(), QString("Serial connection failed"));
    QCOMPARE(notices.lastTitle(), QString("prompt"));
}

void TestLink::liveValuesDecode()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    // -200 in two's complement across inputs 3-4, tenths.
    sim.setInputOverride(3, 65535);
    sim.setInputOverride(4, 65336);
    sim.setInputOverride(5, 0);
    sim.setInputOverride(6, 235);
    sim.setInputOverride(7, 1);
    sim.setInputOverride(8, 4464);
    sim.setInputOverride(11, 1);
    QTRY_COMPARE_WITH_TIMEOUT(ui->lcdNumber_rt_mase_tmp->value(), -20.0, 5000);
    QCOMPARE(ui->lcdNumber_rt_indoor_tmp->value(), 23.5);
    QCOMPARE(ui->lcdNumber_rt_adc_value->intValue(), 70000);

    sim.setInputOverride(11, 2);
    QTRY_COMPARE_WITH_TIMEOUT(ui->lcdNumber_rt_mase_tmp->value(), -2.0, 5000);
    QCOMPARE(ui->lcdNumber_rt_indoor_tmp->value(), 2.35);

    sim.setInputOverride(11, 0);
    QTRY_COMPARE_WITH_TIMEOUT(ui->lcdNumber_rt_mase_tmp->value(), -200.0, 5000);
    QCOMPARE(ui->lcdNumber_rt_indoor_tmp->value(), 235.0);

    // An unknown code blanks both temperatures but still updates the ADC value.
    sim.setInputOverride(11, 3);
    sim.setInputOverride(8, 4465);
    QTRY_COMPARE_WITH_TIMEOUT(ui->lcdNumber_rt_adc_value->intValue(), 70001, 5000);
    QCOMPARE(ui->lcdNumber_rt_mase_tmp->value(), 0.0);
    QCOMPARE(ui->lcdNumber_rt_indoor_tmp->value(), 0.0);
}

// A live reply short of the block is no reading: the displays and the groups
// keep the last good poll, and the link status says why.
void TestLink::shortReplyKeepsLastValues()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    s.sim().setWorkMode(2);
    s.sim().setInputOverride(3, 0);
    s.sim().setInputOverride(4, 1239);
    s.sim().setInputOverride(11, 1);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.groupFlags(), QVector<int>({0, 1, 0, 0}), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(s.ui()->lcdNumber_rt_mase_tmp->value(), 123.9, 5000);
    const int adc = s.ui()->lcdNumber_rt_adc_value->intValue();
    int live = 0;
    QObject::connect(&s.window, &Widget::liveValuesReceived, [&live] { ++live; });
    // 11 registers: no decimal code (1239 would read as 1239 degrees), no work mode.
    s.sim().setShortRead(11);
    QTRY_VERIFY_WITH_TIMEOUT(s.ui()->label_link_sta->text().contains("Short reply: 11 of 13 registers."), 5000);
    const int polls = s.sim().requestCount(4);
    QTRY_VERIFY_WITH_TIMEOUT(s.sim().requestCount(4) >= polls + 2, 5000);
    QCOMPARE(s.ui()->lcdNumber_rt_mase_tmp->value(), 123.9);
    QCOMPARE(s.ui()->lcdNumber_rt_adc_value->intValue(), adc);
    QCOMPARE(s.probe.groupFlags(), QVector<int>({0, 1, 0, 0}));
    QVERIFY(!s.probe.ledRt()->isOn());
    QCOMPARE(live, 0);   // nothing reaches the trend, the log or the record
    s.sim().setShortRead(0);
    QTRY_VERIFY_WITH_TIMEOUT(s.ui()->label_link_sta->text().contains("OK"), 5000);
}

void TestLink::reportedModeDrivesGroups()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    Ui::Widget *ui = s.ui();

    s.sim().setWorkMode(2);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 2, 5000);
    QVERIFY(s.probe.ledTc()->isOn());
    QVERIFY(ui->commandLinkButton_tc_0mV->isEnabled());
    QVERIFY(!ui->pushButton_para_read->isEnabled());

    s.sim().setInputOverride(12, 9);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.groupFlags(), QVector<int>({0, 0, 0, 0}), 5000);
    s.sim().setInputOverride(12, std::nullopt);

    // While the automatic calibration runs, the mode 4 it set is not applied.
    s.sim().setWorkMode(0);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.groupFlags(), QVector<int>({0, 0, 0, 0}), 5000);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(ui->commandLinkButton_ma_auto_calib_4->text(), QString("b)4mA确定输入"));
    QCOMPARE(s.sim().workMode(), 4);
    const int before = s.sim().requestCount(4, 0);
    QTRY_VERIFY_WITH_TIMEOUT(s.sim().requestCount(4, 0) >= before + 3, 10000);
    QCOMPARE(s.probe.groupFlags(), QVector<int>({0, 0, 0, 0}));

    // Ended with its link, which put mode 0 back before it closed, the
    // calibration no longer holds the group back.
    ui->pushButton_com_connect->click();
    QCOMPARE(s.sim().workMode(), 0);
    ui->pushButton_com_connect->click();
    QCOMPARE(ui->commandLinkButton_ma_auto_calib_4->text(), QString("a)开始标定"));
    s.sim().setWorkMode(4);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.groupFlags(), QVector<int>({0, 0, 0, 1}), 5000);
    QVERIFY(s.probe.ledMa()->isOn());
}

void TestLink::errorRepliesAndRecovery()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    Ui::Widget *ui = s.ui();
    s.sim().setInputOverride(4, 1234);
    s.sim().setInputOverride(3, 0);
    s.sim().setInputOverride(11, 1);
    QTRY_COMPARE_WITH_TIMEOUT(ui->lcdNumber_rt_mase_tmp->value(), 123.4, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), kOk, 5000);

    s.sim().setSilent(true);
    QTRY_VERIFY_WITH_TIMEOUT(ui->label_link_sta->text() != kOk, 5000);
    QVERIFY(ui->label_link_sta->text().startsWith("link status: 【"));
    QVERIFY(ui->label_link_sta->text().endsWith("】"));
    QVERIFY(ui->label_link_sta->text().size() > QString("link status: 【】").size());
    QVERIFY(!s.probe.ledRt()->isOn());
    QCOMPARE(ui->lcdNumber_rt_mase_tmp->value(), 123.4);   // keeps the last value

    s.sim().setSilent(false);
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), kOk, 5000);
    QVERIFY(s.probe.ledRt()->isOn());

    s.sim().setException(4, -1, 2);
    QTRY_VERIFY_WITH_TIMEOUT(ui->label_link_sta->text().contains("Exception"), 5000);
    QVERIFY(!s.probe.ledRt()->isOn());
    s.sim().clearExceptions();
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), kOk, 5000);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestLink::lostLineDisconnects()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    Ui::Widget *ui = s.ui();
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), kOk, 5000);

    QElapsedTimer lost;
    lost.start();
    s.fixture.line().kill();
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.master()->state(), QModbusDevice::UnconnectedState, 3000);
    QVERIFY2(lost.elapsed() < 1500, qPrintable(QString::number(lost.elapsed())));
    QCOMPARE(ui->pushButton_com_connect->text(), QString("连接设备"));
    QVERIFY(!s.probe.ledCom()->isOn());
    QVERIFY(!s.probe.ledRt()->isOn());
    QVERIFY(!s.probe.pollTimer()->isActive());
    QVERIFY(ui->comboBox_com_num->isEnabled());
    QVERIFY(ui->label_link_sta->text().startsWith("link status: 【"));
    QVERIFY(ui->label_link_sta->text() != kOk);
    QTRY_VERIFY(!s.probe.replyPending());

    // The line comes back: connect again without restarting the tool.
    QVERIFY(s.fixture.restoreLine());
    ui->pushButton_com_connect->click();
    QCOMPARE(s.probe.master()->state(), QModbusDevice::ConnectedState);
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), kOk, 5000);
}

void TestLink::writeWithoutReplyObjectIsReported()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    QTRY_COMPARE_WITH_TIMEOUT(s.ui()->label_link_sta->text(), kOk, 5000);
    QVERIFY(s.idle());
    // A run longer than one frame can carry is no valid request: the master
    // hands back no reply object at all.
    QVector<quint16> tooMany(130, 0);
    QVERIFY(!s.probe.writeRegisters(0, tooMany));
    QCOMPARE(s.sim().requestCount(16), 0);
    QVERIFY(s.ui()->label_link_sta->text() != kOk);
    QVERIFY(!s.probe.ledRt()->isOn());
    QVERIFY(!s.probe.replyPending());
}

void TestLink::waitKeepsWindowResponsive()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    QVERIFY(s.idle());
    QVERIFY(s.probe.sendPoll());
    QVERIFY(s.probe.replyPending());
    QElapsedTimer t;
    t.start();
    s.probe.waitMs(1000);
    QVERIFY(t.elapsed() >= 1000);
    // The reply was handled inside the wait.
    QVERIFY(!s.probe.replyPending() || s.sim().requestCount(4, 0) > 1);
    QCOMPARE(s.ui()->label_link_sta->text(), kOk);
}

void TestLink::operationsDoNotOverlap()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    s.sim().setWorkMode(1);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 1, 5000);
    QVERIFY(s.idle());
    s.probe.pollTimer()->stop();
    s.sim().clearRequests();
    s.sim().setReplyDelayMs(300);

    // The operation runs inside the event loop; the second clicks come from
    // timers that fire inside its waits.
    bool wasRunning = false;
    QTimer::singleShot(150, [&] {
        wasRunning = s.window.operationRunning();
        s.ui()->pushButton_para_read->click();
        s.ui()->pushButton_reg_read->click();
        s.ui()->pushButton_set_baudrate->click();
    });
    s.ui()->pushButton_para_read->click();
    QVERIFY(wasRunning);
    QVERIFY(!s.window.operationRunning());
    QCOMPARE(s.sim().requestCount(3), 1);
    QCOMPARE(s.sim().requestCount(4), 0);
    QCOMPARE(s.sim().requestCount(6), 0);
    QVERIFY(s.notices.notices().isEmpty());
    QCOMPARE(s.ui()->progressBar_write->value(), 100);
}

void TestLink::closingDuringOperationEndsCleanly()
{
    WindowSession s(at(9600));
    QVERIFY(s.connectToSimulator());
    s.window.show();
    s.sim().setWorkMode(1);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 1, 5000);
    QVERIFY(s.idle());
    s.sim().setReplyDelayMs(400);
    for (QLineEdit *e : {s.ui()->lineEdit_para_hight_tmp, s.ui()->lineEdit_para_low_tmp,
                         s.ui()->lineEdit_para_zero_offset, s.ui()->lineEdit_para_indoor_zero_offset})
        e->setText("1.0");

    bool wasRunning = false;
    QTimer::singleShot(150, [&] {
        wasRunning = s.window.operationRunning();
        s.window.close();
    });
    s.ui()->pushButton_para_write->click();
    QVERIFY(wasRunning);
    QVERIFY(!s.window.operationRunning());
    const int after = int(s.sim().requests().size());
    QTest::qWait(1500);
    QCOMPARE(int(s.sim().requests().size()), after);   // nothing went out after the close
    QCOMPARE(s.sim().requestCount(16), 0);              // the parameter block was never written
}

// A wait ends when its reply has been handled, not at its next look; with no
// reply it still ends at its bound. A reply the master never finishes is
// waited out to its deadline and given up as timed out; the port is then known
// not to take data, and its link is closed with a notice naming it.
void TestLink::waitsEndOnTheReplyOrAtTheirBound()
{
    WindowSession s(e2e::at9600());
    QVERIFY(e2e::prepare(s, 1));
    Ui::Widget *ui = s.ui();
    s.sim().setReplyDelayMs(300);
    bool boundReached = false;
    QTimer::singleShot(1000, [&] { boundReached = true; });   // the result wait's bound is 1300 ms
    ui->pushButton_para_read->click();
    QVERIFY(!boundReached);
    QCOMPARE(ui->progressBar_write->value(), 100);
    s.sim().setReplyDelayMs(0);

    auto *stuck = new QModbusReply(QModbusReply::Common, 192, &s.window);
    QModbusDevice::Error ended = QModbusDevice::NoError;
    QObject::connect(stuck, &QModbusReply::errorOccurred, [&](QModbusDevice::Error e) { ended = e; });
    s.probe.followAsPoll(stuck);
    s.sim().clearRequests();
    ui->pushButton_para_read->click();
    QTRY_VERIFY_WITH_TIMEOUT(!s.probe.ledCom()->isOn(), 3000);
    QVERIFY(s.sim().requests().empty());
    QCOMPARE(s.probe.repliesGivenUp(), quint64(1));
    QCOMPARE(ended, QModbusDevice::TimeoutError);
    QCOMPARE(s.probe.master()->state(), QModbusDevice::UnconnectedState);
    QTRY_VERIFY(!s.notices.texts().filter("串口 " + s.fixture.toolPort() + " 不接收数据").isEmpty());
    QVERIFY(ui->label_link_sta->text().contains(s.fixture.toolPort()));
    QVERIFY(s.connectToSimulator());
    QTRY_VERIFY(s.sim().requestCount(4) > 0);
}

// A port whose output never drains (as a UART without hardware, or a hung
// adapter): the master never sends and never times out. The step waiting for
// its own read learns that the link closed under it (not that the device
// failed), and the operator is told which port takes no data.
void TestLink::stalledPortEndsTheStepAndCloses()
{
    WindowSession s(e2e::onLine(9600));
    QVERIFY(e2e::prepare(s, 1));
    const int stop = ::open(QFile::encodeName(s.fixture.toolPort()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(stop >= 0);
    QCOMPARE(::tcflow(stop, TCOOFF), 0);   // output suspended: nothing leaves the tool's end
    s.ui()->lineEdit_para_hight_tmp->setText("old");
    s.ui()->pushButton_para_read->click();
    ::tcflow(stop, TCOON);
    ::close(stop);
    QTRY_COMPARE(s.notices.count(), 2);
    QVERIFY(s.notices.texts().contains(e2e::kLinkClosed));
    QVERIFY(!s.notices.texts().contains(e2e::kReadFailure));
    QVERIFY(!s.notices.texts().filter("串口 " + s.fixture.toolPort() + " 不接收数据").isEmpty());
    QCOMPARE(s.probe.master()->state(), QModbusDevice::UnconnectedState);
    QCOMPARE(s.ui()->lineEdit_para_hight_tmp->text(), QString("old"));
    QVERIFY(s.sim().requests().empty());
    QVERIFY(s.connectToSimulator());
    QTRY_VERIFY(s.sim().requestCount(4) > 0);
}

QTEST_MAIN(TestLink)
#include "test_link.moc"
