// Thermocouple and RTD calibration against the simulator: mode toggles, point
// captures, room-temperature calibration and the calibration write buttons.

#include "e2e_helpers.h"

#include <QtTest>

using namespace e2e;

namespace {


// Writes whose range touches holding registers first..last.
int writesTouching(const sim::Simulator &sim, int first, int last)
{
    int n = 0;
    for (const sim::Request &r : sim.requests()) {
        if ((r.function == 6 || r.function == 16) && r.address <= last
            && r.address + int(r.values.size()) - 1 >= first)
            ++n;
    }
    return n;
}

QVector<quint16> holdings(const sim::Simulator &sim, int first, int count)
{
    QVector<quint16> v;
    for (int i = 0; i < count; ++i)
        v << sim.holding(first + i);
    return v;
}

} // namespace

class TestSensorCalibration : public QObject
{
    Q_OBJECT
private slots:
    void thermocoupleToggleShowsStoredPoints();
    void rtdToggleSwitchesDirectly();
    void thermocoupleCaptures();
    void rtdCaptures();
    void roomTemperatureCalibration();
    void windowOrderStoresCapturesAndRoomTogether();
    void roomTemperatureRefusesBadReference();
    void starvedReadsUseNothingStale();
    void calibrationWriteStoresOrReportsFailure();
    void linkDownSendsNothing();
    void operationsDoNotOverlap();
    void incompleteStepsLeaveNothingWrong();
};

void TestSensorCalibration::thermocoupleToggleShowsStoredPoints()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setHolding(15, 1);
    sim.setHolding(16, 34464);   // 100000
    sim.setHolding(17, 65535);
    sim.setHolding(18, 65535);   // -1

    ui->pushButton_tc_calib_2->click();
    QCOMPARE(writes(sim), QStringList({"50=2"}));
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("100000"));
    QCOMPARE(ui->lineEdit_tc_0mV->text(), QString("-1"));
    QCOMPARE(sim.workMode(), 2);
    QVERIFY(s.notices.notices().isEmpty());

    // The group follows the mode the transmitter reports.
    s.probe.pollTimer()->start();
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 2, 5000);
    QVERIFY(ui->commandLinkButton_tc_50mV->isEnabled());
    QVERIFY(s.idle());
    s.probe.pollTimer()->stop();
    QVERIFY(s.idle());
    sim.clearRequests();

    // Leaving writes 0 and reads back that the transmitter took it.
    sim.setHolding(16, 1);
    ui->pushButton_tc_calib_2->click();
    QVERIFY(s.idle());
    QCOMPARE(writes(sim), QStringList({"50=0"}));
    QCOMPARE(sim.requestCount(3), 1);
    QCOMPARE(sim.workMode(), 0);
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("100000"));
    QVERIFY(s.notices.notices().isEmpty());
}

