// Nothing wrong is ever stored and no failure looks like success: the window
// against a transmitter on a 4800 baud line, polling as it does in the field.

#include "e2e_helpers.h"

#include <QLCDNumber>

using namespace e2e;


class TestIntegrity : public QObject
{
    Q_OBJECT
private slots:
    void roomCalibrationFollowsDecimalCode();
    void roomCalibrationNeedsAcceptedReset();
    void dependentWritesJudgedByTheirReply();
    void currentCalibrationStopsAtRefusedPoint();
    void unknownCodesStayAsStored();
    void addressMustBeAServer();
    void trimStatesMatchWhatWorks();
    void writesAreReadBack();
};

// After the calibration the display shows the reference, whatever the code.
void TestIntegrity::roomCalibrationFollowsDecimalCode()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setAmbient(23.5);
    const struct { int code; const char *reference; const char *offset; } cases[] = {
        {1, "25.5", "2.00"}, {0, "25", "1.00"}, {2, "25.37", "1.87"}};
    for (const auto &c : cases) {
        sim.setHolding(7, 0);
        sim.setDecimalPlaces(quint16(c.code));
        QTRY_COMPARE(ui->lcdNumber_rt_indoor_tmp->value(), c.code == 0 ? 24.0 : 23.5);
        ui->lineEdit_tc_indoor_auto_calib->setText(c.reference);
        ui->commandLinkButton_tc_indoor_auto_calib->click();
        QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join('|')));
        QTRY_COMPARE(ui->lcdNumber_rt_indoor_tmp->value(), QString(c.reference).toDouble());
        QCOMPARE(ui->lineEdit_para_indoor_zero_offset->text(), QString(c.offset));
        QCOMPARE(ui->progressBar_write->value(), 100);
    }

    // A code the display cannot show: refused before anything is written.
    sim.setDecimalPlaces(3);
    QTRY_COMPARE(ui->lcdNumber_rt_indoor_tmp->value(), 0.0);
    sim.clearRequests();
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    QCOMPARE(s.notices.count(), 1);
    QVERIFY(s.notices.lastText().contains("小数位"));
    QVERIFY(writes(sim).isEmpty());
}

// The old offset must be gone before the reading: a refused reset ends it all.
void TestIntegrity::roomCalibrationNeedsAcceptedReset()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setHolding(7, 300);
    sim.refuseWrites(7);
    ui->progressBar_write->setValue(0);
    ui->lineEdit_tc_indoor_auto_calib->setText("25.5");
    ui->commandLinkButton_tc_indoor_auto_calib->click();
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(writesTo(sim, 7).size(), 1);
    QCOMPARE(sim.holding(7), quint16(300));
    QCOMPARE(ui->progressBar_write->value(), 0);
}

// A capture, a calibration store and a parameter store that the transmitter
// refuses are failures, and the progress bar does not finish.
void TestIntegrity::dependentWritesJudgedByTheirReply()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 2));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    const auto storedBefore = sim.storedImage();

    sim.refuseWrites(15);
    ui->progressBar_write->setValue(0);
    ui->commandLinkButton_tc_50mV->click();
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QVERIFY(ui->progressBar_write->value() < 100);

    sim.clearExceptions();
    sim.refuseWrites(62);
    s.notices.clear();
    ui->progressBar_write->setValue(0);
    ui->pushButton_tc_write->click();
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QVERIFY(ui->progressBar_write->value() < 100);

    // A poll answered meanwhile does not turn the refused store into success.
    sim.setWorkMode(1);
    QTRY_COMPARE(s.probe.workGroup(), 1);
    ui->pushButton_para_read->click();
    s.notices.clear();
    ui->progressBar_write->setValue(0);
    ui->pushButton_para_write->click();
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QVERIFY(ui->progressBar_write->value() < 100);
    QCOMPARE(sim.storedImage(), storedBefore);
}

void TestIntegrity::currentCalibrationStopsAtRefusedPoint()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    const auto storedBefore = sim.storedImage();

    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    sim.refuseWrites(11);
    ui->lineEdit_ma_auto_calib_4->setText("4.012");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(writesTo(sim, 51).size(), 1);   // no 20 mA command after the refused point

    sim.clearExceptions();
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    sim.refuseWrites(12);
    s.notices.clear();
    ui->lineEdit_ma_auto_calib_4->setText("19.975");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(writesTo(sim, 62).size(), 0);
    QCOMPARE(sim.storedImage(), storedBefore);

    // The mode button leaves mode 4 although the window kept its group.
    sim.clearExceptions();
    ui->pushButton_ma_calib->click();
    QCOMPARE(sim.workMode(), 0);
    QCOMPARE(stepText(s), kStepA);
}

