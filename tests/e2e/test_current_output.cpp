// Current output against the simulator: the automatic 4/20 mA calibration
// driven by its step letter, and the fine trim with the spin box.

#include "e2e_helpers.h"
#include "reply_tap.h"

#include <QtTest>

using namespace e2e;


class TestCurrentOutput : public QObject
{
    Q_OBJECT
private slots:
    void fullAutomaticCalibration();
    void fineTrimLockedAfterRunUntilGroupOn();
    void unconfirmedCommandKeepsStep();
    void starvedReadBackDoesNotConfirm();
    void meterReadingsAreCheckedFirst();
    void unsentWritesKeepStep();
    void unsentModeWriteIsReported();
    void linkDownEndsTheProcedure();
    void fineTrimSelectsEndAndWritesChanges();
    void loadingTrimWritesNothing();
    void quickTrimChangesEndWithShownValue();
    void trimWriteWaitsOutBusyLink();
    void trimWithLinkDown();
    void starvedTrimReadsShowNothing();
    void fineTrimTakesTheGuard();
    void trimEnabledOnlyAfterLoad();
    void overtakenTrimWriteIsReported();
    void refusedEndClickSelectsNothing();
    void leavingTheModeAbandonsTheCalibration();
};

void TestCurrentOutput::fullAutomaticCalibration()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    QCOMPARE(stepText(s), kStepA);

    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QVERIFY(s.idle());
    QCOMPARE(ui->lineEdit_ma_auto_calib_4->text(), QString("4.001"));
    QCOMPARE(ui->lineEdit_ma_auto_calib_4->selectedText(), QString("001"));
    QCOMPARE(sim.workMode(), 4);
    QVERIFY(qAbs(sim.loopCurrentMa() - 4.012) < 1e-6);
    // The fine trim is locked for the rest of the procedure.
    QVERIFY(!ui->radioButton_ma_fine_4->isCheckable());
    QVERIFY(!ui->radioButton_ma_fine_20->isCheckable());
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());

    // The step survives a language switch; its text follows the language.
    ui->comboBox_sel_language->setCurrentIndex(2);
    QCOMPARE(stepText(s), QString("b)4mA Determine the input"));

    // "4.001" as suggested: 4001 µA, not 4000.
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), QString("c)20mA Determine the input"));
    QCOMPARE(ui->lineEdit_ma_auto_calib_4->text(), QString("19.001"));
    QVERIFY(qAbs(sim.loopCurrentMa() - 19.975) < 1e-6);

    ui->lineEdit_ma_auto_calib_4->setText("19.999");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), QString("a)start calibration"));
    QCOMPARE(ui->progressBar_write->value(), 100);
    QCOMPARE(writes(sim),
             QStringList({"51=1", "50=4", "11=4001", "51=2", "12=19999", "62=321", "50=0"}));
    // Each point first reads that mode, command and the 4 mA point are still as left;
    // step c reads both points again just before the store, reads back what it
    // stored and that normal mode was taken.
    QCOMPARE(sim.requestCount(3, 0), 7);
    QCOMPARE(sim.storedImage().at(11), uint16_t(4001));
    QCOMPARE(sim.storedImage().at(12), uint16_t(19999));
    QCOMPARE(sim.workMode(), 0);
    QVERIFY(s.notices.notices().isEmpty());
}

// After step c the trim ends stay non-checkable, whatever the polls report,
// until the current-output group is switched on again.
void TestCurrentOutput::fineTrimLockedAfterRunUntilGroupOn()
{
    WindowSession s(onLine(9600));
    QVERIFY(connectPolling(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    for (const char *meter : {"", "4.001", "19.999"}) {
        if (*meter)
            ui->lineEdit_ma_auto_calib_4->setText(meter);
        ui->commandLinkButton_ma_auto_calib_4->click();
    }
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(sim.storedImage().at(12), uint16_t(19999));
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.reportedMode(), 0, 5000);
    QTest::qWait(600);   // more polls
    sim.clearRequests();
    for (QRadioButton *end : {ui->radioButton_ma_fine_4, ui->radioButton_ma_fine_20}) {
        QVERIFY(!end->isCheckable());
        end->click();
        QVERIFY(!end->isChecked());
    }
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    QVERIFY(!writes(sim).contains("51=3"));

    ui->pushButton_ma_calib->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->radioButton_ma_fine_4->isCheckable() && ui->radioButton_ma_fine_4->isEnabled(), 5000);
    QVERIFY(ui->radioButton_ma_fine_20->isCheckable());
    ui->radioButton_ma_fine_4->click();
    QTRY_VERIFY(ui->spinBox_ma_fine->isEnabled());
    QVERIFY(writes(sim).contains("51=3"));
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join(" | ")));
}