void TestSensorCalibration::rtdToggleSwitchesDirectly()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setHolding(19, 65535);
    sim.setHolding(20, 65534);   // -2
    sim.setHolding(21, 2);
    sim.setHolding(22, 0);       // 131072

    // From thermocouple mode straight into RTD mode, without a 0 first.
    ui->pushButton_pt_calib->click();
    QCOMPARE(writes(sim), QStringList({"50=3"}));
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(ui->lineEdit_pt_100R->text(), QString("-2"));
    QCOMPARE(ui->lineEdit_pt_200R->text(), QString("131072"));
    QCOMPARE(sim.workMode(), 3);

    s.probe.pollTimer()->start();
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 3, 5000);
    QVERIFY(ui->commandLinkButton_pt_100R->isEnabled());
    QVERIFY(!ui->commandLinkButton_tc_50mV->isEnabled());
    QVERIFY(s.idle());
    s.probe.pollTimer()->stop();
    QVERIFY(s.idle());
    sim.clearRequests();

    ui->pushButton_pt_calib->click();
    QVERIFY(s.idle());
    QCOMPARE(writes(sim), QStringList({"50=0"}));
    QCOMPARE(sim.requestCount(3), 1);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestSensorCalibration::thermocoupleCaptures()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    for (int a = 15; a <= 18; ++a)
        sim.setHolding(a, 0);
    const QVector<quint16> rtdBefore = holdings(sim, 19, 4);

    sim.setAppliedMillivolts(50.0);   // ADC 100120 = {1, 34584}
    ui->commandLinkButton_tc_50mV->click();
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("100120"));
    QCOMPARE(holdings(sim, 15, 4), QVector<quint16>({1, 34584, 0, 0}));
    QCOMPARE(ui->progressBar_write->value(), 100);

    sim.setAppliedMillivolts(0.0);    // ADC 120
    ui->commandLinkButton_tc_0mV->click();
    QCOMPARE(ui->lineEdit_tc_0mV->text(), QString("120"));
    QCOMPARE(holdings(sim, 15, 4), QVector<quint16>({1, 34584, 0, 120}));

    // A negative ADC value travels as its two words.
    sim.setInputOverride(7, 0xFFFF);
    sim.setInputOverride(8, 55536);   // -10000
    ui->commandLinkButton_tc_50mV->click();
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("-10000"));
    QCOMPARE(holdings(sim, 15, 4), QVector<quint16>({65535, 55536, 0, 120}));

    QCOMPARE(writes(sim), QStringList({"15=1,34584", "17=0,120", "15=65535,55536"}));
    QCOMPARE(sim.requestCount(4, 0), 3);
    QCOMPARE(writesTouching(sim, 19, 22), 0);
    QCOMPARE(holdings(sim, 19, 4), rtdBefore);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestSensorCalibration::rtdCaptures()
{
    WindowSession s(at9600());
    sim::Simulator &sim = s.sim();
    sim.setHolding(0, 32);   // PT100: the ADC follows the applied resistance
    QVERIFY(prepare(s, 3));
    Ui::Widget *ui = s.ui();
    for (int a = 19; a <= 22; ++a)
        sim.setHolding(a, 0);
    const QVector<quint16> tcBefore = holdings(sim, 15, 4);

    sim.setAppliedOhms(100.0);   // ADC 100250 = {1, 34714}
    ui->commandLinkButton_pt_100R->click();
    QCOMPARE(ui->lineEdit_pt_100R->text(), QString("100250"));
    sim.setAppliedOhms(200.0);   // ADC 200250 = {3, 3642}
    ui->commandLinkButton_pt_200R->click();
    QCOMPARE(ui->lineEdit_pt_200R->text(), QString("200250"));

    QCOMPARE(writes(sim), QStringList({"19=1,34714", "21=3,3642"}));
    QCOMPARE(holdings(sim, 19, 4), QVector<quint16>({1, 34714, 3, 3642}));
    QCOMPARE(writesTouching(sim, 15, 18), 0);
    QCOMPARE(holdings(sim, 15, 4), tcBefore);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestSensorCalibration::roomTemperatureCalibration()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setDecimalPlaces(2);
    sim.setAmbient(23.5);
    sim.setHolding(7, 777);   // must be reset before the room temperature is read
    ui->lineEdit_para_indoor_zero_offset->setText("7.77");

    // 25.3 is 2530 hundredths exactly; the room reads 2350 with the offset reset.
    ui->lineEdit_tc_indoor_auto_calib->setText("25.3");
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    // A step of the calibration: written, not stored; 写入 stores it.
    QCOMPARE(writes(sim), QStringList({"7=0", "7=180"}));
    QCOMPARE(sim.requestCount(4, 0), 1);
    QCOMPARE(sim.holding(7), quint16(180));
    QVERIFY(sim.storedImage().at(7) != 180);
    // A later parameter write sends this field: it holds the new offset.
    QCOMPARE(ui->lineEdit_para_indoor_zero_offset->text(), QString("1.80"));
    QCOMPARE(ui->progressBar_write->value(), 100);
    QVERIFY(qAbs(sim.roomTemperature() - 25.3) < 1e-6);

    // Below the reading the offset wraps to a negative word.
    sim.clearRequests();
    ui->lineEdit_tc_indoor_auto_calib->setText("-10");
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    QCOMPARE(writes(sim), QStringList({"7=0", QString("7=%1").arg(65536 - 3350)}));

    // A negative room temperature: input 6 is the low word of -500.
    sim.clearRequests();
    sim.setAmbient(-5.0);
    ui->lineEdit_tc_indoor_auto_calib->setText("-3.5");
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    QCOMPARE(writes(sim), QStringList({"7=0", "7=150"}));
    QCOMPARE(sim.holding(7), quint16(150));
    ui->pushButton_tc_write->click();
    QCOMPARE(writes(sim), QStringList({"7=0", "7=150", "62=321"}));
    QTRY_COMPARE(sim.storedImage().at(7), uint16_t(150));
    QVERIFY(qAbs(sim.roomTemperature() - -3.5) < 1e-6);
    QVERIFY(s.notices.notices().isEmpty());
}