// Codes the tool has no entry for leave their combo blank and go back unchanged.
void TestIntegrity::unknownCodesStayAsStored()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    sim.setHolding(0, 12);
    sim.setHolding(6, 5);
    ui->pushButton_para_read->click();
    QCOMPARE(ui->comboBox_para_input_sel->currentIndex(), -1);
    QCOMPARE(ui->comboBox_para_unit_tmp->currentIndex(), -1);
    ui->pushButton_para_write->click();
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join('|')));
    QCOMPARE(sim.storedImage()[0], uint16_t(12));
    QCOMPARE(sim.storedImage()[6], uint16_t(5));
}

// Address 0 is a broadcast nobody answers; above 247 it does not fit the frame.
void TestIntegrity::addressMustBeAServer()
{
    WindowSession s(onLine(4800));
    for (const char *address : {"", "abc", "0", "248", "300", "-1"}) {
        s.notices.clear();
        s.ui()->lineEdit_dev_addr->setText(address);
        QVERIFY(!s.connectToSimulator());
        QCOMPARE(s.notices.count(), 1);
        QVERIFY2(s.notices.lastText().contains("247"), address);
        QVERIFY(s.ui()->comboBox_baudrate->isEnabled());
    }
    QVERIFY(s.sim().requests().empty());
    s.ui()->lineEdit_dev_addr->setText("192");
    QVERIFY(s.connectToSimulator());
}

// The spin box is on only when a change can be written; a typed value goes
// out once, when committed; a failed step a gives the fine trim back.
void TestIntegrity::trimStatesMatchWhatWorks()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    ui->pushButton_ma_calib->click();   // enters mode 4; group 4 follows the poll
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    QTRY_COMPARE(s.probe.workGroup(), 4);
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());

    ui->radioButton_ma_fine_4->click();
    QVERIFY(ui->spinBox_ma_fine->isEnabled());
    QVERIFY(s.idle());
    sim.clearRequests();
    ui->spinBox_ma_fine->setFocus();
    ui->spinBox_ma_fine->selectAll();
    QTest::keyClicks(ui->spinBox_ma_fine, "4150");
    QTest::qWait(300);
    QCOMPARE(writesTo(sim, 9).size(), 0);
    QTest::keyClick(ui->spinBox_ma_fine, Qt::Key_Enter);
    QTRY_COMPARE(sim.holding(9), uint16_t(4150));
    QVERIFY(s.idle());
    QCOMPARE(writes(sim), QStringList({"9=4150"}));

    // Step a fails at its mode write: the fine trim is usable again.
    sim.refuseWrites(50);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QVERIFY(ui->radioButton_ma_fine_20->isEnabled());
    QVERIFY(ui->radioButton_ma_fine_20->isCheckable());
    sim.clearExceptions();
    ui->radioButton_ma_fine_20->click();
    QVERIFY(ui->spinBox_ma_fine->isEnabled());
}

// After a store the window reads back what it wrote and says so in the status line.
void TestIntegrity::writesAreReadBack()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->pushButton_para_read->click();
    ui->pushButton_para_write->click();
    QVERIFY(s.notices.notices().isEmpty());
    QVERIFY2(ui->label_link_sta->text().contains("verified"), qPrintable(ui->label_link_sta->text()));

    // A register that answers "accepted" but keeps its old value is named.
    sim.ignoreWrites(5);
    ui->comboBox_para_filter_coe->setCurrentIndex((ui->comboBox_para_filter_coe->currentIndex() + 1) % 3);
    ui->progressBar_write->setValue(0);
    ui->pushButton_para_write->click();
    QVERIFY2(ui->label_link_sta->text().contains("register 5"), qPrintable(ui->label_link_sta->text()));
    QCOMPARE(s.notices.lastText(), QString("Write failed R"));
    QVERIFY(ui->progressBar_write->value() < 100);

    // The calibration store checks the points the procedure captured or read.
    sim.setWorkMode(2);
    QTRY_COMPARE(s.probe.workGroup(), 2);
    ui->commandLinkButton_tc_0mV->click();
    sim.ignoreWrites(5, false);
    ui->pushButton_tc_write->click();
    QVERIFY2(ui->label_link_sta->text().contains("verified"), qPrintable(ui->label_link_sta->text()));
    sim.setHolding(18, 123);   // no longer the point captured
    ui->pushButton_tc_write->click();
    QVERIFY2(ui->label_link_sta->text().contains("register 18"), qPrintable(ui->label_link_sta->text()));
}

QTEST_MAIN(TestIntegrity)
#include "test_integrity.moc"