void TestCurrentOutput::unconfirmedCommandKeepsStep()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    // The transmitter refuses the command: holding 51 does not read back 1.
    sim.setException(6, 51, 4);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.count(), 2);   // the write reply's own error box, then the step's failure
    QCOMPARE(s.notices.notices()[0].title, QString("prompt"));
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(writesTo(sim, 50), QList<int>());
    sim.clearExceptions();

    // A holding block that ends before word 51 never confirms: a read failure.
    s.notices.clear();
    sim.setShortRead(51);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(sim.holding(51), uint16_t(1));
    QCOMPARE(writesTo(sim, 50), QList<int>());
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    sim.setShortRead(0);
    s.notices.clear();

    // A read that fails: read-failure notice, no step.
    sim.setException(3, -1, 4);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QCOMPARE(writesTo(sim, 50), QList<int>());
    sim.clearExceptions();

    // Confirmed now; then step b is refused the same ways.
    s.notices.clear();
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QVERIFY(s.idle());
    sim.clearRequests();
    sim.setException(6, 51, 4);
    ui->lineEdit_ma_auto_calib_4->setText("4.012");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QCOMPARE(s.notices.count(), 2);
    QCOMPARE(s.notices.notices()[0].title, QString("prompt"));
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(sim.holding(51), uint16_t(1));
    QCOMPARE(writes(sim), QStringList({"11=4012", "51=2"}));
    QCOMPARE(ui->lineEdit_ma_auto_calib_4->text(), QString("4.012"));
    sim.clearExceptions();

    s.notices.clear();
    sim.setException(3, -1, 4);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    sim.clearExceptions();
    QCOMPARE(writesTo(sim, 12), QList<int>());
}

void TestCurrentOutput::starvedReadBackDoesNotConfirm()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    QCOMPARE(stepText(s), kStepA);
    sim.clearRequests();

    // The command goes out, then the link stays busy through the read-back attempts:
    // busy from the command's answer on, not after a time a loaded machine may overrun.
    auto busy = connect(s.probe.link(), &rtu::Link::writeEnded, this, [&] { s.probe.setReplyPending(true); });
    ui->commandLinkButton_ma_auto_calib_4->click();
    disconnect(busy);
    s.probe.setReplyPending(false);
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QCOMPARE(writes(sim), QStringList({"51=1"}));
    QCOMPARE(sim.requestCount(3), 0);

    // The whole budget gone before the command: nothing sent, nothing confirmed.
    s.notices.clear();
    sim.clearRequests();
    s.probe.setReplyPending(true);
    ui->commandLinkButton_ma_auto_calib_4->click();
    s.probe.setReplyPending(false);
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QVERIFY(sim.requests().empty());
}