// The operator's order, polling at line speed: enter, 50 mV, 0 mV, room, 写入.
// The room step keeps the captures and the mode; the one store keeps all three.
void TestSensorCalibration::windowOrderStoresCapturesAndRoomTogether()
{
    WindowSession s(onLine(9600));
    QVERIFY(connectPolling(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setDecimalPlaces(2);
    sim.setAmbient(23.5);
    const std::vector<uint16_t> storedBefore = sim.storedImage();
    ui->pushButton_tc_calib_2->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->commandLinkButton_tc_50mV->isEnabled(), 5000);
    sim.setAppliedMillivolts(50.0);   // ADC 100120 = {1, 34584}
    ui->commandLinkButton_tc_50mV->click();
    sim.setAppliedMillivolts(0.0);    // ADC 120
    ui->commandLinkButton_tc_0mV->click();
    ui->lineEdit_tc_indoor_auto_calib->setText("25.3");
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    const QVector<quint16> written({1, 34584, 0, 120});
    QCOMPARE(holdings(sim, 15, 4), written);
    QCOMPARE(sim.holding(7), quint16(180));
    QCOMPARE(sim.storedImage(), storedBefore);
    QCOMPARE(sim.workMode(), 2);
    QTest::qWait(600);   // polls go on: the group stays open
    QVERIFY(ui->pushButton_tc_write->isEnabled());
    QVERIFY(!ui->label_link_sta->text().contains("已校验"));

    ui->pushButton_tc_write->click();
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join(" | ")));
    const std::vector<uint16_t> stored = sim.storedImage();
    QCOMPARE(QVector<quint16>(stored.begin() + 15, stored.begin() + 19), written);
    QCOMPARE(stored.at(7), uint16_t(180));
    QCOMPARE(sim.requestCount(6, 62), 1);
    ui->pushButton_tc_calib_2->click();
    QTRY_COMPARE_WITH_TIMEOUT(sim.workMode(), 0, 5000);
    const std::vector<uint16_t> ram = sim.holdingImage(), image = sim.storedImage();
    QVERIFY(std::equal(ram.begin(), ram.begin() + 23, image.begin()));   // nothing put back over the store
    QCOMPARE(writesTo(sim, 7), QList<int>({0, 180}));
}

void TestSensorCalibration::roomTemperatureRefusesBadReference()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setHolding(7, 777);
    ui->lineEdit_para_indoor_zero_offset->setText("7.77");
    ui->progressBar_write->setValue(0);

    for (const char *text : {"", "abc", "25,3", "1e2", "327.68", "-327.69", "--1"}) {
        s.notices.clear();
        ui->lineEdit_tc_indoor_auto_calib->setText(text);
        ui->commandLinkButton_tc_indoor_auto_calib->click();
        QCOMPARE(s.notices.count(), 1);
        QCOMPARE(s.notices.lastTitle(), QString("提示"));
        QVERIFY2(s.notices.lastText().contains("室温参考温度"), qPrintable(s.notices.lastText()));
        QVERIFY(s.notices.lastText().contains("-327.68"));
        QVERIFY(s.notices.lastText().contains("327.67"));
    }
    // Nothing at all went out: not even the reset of the offset.
    QVERIFY(sim.requests().empty());
    QCOMPARE(sim.holding(7), quint16(777));
    QCOMPARE(ui->lineEdit_para_indoor_zero_offset->text(), QString("7.77"));
    QCOMPARE(ui->progressBar_write->value(), 0);

    // The limits themselves are accepted.
    sim.setDecimalPlaces(2);
    sim.setAmbient(0.0);
    s.notices.clear();
    ui->lineEdit_tc_indoor_auto_calib->setText("-327.68");
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    QVERIFY(s.notices.notices().isEmpty());
    QCOMPARE(writes(sim), QStringList({"7=0", QString("7=%1").arg(-32768 & 0xFFFF)}));

    // An offset the register cannot hold (-327.68 against a 20.00 reading) is
    // refused, never wrapped into a wrong word.
    sim.clearRequests();
    sim.setAmbient(20.0);
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    QCOMPARE(writes(sim), QStringList({"7=0", QString("7=%1").arg(-32768 & 0xFFFF)}));   // and back
    QCOMPARE(s.notices.lastText(), kWriteFailure);
}

void TestSensorCalibration::starvedReadsUseNothingStale()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    sim.setAppliedMillivolts(50.0);
    ui->commandLinkButton_tc_50mV->click();
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("100120"));
    // Stored: a capture left unstored would be put back before the writes below.
    ui->pushButton_tc_write->click();

    // Capture with the link busy past the pre-wait: no read, so nothing to write.
    sim.clearRequests();
    sim.setAppliedMillivolts(0.0);
    sim.setHolding(17, 5);
    sim.setHolding(18, 5);
    ui->lineEdit_tc_0mV->setText("old");
    ui->progressBar_write->setValue(0);
    s.probe.setReplyPending(true);
    ui->commandLinkButton_tc_0mV->click();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(ui->lineEdit_tc_0mV->text(), QString("old"));
    QCOMPARE(holdings(sim, 17, 2), QVector<quint16>({5, 5}));
    QCOMPARE(ui->progressBar_write->value(), 0);
    QVERIFY(sim.requests().empty());

    // Room-temperature calibration: the reset goes out, then the link stays
    // busy through the read attempts.
    s.notices.clear();
    sim.setHolding(7, 777);
    ui->lineEdit_tc_indoor_auto_calib->setText("25.0");
    QTimer::singleShot(250, [&] { s.probe.setReplyPending(true); });
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(writes(sim), QStringList({"7=0"}));
    QCOMPARE(sim.requestCount(4), 0);
    QCOMPARE(sim.holding(7), quint16(0));
    QCOMPARE(ui->progressBar_write->value(), 0);

    // Toggle: the mode write goes out, its read-back is starved.
    s.notices.clear();
    sim.clearRequests();
    sim.setHolding(15, 9);
    QVERIFY(s.probe.workGroup() != 3);
    ui->lineEdit_pt_100R->setText("old");
    QTimer::singleShot(200, [&] { s.probe.setReplyPending(true); });
    ui->pushButton_pt_calib->click();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    // The offset the room calibration left unstored goes back first.
    QCOMPARE(writes(sim), QStringList({"7=777", "50=3"}));
    QCOMPARE(sim.requestCount(3), 1);   // the put-back read back, nothing of the mode
    QCOMPARE(ui->lineEdit_pt_100R->text(), QString("old"));
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("100120"));
}

void TestSensorCalibration::calibrationWriteStoresOrReportsFailure()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 3));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    sim.setHolding(19, 4);
    ui->progressBar_write->setValue(0);
    ui->pushButton_pt_write->click();
    QCOMPARE(writes(sim), QStringList({"62=321"}));
    QCOMPARE(ui->progressBar_write->value(), 100);
    QTRY_COMPARE_WITH_TIMEOUT(sim.storedImage().at(19), uint16_t(4), 2000);
    QVERIFY(s.notices.notices().isEmpty());

    // Store command not sent: a write failure, not a progress run.
    sim.clearRequests();
    ui->progressBar_write->setValue(0);
    s.probe.setReplyPending(true);
    ui->pushButton_pt_write->click();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(ui->progressBar_write->value(), 0);
    QVERIFY(sim.requests().empty());

    // Link down: the not-connected notice, no progress run.
    s.notices.clear();
    ui->pushButton_com_connect->click();
    QVERIFY(s.probe.master()->state() != QModbusDevice::ConnectedState);
    QVERIFY(ui->pushButton_pt_write->isEnabled());
    ui->pushButton_pt_write->click();
    QCOMPARE(s.notices.texts(), QStringList({kNotConnected}));
    QCOMPARE(ui->progressBar_write->value(), 0);
    QVERIFY(sim.requests().empty());
}