void TestCurrentOutput::meterReadingsAreCheckedFirst()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QVERIFY(s.idle());
    sim.clearRequests();

    for (const char *text : {"", "abc", "4,001", "1e1", "65.536", "-0.001", "70"}) {
        s.notices.clear();
        ui->lineEdit_ma_auto_calib_4->setText(text);
        ui->commandLinkButton_ma_auto_calib_4->click();
        QCOMPARE(stepText(s), kStepB);
        QCOMPARE(s.notices.count(), 1);
        QVERIFY2(s.notices.lastText().contains("4mA实测电流"), qPrintable(s.notices.lastText()));
        QVERIFY(s.notices.lastText().contains("65.535"));
    }
    QVERIFY(sim.requests().empty());

    // Rounded to the nearest microampere.
    s.notices.clear();
    ui->lineEdit_ma_auto_calib_4->setText("4.0125");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    QCOMPARE(writesTo(sim, 11), QList<int>({4013}));
    sim.clearRequests();

    for (const char *text : {"", "x", "70", "65.5355"}) {
        s.notices.clear();
        ui->lineEdit_ma_auto_calib_4->setText(text);
        ui->commandLinkButton_ma_auto_calib_4->click();
        QCOMPARE(stepText(s), kStepC);
        QCOMPARE(s.notices.count(), 1);
        QVERIFY2(s.notices.lastText().contains("20mA实测电流"), qPrintable(s.notices.lastText()));
    }
    QVERIFY(sim.requests().empty());

    // The upper limit itself is a valid reading.
    s.notices.clear();
    ui->lineEdit_ma_auto_calib_4->setText("65.535");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(writes(sim), QStringList({"12=65535", "62=321", "50=0"}));
    QVERIFY(s.notices.notices().isEmpty());
}

void TestCurrentOutput::unsentWritesKeepStep()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QVERIFY(s.idle());
    sim.clearRequests();

    // Step b: nothing can be sent, not even the read of the state the point needs.
    s.probe.setReplyPending(true);
    ui->commandLinkButton_ma_auto_calib_4->click();
    s.probe.setReplyPending(false);
    QCOMPARE(stepText(s), kStepB);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QVERIFY(sim.requests().empty());

    s.notices.clear();
    ui->lineEdit_ma_auto_calib_4->setText("4.01");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    sim.clearRequests();

    // Step c: nothing can be sent; the link frees up before the store
    // command, which must still not go out.
    ui->lineEdit_ma_auto_calib_4->setText("19.98");
    ui->progressBar_write->setValue(0);
    s.probe.setReplyPending(true);
    QTimer::singleShot(600, [&] { s.probe.setReplyPending(false); });
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QVERIFY(sim.requests().empty());
    QCOMPARE(ui->progressBar_write->value(), 0);
    QTRY_VERIFY(!s.probe.replyPending());   // the link has freed up again

    // Step c: the point goes out, the store command cannot.
    s.notices.clear();
    QTimer::singleShot(200, [&] { s.probe.setReplyPending(true); });
    ui->commandLinkButton_ma_auto_calib_4->click();
    s.probe.setReplyPending(false);
    QCOMPARE(stepText(s), kStepC);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(writes(sim), QStringList({"12=19980"}));
    QCOMPARE(ui->progressBar_write->value(), 0);
    QCOMPARE(sim.workMode(), 4);

    // Repeated with a free link it completes.
    s.notices.clear();
    sim.clearRequests();
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(writes(sim), QStringList({"12=19980", "62=321", "50=0"}));
    QCOMPARE(sim.storedImage().at(11), uint16_t(4010));
    QCOMPARE(sim.storedImage().at(12), uint16_t(19980));
    QVERIFY(s.notices.notices().isEmpty());
}

void TestCurrentOutput::unsentModeWriteIsReported()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    // Right after the confirming read-back the link stays busy: the mode write cannot go out.
    ReplyTap tap(s.probe.master(), 1, [&](QModbusReply *) { s.probe.setReplyPending(true); });
    s.ui()->commandLinkButton_ma_auto_calib_4->click();
    s.probe.setReplyPending(false);
    QVERIFY(tap.fired());
    // Step b needs the transmitter in mode 4: the step does not advance, and
    // the fine trim is usable again.
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(writes(s.sim()), QStringList({"51=1"}));
    QVERIFY(s.ui()->radioButton_ma_fine_4->isCheckable());
}

void TestCurrentOutput::linkDownEndsTheProcedure()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    ui->pushButton_com_connect->click();
    QVERIFY(s.probe.master()->state() != QModbusDevice::ConnectedState);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.texts(), QStringList({kNotConnected}));
    QVERIFY(ui->radioButton_ma_fine_4->isCheckable());   // nothing was locked

    ui->pushButton_com_connect->click();
    QVERIFY(s.probe.master()->state() == QModbusDevice::ConnectedState);
    QVERIFY(s.idle());
    s.probe.pollTimer()->stop();
    QVERIFY(s.idle());
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    QVERIFY(s.idle());
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    sim.clearRequests();

    // Closing the link ends the procedure: the 4 mA point and the mode go
    // back before it closes; after a reconnect it starts again at a.
    const quint16 point4 = sim.storedImage().at(11);
    ui->pushButton_com_connect->click();
    QCOMPARE(writes(sim), QStringList({QString("11=%1").arg(point4), "50=0"}));
    QCOMPARE(sim.workMode(), 0);
    sim.clearRequests();
    QVERIFY(s.probe.master()->state() != QModbusDevice::ConnectedState);
    QCOMPARE(stepText(s), kStepA);
    s.notices.clear();
    ui->progressBar_write->setValue(0);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(s.notices.texts(), QStringList({kNotConnected}));
    QCOMPARE(ui->progressBar_write->value(), 0);
    QVERIFY(ui->radioButton_ma_fine_4->isCheckable());   // the fine trim is free again
    QCOMPARE(writes(sim), QStringList());
}

void TestCurrentOutput::fineTrimSelectsEndAndWritesChanges()
{
    WindowSession s(at9600());
    sim::Simulator &sim = s.sim();
    sim.setHolding(9, 4100);
    sim.setHolding(10, 4050);
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    QVERIFY(ui->radioButton_ma_fine_4->isEnabled());
    QVERIFY(!ui->radioButton_ma_fine_4->isChecked());

    ui->radioButton_ma_fine_4->click();
    QVERIFY(ui->radioButton_ma_fine_4->isChecked());
    QCOMPARE(writes(sim), QStringList({"51=3"}));
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(ui->spinBox_ma_fine->value(), 4100);
    QCOMPARE(ui->progressBar_write->value(), 100);

    ui->radioButton_ma_fine_20->click();
    QCOMPARE(writes(sim), QStringList({"51=3", "51=4"}));
    QCOMPARE(ui->spinBox_ma_fine->value(), 4050);
    QCOMPARE(sim.input(9), uint16_t(4050));   // the transmitter trims the 20 mA end now

    // An operator change writes the selected end.
    ui->spinBox_ma_fine->setValue(4060);
    QTRY_COMPARE_WITH_TIMEOUT(sim.holding(10), uint16_t(4060), 2000);
    QVERIFY(s.idle());
    QCOMPARE(writesTo(sim, 10), QList<int>({4060}));
    QCOMPARE(writesTo(sim, 9), QList<int>());

    sim.clearRequests();
    ui->pushButton_ma_write->click();
    QCOMPARE(writes(sim), QStringList({"62=321"}));
    QCOMPARE(sim.storedImage().at(10), uint16_t(4060));

    // Leaving the mode writes 0 and still refreshes the selected end.
    sim.clearRequests();
    ui->pushButton_ma_calib->click();
    QCOMPARE(writes(sim), QStringList({"50=0", "51=4"}));
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(ui->spinBox_ma_fine->value(), 4060);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestCurrentOutput::loadingTrimWritesNothing()
{
    WindowSession s(at9600());
    sim::Simulator &sim = s.sim();
    sim.setHolding(9, 9000);   // above what the spin box can show
    sim.setHolding(10, 4000);
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();

    ui->radioButton_ma_fine_20->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 4000);
    ui->radioButton_ma_fine_4->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 8191);
    QTest::qWait(200);
    QCOMPARE(sim.holding(9), uint16_t(9000));
    QCOMPARE(writes(sim), QStringList({"51=4", "51=3"}));

    // Present trim (input 9) loads the spin box the same way.
    sim.setInputOverride(9, 5000);
    s.probe.presentTrimRead();
    QCOMPARE(ui->spinBox_ma_fine->value(), 5000);
    QCOMPARE(ui->progressBar_write->value(), 100);
    sim.setInputOverride(9, std::nullopt);
    s.probe.presentTrimRead();
    QCOMPARE(ui->spinBox_ma_fine->value(), 8191);
    QTest::qWait(200);
    QCOMPARE(sim.requestCount(4, 0), 2);
    QCOMPARE(writes(sim), QStringList({"51=4", "51=3"}));
    QCOMPARE(sim.holding(9), uint16_t(9000));
    QCOMPARE(sim.holding(10), uint16_t(4000));
    QVERIFY(s.notices.notices().isEmpty());
}