void TestSensorCalibration::linkDownSendsNothing()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->pushButton_com_connect->click();
    QVERIFY(s.probe.master()->state() != QModbusDevice::ConnectedState);
    ui->progressBar_write->setValue(0);
    ui->lineEdit_tc_indoor_auto_calib->setText("25.0");

    for (QAbstractButton *b : {static_cast<QAbstractButton *>(ui->pushButton_tc_calib_2),
                               static_cast<QAbstractButton *>(ui->pushButton_pt_calib),
                               static_cast<QAbstractButton *>(ui->commandLinkButton_tc_50mV),
                               static_cast<QAbstractButton *>(ui->commandLinkButton_tc_0mV),
                               static_cast<QAbstractButton *>(ui->commandLinkButton_tc_indoor_auto_calib),
                               static_cast<QAbstractButton *>(ui->pushButton_tc_write)}) {
        s.notices.clear();
        QVERIFY(b->isEnabled());
        b->click();
        QVERIFY2(s.notices.texts() == QStringList({kNotConnected}), qPrintable(b->objectName()));
    }
    QCOMPARE(ui->progressBar_write->value(), 0);
    QVERIFY(sim.requests().empty());

    // English wording follows the language.
    s.notices.clear();
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->pushButton_tc_write->click();
    QCOMPARE(s.notices.texts(), QStringList({"Communication not connected"}));
}

void TestSensorCalibration::operationsDoNotOverlap()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->lineEdit_tc_indoor_auto_calib->setText("25.0");

    bool wasRunning = false;
    QTimer::singleShot(300, [&] {
        wasRunning = s.window.operationRunning();
        ui->commandLinkButton_tc_0mV->click();
        ui->commandLinkButton_tc_indoor_auto_calib->click();
        ui->pushButton_tc_write->click();
        ui->pushButton_tc_calib_2->click();
    });
    ui->commandLinkButton_tc_50mV->click();
    QVERIFY(wasRunning);
    QVERIFY(!s.window.operationRunning());
    QCOMPARE(writes(sim).size(), 1);
    QVERIFY(writes(sim).at(0).startsWith("15="));
    QCOMPARE(sim.requestCount(4), 1);
    QCOMPARE(sim.requestCount(3), 1);   // the points a capture may have to put back
    QVERIFY(s.notices.notices().isEmpty());
}

// A step that cannot finish leaves no wrong word behind: a capture from a
// block short of the ADC value writes nothing; a room calibration whose
// reading fails puts the offset it reset back; a refused mode write is
// reported and reads nothing.
void TestSensorCalibration::incompleteStepsLeaveNothingWrong()
{
    WindowSession s(onLine(9600));
    QVERIFY(connectPolling(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setAppliedMillivolts(50.0);
    const QVector<quint16> points = holdings(sim, 15, 4);
    ui->lineEdit_tc_50mV->setText("old");
    sim.setShortRead(8);   // input 8, the ADC value's low word, missing
    ui->commandLinkButton_tc_50mV->click();
    sim.setShortRead(0);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QCOMPARE(writesTouching(sim, 15, 18), 0);
    QCOMPARE(holdings(sim, 15, 4), points);
    QCOMPARE(ui->lineEdit_tc_50mV->text(), QString("old"));

    s.notices.clear();
    sim.setHolding(7, 777);
    ui->lineEdit_para_indoor_zero_offset->setText("7.77");
    ui->lineEdit_tc_indoor_auto_calib->setText("25.0");
    sim.setException(4, -1, 4);
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    sim.clearExceptions();
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(writesTo(sim, 7), QList<int>({0, 777}));
    QCOMPARE(sim.holding(7), quint16(777));
    QCOMPARE(ui->lineEdit_para_indoor_zero_offset->text(), QString("7.77"));
    QVERIFY(ui->label_link_sta->text().contains("寄存器 7 已恢复原值并读回确认"));

    s.notices.clear();
    sim.clearRequests();
    sim.refuseWrites(50);
    ui->pushButton_pt_calib->click();
    QTRY_COMPARE(s.notices.count(), 2);   // the reply's own error, then the operation's
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(sim.requestCount(3), 0);
    QCOMPARE(s.probe.workGroup(), 2);
}

QTEST_MAIN(TestSensorCalibration)
#include "test_sensor_calibration.moc"