void TestCurrentOutput::quickTrimChangesEndWithShownValue()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->radioButton_ma_fine_4->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 4096);
    sim.clearRequests();

    // The first change finds the link busy; more changes arrive while it waits.
    s.probe.setReplyPending(true);
    QTimer::singleShot(80, [&] { ui->spinBox_ma_fine->setValue(4102); });
    QTimer::singleShot(130, [&] { ui->spinBox_ma_fine->setValue(4103); });
    QTimer::singleShot(180, [&] { ui->spinBox_ma_fine->setValue(4104); });
    QTimer::singleShot(250, [&] { s.probe.setReplyPending(false); });
    ui->spinBox_ma_fine->setValue(4101);
    QTRY_COMPARE_WITH_TIMEOUT(sim.holding(9), uint16_t(4104), 3000);
    QVERIFY(s.idle());
    QTest::qWait(300);
    const QList<int> sent = writesTo(sim, 9);
    QCOMPARE(sent.last(), 4104);
    QVERIFY2(!sent.contains(4102) && !sent.contains(4103), qPrintable(QString::number(sent.size())));
    QCOMPARE(sim.holding(9), uint16_t(ui->spinBox_ma_fine->value()));

    // Changes in quick succession on a free link: the last one always lands.
    sim.clearRequests();
    for (int v = 4200; v <= 4210; ++v)
        QTimer::singleShot(10 * (v - 4200), [&, v] { ui->spinBox_ma_fine->setValue(v); });
    QTRY_COMPARE_WITH_TIMEOUT(sim.holding(9), uint16_t(4210), 5000);
    QVERIFY(s.idle());
    QTest::qWait(300);
    QCOMPARE(writesTo(sim, 9).last(), 4210);
    QCOMPARE(ui->spinBox_ma_fine->value(), 4210);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestCurrentOutput::trimWriteWaitsOutBusyLink()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->radioButton_ma_fine_20->click();
    sim.clearRequests();

    // Busy far longer than one pre-wait: the change is still written afterwards.
    s.probe.setReplyPending(true);
    QTimer::singleShot(2500, [&] { s.probe.setReplyPending(false); });
    ui->spinBox_ma_fine->setValue(4000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.holding(10), uint16_t(4000), 6000);
    QCOMPARE(writesTo(sim, 10), QList<int>({4000}));
    QVERIFY(s.notices.notices().isEmpty());

    // A link that never frees up: the value is not lost silently.
    QVERIFY(s.idle());
    s.probe.setReplyPending(true);
    ui->spinBox_ma_fine->setValue(4001);
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QTest::qWait(200);
    QCOMPARE(writesTo(sim, 10), QList<int>({4000}));
}

void TestCurrentOutput::trimWithLinkDown()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->radioButton_ma_fine_4->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 4096);
    sim.clearRequests();

    ui->pushButton_com_connect->click();
    QVERIFY(s.probe.master()->state() != QModbusDevice::ConnectedState);
    // The next link may be another unit: the fine trim dropped its end, and the window shows that.
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    QVERIFY(!ui->radioButton_ma_fine_4->isChecked());
    ui->spinBox_ma_fine->setValue(4200);
    QCOMPARE(s.notices.texts(), QStringList({kNotConnected}));

    // The mode button refuses too, without a refresh.
    s.notices.clear();
    ui->progressBar_write->setValue(0);
    ui->pushButton_ma_calib->click();
    QCOMPARE(s.notices.texts(), QStringList({kNotConnected}));
    QCOMPARE(ui->progressBar_write->value(), 0);

    ui->pushButton_com_connect->click();
    QTRY_VERIFY_WITH_TIMEOUT(sim.requestCount(4, 0) >= 2, 5000);   // polls again
    QVERIFY(s.idle());
    QCOMPARE(writes(sim), QStringList());
    QCOMPARE(sim.holding(9), uint16_t(4096));
}

void TestCurrentOutput::starvedTrimReadsShowNothing()
{
    WindowSession s(at9600());
    sim::Simulator &sim = s.sim();
    sim.setHolding(9, 4100);
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    ui->radioButton_ma_fine_4->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 4100);

    // Refresh: the command goes out, the read-back is starved.
    sim.setHolding(9, 4300);
    sim.clearRequests();
    QTimer::singleShot(200, [&] { s.probe.setReplyPending(true); });
    ui->radioButton_ma_fine_4->click();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QCOMPARE(ui->spinBox_ma_fine->value(), 4100);
    QCOMPARE(writes(sim), QStringList({"51=3"}));
    QCOMPARE(sim.requestCount(3), 0);

    // Present trim read: no read at all, so nothing to show.
    s.notices.clear();
    sim.clearRequests();
    sim.setInputOverride(9, 4444);
    ui->progressBar_write->setValue(0);
    s.probe.setReplyPending(true);
    s.probe.presentTrimRead();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    QCOMPARE(ui->spinBox_ma_fine->value(), 4100);
    QCOMPARE(ui->progressBar_write->value(), 0);
    QTest::qWait(200);
    QVERIFY(sim.requests().empty());
}

void TestCurrentOutput::fineTrimTakesTheGuard()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    bool wasRunning = false;
    QTimer::singleShot(200, [&] {
        wasRunning = s.window.operationRunning();
        ui->pushButton_ma_write->click();
        ui->commandLinkButton_ma_auto_calib_4->click();
        ui->pushButton_ma_calib->click();
        s.probe.presentTrimRead();
    });
    ui->radioButton_ma_fine_4->click();
    QVERIFY(wasRunning);
    QTest::qWait(200);
    QCOMPARE(writes(sim), QStringList({"51=3"}));
    QCOMPARE(sim.requestCount(3), 1);
    QCOMPARE(sim.requestCount(4), 0);
    QCOMPARE(stepText(s), kStepA);
    QVERIFY(s.notices.notices().isEmpty());
}

namespace {

// Stored trims 4100 (4 mA) and 4050 (20 mA), current-output mode, the 4 mA end chosen.
bool chooseFourMilliampEnd(WindowSession &s)
{
    s.sim().setHolding(9, 4100);
    s.sim().setHolding(10, 4050);
    if (!prepare(s, 4))
        return false;
    s.ui()->radioButton_ma_fine_4->click();
    return s.ui()->spinBox_ma_fine->value() == 4100;
}

} // namespace

// The spin box is off until it shows the chosen end's stored value: a key or
// the wheel meanwhile would write the other end's value into this end. A load
// that fails leaves it off, with the read-failure notice.
void TestCurrentOutput::trimEnabledOnlyAfterLoad()
{
    WindowSession s(at9600());
    QVERIFY(chooseFourMilliampEnd(s));
    sim::Simulator &sim = s.sim();
    Ui::Widget *ui = s.ui();

    sim.setReplyDelayMs(300);
    bool enabledWhileLoading = true;
    QTimer::singleShot(550, [&] { enabledWhileLoading = ui->spinBox_ma_fine->isEnabled(); });
    ui->radioButton_ma_fine_20->click();
    QVERIFY(!enabledWhileLoading);
    QVERIFY(ui->spinBox_ma_fine->isEnabled());
    QCOMPARE(ui->spinBox_ma_fine->value(), 4050);

    sim.setReplyDelayMs(0);
    sim.setException(3, -1, 4);
    ui->radioButton_ma_fine_4->click();
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure}));
    QCOMPARE(writesTo(sim, 9), QList<int>());
    QCOMPARE(writesTo(sim, 10), QList<int>());
}

// A value typed for the 4 mA end waits for a busy link; meanwhile the 20 mA
// end is chosen. The value is never written to the 20 mA end, and since it no
// longer belongs to the chosen end it is reported as not written.
void TestCurrentOutput::overtakenTrimWriteIsReported()
{
    WindowSession s(at9600());
    QVERIFY(chooseFourMilliampEnd(s));
    sim::Simulator &sim = s.sim();
    Ui::Widget *ui = s.ui();
    sim.clearRequests();

    s.probe.setReplyPending(true);
    QTimer::singleShot(100, [&] { ui->radioButton_ma_fine_20->click(); });
    QTimer::singleShot(200, [&] { s.probe.setReplyPending(false); });
    ui->spinBox_ma_fine->setValue(4111);
    QVERIFY(s.idle());
    QCOMPARE(writes(sim), QStringList({"51=4"}));
    QCOMPARE(sim.holding(9), uint16_t(4100));
    QCOMPARE(sim.holding(10), uint16_t(4050));
    QCOMPARE(ui->spinBox_ma_fine->value(), 4050);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
}

void TestCurrentOutput::refusedEndClickSelectsNothing()
{
    WindowSession s(at9600());
    sim::Simulator &sim = s.sim();
    sim.setHolding(9, 4100);
    sim.setHolding(10, 4050);
    QVERIFY(prepare(s, 4));
    Ui::Widget *ui = s.ui();
    ui->radioButton_ma_fine_4->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 4100);
    sim.clearRequests();

    // A click on the other end while the store command runs is refused: the
    // transmitter still trims 4 mA, so no end may look selected for 20 mA.
    // The end was dropped during the store's wait: its read-back still checks the
    // 4 mA end chosen when it began (4100), not the 20 mA one (4050), and no wait dereferences
    // an end that is gone.
    ReplyTap atStore(s.probe.master(), 0, [&](QModbusReply *) { ui->radioButton_ma_fine_20->click(); });
    ui->pushButton_ma_write->click();
    QVERIFY(atStore.fired());
    QVERIFY(!ui->radioButton_ma_fine_20->isChecked());
    QVERIFY(!ui->radioButton_ma_fine_4->isChecked());
    QCOMPARE(writes(sim), QStringList({"62=321"}));
    QCOMPARE(sim.requestCount(3), 2);   // the store's read-back, then the chosen end's
    QVERIFY2(ui->label_link_sta->text().contains(QStringLiteral("已校验")), qPrintable(ui->label_link_sta->text()));

    // With no end chosen the spin box is off; a change made anyway says it went nowhere.
    QVERIFY(!ui->spinBox_ma_fine->isEnabled());
    ui->spinBox_ma_fine->setValue(4110);
    QTest::qWait(300);
    QVERIFY(s.idle());
    QCOMPARE(writesTo(sim, 10), QList<int>());
    QCOMPARE(sim.holding(10), uint16_t(4050));
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
    s.notices.clear();

    // Selecting an end again works as usual.
    ui->radioButton_ma_fine_20->click();
    QCOMPARE(ui->spinBox_ma_fine->value(), 4050);
    QVERIFY(s.notices.notices().isEmpty());
}

// Steps a and b, then the current-mode button and a parameter write: the
// procedure is abandoned as the button's operation starts, its 4 mA point put
// back, and the store saves none of it. The button on a busy link says that
// nothing was written.
void TestCurrentOutput::leavingTheModeAbandonsTheCalibration()
{
    WindowSession s(e2e::onLine(9600));
    QVERIFY(connectPolling(s, 0));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    const uint16_t point4 = sim.holding(11);
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepB);
    ui->lineEdit_ma_auto_calib_4->setText("4.021");
    ui->commandLinkButton_ma_auto_calib_4->click();
    QCOMPARE(stepText(s), kStepC);
    QTRY_COMPARE(s.probe.reportedMode(), 4);

    ui->pushButton_ma_calib->click();
    QCOMPARE(stepText(s), kStepA);
    QCOMPARE(sim.holding(11), point4);
    QCOMPARE(sim.workMode(), 0);
    ui->pushButton_para_read->click();
    ui->pushButton_para_write->click();
    QCOMPARE(sim.storedImage().at(11), point4);
    QVERIFY(s.notices.notices().isEmpty());

    s.probe.pollTimer()->stop();   // a poll's end would free the held link
    QVERIFY(s.idle());
    s.probe.setReplyPending(true);
    ui->pushButton_ma_calib->click();
    s.probe.setReplyPending(false);
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));
}

QTEST_MAIN(TestCurrentOutput)
#include "test_current_output.moc"
