// Parameter mode, parameter read and parameter write, with the real window
// talking Modbus RTU to the simulator.

#include "e2e_helpers.h"
#include "reply_tap.h"

#include <QtTest>

using namespace e2e;

namespace {

const QString kZhTitle = QStringLiteral("提示");

quint16 word(int v) { return quint16(v & 0xFFFF); }

struct Form {
    int inputType;
    QString high;
    QString low;
    QString zero;
    int unit;
    int filter;
    QString roomZero;
    int gain;
};

void fill(Ui::Widget *ui, const Form &f)
{
    ui->comboBox_para_input_sel->setCurrentIndex(f.inputType);
    ui->lineEdit_para_hight_tmp->setText(f.high);
    ui->lineEdit_para_low_tmp->setText(f.low);
    ui->lineEdit_para_zero_offset->setText(f.zero);
    ui->comboBox_para_unit_tmp->setCurrentIndex(f.unit);
    ui->comboBox_para_filter_coe->setCurrentIndex(f.filter);
    ui->lineEdit_para_indoor_zero_offset->setText(f.roomZero);
    ui->comboBox_para_indoor_gain->setCurrentIndex(f.gain);
}

struct FormSnapshot {
    int inputType, unit, filter, gain;
    QString high, low, zero, roomZero;
    bool operator==(const FormSnapshot &o) const
    {
        return inputType == o.inputType && unit == o.unit && filter == o.filter && gain == o.gain
            && high == o.high && low == o.low && zero == o.zero && roomZero == o.roomZero;
    }
};

FormSnapshot snapshot(Ui::Widget *ui)
{
    return {ui->comboBox_para_input_sel->currentIndex(), ui->comboBox_para_unit_tmp->currentIndex(),
            ui->comboBox_para_filter_coe->currentIndex(), ui->comboBox_para_indoor_gain->currentIndex(),
            ui->lineEdit_para_hight_tmp->text(), ui->lineEdit_para_low_tmp->text(),
            ui->lineEdit_para_zero_offset->text(), ui->lineEdit_para_indoor_zero_offset->text()};
}

// The shape of a parameter write: the read, the fields' writes (never
// holding 3, which the page does not show), their read-back, one store and
// its read-back, every request answered. Empty when so, else what is not.
QString writeShape(const std::vector<sim::Request> &rs)
{
    const auto isWrite = [](const sim::Request &r) { return r.function == 6 || r.function == 16; };
    const auto isRead = [](const sim::Request &r) { return r.function == 3 && r.address == 0 && r.count == 64; };
    size_t i = 0;
    if (rs.empty() || !isRead(rs[i++]))
        return "no read first: " + describe(rs);
    const size_t first = i;
    for (; i < rs.size() && isWrite(rs[i]) && rs[i].address != 62; ++i)
        if (rs[i].address <= 3 && rs[i].address + rs[i].count > 3)
            return "holding 3 written: " + describe(rs);
    if (i == first || i + 3 != rs.size() || !isRead(rs[i]) || rs[i + 1].function != 6 || rs[i + 1].address != 62
        || !isRead(rs[i + 2]))
        return "not writes, read-back, store, read-back: " + describe(rs);
    for (const sim::Request &r : rs)
        if (!r.answered)
            return "unanswered: " + describe(rs);
    return {};
}

std::vector<uint16_t> holdingRange(const std::vector<uint16_t> &image, int first, int count)
{
    return std::vector<uint16_t>(image.begin() + first, image.begin() + first + count);
}

} // namespace

class TestParameters : public QObject
{
    Q_OBJECT
private slots:
    void modeToggleFollowsReportedMode();
    void notConnected();
    void readFillsForm();
    void writeSendsBlockThenStore();
    void refusedInputWritesNothing();
    void unknownCodesAreKeptOnWrite();
    void shortReadWritesNothing();
    void refusedStoreRestoresBlock();
    void lostPollDoesNotFailTheNextStep();
    void exceptionOnBlockWriteStopsStore();
    void failedBlockWriteIsNotStoredAfterGoodPoll();
    void busyLinkUsesNoStaleRead();
    void busySimulatorDelaysTheWrite();
    void unsentBlockWriteIsReported();
    void failedOperationReadChangesNothing();
    void otherOperationsWaitForTheWrite();
    void busyLinkToggleSendsNothing();
    void writeAtLineSpeedWhilePolling();
};

void TestParameters::modeToggleFollowsReportedMode()
{
    WindowSession s(at9600());
    QVERIFY2(s.connectToSimulator(), qPrintable(s.fixture.errorString()));
    Ui::Widget *ui = s.ui();
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 0, 5000);

    struct Step { int reported; quint16 written; int groupAfter; };
    // From no mode and from another mode the button enters parameter mode;
    // in parameter mode it leaves it.
    for (const Step step : {Step{0, 1, 1}, Step{1, 0, 0}, Step{2, 1, 1}}) {
        if (step.reported == 2) {
            s.sim().setWorkMode(2);
            QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 2, 5000);
        }
        QCOMPARE(s.probe.workGroup(), step.reported);
        QVERIFY(s.idle());
        s.probe.pollTimer()->stop();
        s.sim().clearRequests();

        // The slot only sends; the answer comes later.
        ui->pushButton_para_set->click();
        QTRY_VERIFY_WITH_TIMEOUT(!s.sim().requests().empty(), 3000);
        QVERIFY(s.idle());
        const auto requests = s.sim().requests();
        QCOMPARE(int(requests.size()), 1);
        QCOMPARE(requests[0].function, 6);
        QCOMPARE(requests[0].address, 50);
        QCOMPARE(requests[0].values, std::vector<uint16_t>{step.written});
        // Nothing changes until a poll reports the new mode.
        QCOMPARE(s.probe.workGroup(), step.reported);

        s.probe.pollTimer()->start();
        QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), step.groupAfter, 5000);
        QCOMPARE(ui->pushButton_para_read->isEnabled(), step.groupAfter == 1);
        QCOMPARE(ui->lineEdit_para_hight_tmp->isEnabled(), step.groupAfter == 1);
    }
    QVERIFY(s.notices.notices().isEmpty());
}

void TestParameters::notConnected()
{
    WindowSession s(at9600());
    QVERIFY(s.fixture.ok());
    Ui::Widget *ui = s.ui();
    ui->progressBar_write->setValue(7);
    ui->lineEdit_para_hight_tmp->setText("1.0");
    const FormSnapshot before = snapshot(ui);
    // The action buttons are disabled outside parameter mode; call the slots directly.
    for (const char *slot : {"on_pushButton_para_set_clicked", "on_pushButton_para_read_clicked",
                             "on_pushButton_para_write_clicked"}) {
        s.notices.clear();
        QVERIFY(QMetaObject::invokeMethod(&s.window, slot));
        QTRY_COMPARE(s.notices.count(), 1);
        QCOMPARE(s.notices.lastTitle(), kZhTitle);
        QCOMPARE(s.notices.lastText(), kNotConnected);
    }
    ui->comboBox_sel_language->setCurrentIndex(2);
    s.notices.clear();
    QVERIFY(QMetaObject::invokeMethod(&s.window, "on_pushButton_para_write_clicked"));
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastTitle(), QString("prompt"));
    QCOMPARE(s.notices.lastText(), QString("Communication not connected"));

    QCOMPARE(ui->progressBar_write->value(), 7);
    QVERIFY(snapshot(ui) == before);
    QVERIFY(s.sim().requests().empty());
}

void TestParameters::readFillsForm()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    sim.setHolding(0, 7);              // "T"
    sim.setHolding(1, 1500);           // 150.0
    sim.setHolding(2, word(-200));     // -20.0
    sim.setHolding(4, word(-25));      // -0.25
    sim.setHolding(5, 3);
    sim.setHolding(6, 1);              // °F
    sim.setHolding(7, word(-150));     // -1.50
    sim.setHolding(8, 12);             // "1.2"
    ui->progressBar_write->setValue(0);
    ui->lineEdit_para_tmp_gain->setText("untouched");

    ui->pushButton_para_read->click();
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(sim.requests().front().count, 64);
    QCOMPARE(ui->comboBox_para_input_sel->currentText(), QString("T"));
    QCOMPARE(ui->comboBox_para_input_sel->currentIndex(), 9);
    QCOMPARE(ui->lineEdit_para_hight_tmp->text(), QString("150.0"));
    QCOMPARE(ui->lineEdit_para_low_tmp->text(), QString("-20.0"));
    QCOMPARE(ui->lineEdit_para_zero_offset->text(), QString("-0.25"));
    QCOMPARE(ui->comboBox_para_filter_coe->currentText(), QString("3"));
    QCOMPARE(ui->comboBox_para_unit_tmp->currentIndex(), 1);
    QCOMPARE(ui->lineEdit_para_indoor_zero_offset->text(), QString("-1.50"));
    QCOMPARE(ui->comboBox_para_indoor_gain->currentText(), QString("1.2"));
    QCOMPARE(ui->lineEdit_para_tmp_gain->text(), QString("untouched"));
    QCOMPARE(ui->progressBar_write->value(), 100);
    QVERIFY(s.notices.notices().isEmpty());

    // Codes without an entry leave their combo box blank; the rest still fills.
    sim.setHolding(0, 12);
    sim.setHolding(1, word(-5));       // -0.5
    sim.setHolding(2, 0);
    sim.setHolding(4, 1234);           // 12.34
    sim.setHolding(5, 9);
    sim.setHolding(6, 5);
    sim.setHolding(7, word(-32768));   // -327.68
    sim.setHolding(8, 20);             // "2"
    ui->progressBar_write->setValue(0);
    ui->pushButton_para_read->click();
    QCOMPARE(sim.requestCount(3, 0), 2);
    QCOMPARE(ui->comboBox_para_input_sel->currentIndex(), -1);
    QCOMPARE(ui->comboBox_para_unit_tmp->currentIndex(), -1);
    QCOMPARE(ui->lineEdit_para_hight_tmp->text(), QString("-0.5"));
    QCOMPARE(ui->lineEdit_para_low_tmp->text(), QString("0.0"));
    QCOMPARE(ui->lineEdit_para_zero_offset->text(), QString("12.34"));
    QCOMPARE(ui->comboBox_para_filter_coe->currentText(), QString("9"));
    QCOMPARE(ui->lineEdit_para_indoor_zero_offset->text(), QString("-327.68"));
    QCOMPARE(ui->comboBox_para_indoor_gain->currentText(), QString("2"));
    QCOMPARE(ui->progressBar_write->value(), 100);

    sim.setHolding(0, 32);
    sim.setHolding(6, 0);
    sim.setHolding(8, 5);
    ui->pushButton_para_read->click();
    QCOMPARE(ui->comboBox_para_input_sel->currentText(), QString("PT100"));
    QCOMPARE(ui->comboBox_para_unit_tmp->currentIndex(), 0);
    QCOMPARE(ui->comboBox_para_indoor_gain->currentText(), QString("0.5"));

    // The read writes nothing.
    QCOMPARE(sim.requestCount(6), 0);
    QCOMPARE(sim.requestCount(16), 0);
    QVERIFY(s.notices.notices().isEmpty());
}

void TestParameters::writeSendsBlockThenStore()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    // A word the form does not show and the tool has never seen.
    sim.setHolding(3, 0x1234);
    sim.setHolding(13, 4800);

    struct Case {
        Form form;
        std::vector<uint16_t> block;
    };
    const Case cases[] = {
        // PT100, 100. -> 1000, -20 -> -200, -1.5 -> -150, °F, filter 5, 0.29 -> 29 (not 28), gain 1.2
        {{1, "100.", "-20", "-1.5", 1, 4, "0.29", 7},
         {32, 1000, word(-200), 0x1234, word(-150), 5, 1, 29, 12}},
        // WRe3-25, the limits of every field, 25.3 -> 2530 hundredths, °C, filter 9, gain 0.5
        {{11, "3000.0", "-300.0", "25.3", 0, 8, "-327.68", 0},
         {9, 30000, word(-3000), 0x1234, 2530, 9, 0, word(-32768), 5}},
        // K, 100 -> 1000, 0.5 rounds, hundredths round half away from zero
        {{0, "100", "-0.05", "327.67", 0, 0, "-0.295", 15},
         {0, 1000, word(-1), 0x1234, 32767, 1, 0, word(-30), 20}},
    };
    for (const Case &c : cases) {
        fill(ui, c.form);
        ui->progressBar_write->setValue(0);
        sim.clearRequests();

        ui->pushButton_para_write->click();
        const QString shape = writeShape(sim.requests());
        QVERIFY2(shape.isEmpty(), qPrintable(shape));

        QCOMPARE(holdingRange(sim.holdingImage(), 0, 9), c.block);
        QCOMPARE(holdingRange(sim.storedImage(), 0, 9), c.block);
        QCOMPARE(sim.storedImage()[13], uint16_t(4800));
        QCOMPARE(ui->progressBar_write->value(), 100);
        QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join(" | ")));
        // Read back and found as written.
        QCOMPARE(ui->label_link_sta->text(), QString("link status: 【已校验】"));
    }
}

void TestParameters::unknownCodesAreKeptOnWrite()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    // Values no combo item stands for: the read leaves the combos blank...
    sim.setHolding(5, 12);
    sim.setHolding(8, 3);
    ui->pushButton_para_read->click();
    QCOMPARE(ui->comboBox_para_filter_coe->currentIndex(), -1);
    QCOMPARE(ui->comboBox_para_indoor_gain->currentIndex(), -1);

    // ...and the write keeps them as they were, not 0 and 4; with nothing
    // else changed, only the store goes out (RAM may hold what is not stored).
    sim.clearRequests();
    ui->pushButton_para_write->click();
    QCOMPARE(writes(sim), QStringList({"62=321"}));
    QCOMPARE(sim.holding(5), uint16_t(12));
    QCOMPARE(sim.holding(8), uint16_t(3));
    QCOMPARE(ui->label_link_sta->text(), QString("link status: 【已校验】"));
    ui->lineEdit_para_hight_tmp->setText("123.4");
    ui->pushButton_para_write->click();
    QCOMPARE(writes(sim), QStringList({"62=321", "1=1234", "62=321"}));
    QCOMPARE(sim.storedImage()[5], uint16_t(12));
    QCOMPARE(sim.storedImage()[8], uint16_t(3));
    QVERIFY(s.notices.notices().isEmpty());
}

// A block short of what the step uses is a read failure: the read fills
// nothing (no zeros, no first unit), the write sends nothing.
void TestParameters::shortReadWritesNothing()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    fill(ui, {0, "100.0", "0.0", "0.00", 0, 0, "0.00", 5});
    const FormSnapshot shown = snapshot(ui);
    const auto before = s.sim().holdingImage();
    s.sim().setShortRead(6);
    ui->pushButton_para_read->click();
    QVERIFY(snapshot(ui) == shown);
    ui->pushButton_para_write->click();
    QCOMPARE(s.notices.texts(), QStringList({kReadFailure, kReadFailure}));
    QCOMPARE(s.sim().requestCount(3), 2);
    QCOMPARE(s.sim().requestCount(16), 0);
    QCOMPARE(s.sim().requestCount(6), 0);
    QCOMPARE(s.sim().holdingImage(), before);
    QVERIFY(s.ui()->label_link_sta->text().contains("Short reply: 6 of 64 registers."));
}

// The block was taken but the store was refused: the block goes back to what
// the transmitter held, so that no later store saves it, and the link status
// says so. Good polls then keep that verdict in view, but a failed poll ends
// it: from then on the status follows the polls again.
void TestParameters::refusedStoreRestoresBlock()
{
    WindowSession s(at9600());
    QVERIFY(connectPolling(s, 1));
    Ui::Widget *ui = s.ui();
    const auto before = s.sim().holdingImage();
    fill(ui, {1, "500.0", "0.0", "0.00", 0, 0, "0.00", 5});
    s.sim().refuseWrites(62);
    ui->pushButton_para_write->click();
    QCOMPARE(s.sim().requestCount(16, 0), 2);   // the fields 0-1, then as they were
    QCOMPARE(s.sim().holdingImage(), before);
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    const QString restored = QStringLiteral("link status: 【未完成：寄存器 0-1 已恢复原值并读回确认】");
    QCOMPARE(ui->label_link_sta->text(), restored);
    const int polls = s.sim().requestCount(4);
    QTRY_VERIFY_WITH_TIMEOUT(s.sim().requestCount(4) >= polls + 2, 5000);
    QCOMPARE(ui->label_link_sta->text(), restored);

    QStringList seen;
    QObject::connect(&s.window, &Widget::linkStatusShown,
                     [&seen](bool ok, const QString &) { seen << (ok ? "ok" : "failed"); });
    s.sim().dropNext(1);
    QTRY_VERIFY_WITH_TIMEOUT(seen.contains("failed"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_link_sta->text(), QString("link status: 【OK】"), 5000);
    QCOMPARE(seen.last(), QString("ok"));
}

// At 4800 baud a poll lost on the line holds the link for its whole 666 ms
// timeout; a read clicked right behind it waits that out instead of giving
// up as "link busy".
void TestParameters::lostPollDoesNotFailTheNextStep()
{
    WindowSession s(onLine(4800));
    QVERIFY(connectPolling(s, 1));
    Ui::Widget *ui = s.ui();
    ui->lineEdit_para_hight_tmp->clear();
    s.sim().dropNext(1);
    QTRY_VERIFY_WITH_TIMEOUT(s.sim().dropsPending() == 0, 5000);
    ui->pushButton_para_read->click();
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join(" | ")));
    QCOMPARE(ui->lineEdit_para_hight_tmp->text(), QString("1000.0"));
}

void TestParameters::refusedInputWritesNothing()
{
    struct Case {
        const char *name;
        int field;   // 0 high, 1 low, 2 zero offset, 3 room zero offset
        QString text;
        int language;
        QString title;
        QString notice;
    };
    const QString high = "变送高限：请输入 -300.0 至 3000.0 之间的数值，未写入任何数据";
    const QString zero = "零点偏移：请输入 -327.68 至 327.67 之间的数值，未写入任何数据";
    const Case cases[] = {
        {"empty high", 0, "", 0, kZhTitle, high},
        {"blank high", 0, "  ", 0, kZhTitle, high},
        {"word high", 0, "abc", 0, kZhTitle, high},
        {"trailing junk", 0, "12a", 0, kZhTitle, high},
        {"above range", 0, "3000.1", 0, kZhTitle, high},
        {"below low, English", 1, "-300.1", 2, "prompt",
         "minimum: enter a number from -300.0 to 3000.0; nothing was written"},
        {"lone minus low", 1, "-", 0, kZhTitle,
         "变送低限：请输入 -300.0 至 3000.0 之间的数值，未写入任何数据"},
        {"zero above", 2, "327.68", 0, kZhTitle, zero},
        {"zero rounds above", 2, "327.675", 0, kZhTitle, zero},
        {"zero exponent", 2, "1e3", 0, kZhTitle, zero},
        {"zero double sign", 2, "--1", 0, kZhTitle, zero},
        {"room below, Traditional", 3, "-327.69", 1, kZhTitle,
         "室溫零點偏移：請輸入 -327.68 至 327.67 之間的數值，未寫入任何數據"},
        {"room comma, English", 3, "1,5", 2, "prompt",
         "indoor zero offset: enter a number from -327.68 to 327.67; nothing was written"},
        {"room empty", 3, "", 0, kZhTitle,
         "室温零点偏移：请输入 -327.68 至 327.67 之间的数值，未写入任何数据"},
    };

    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    QLineEdit *edits[] = {ui->lineEdit_para_hight_tmp, ui->lineEdit_para_low_tmp,
                          ui->lineEdit_para_zero_offset, ui->lineEdit_para_indoor_zero_offset};
    const auto storedBefore = s.sim().storedImage();
    const auto holdingBefore = s.sim().holdingImage();
    for (const Case &c : cases) {
        ui->comboBox_sel_language->setCurrentIndex(c.language);
        for (QLineEdit *e : edits)
            e->setText("1.0");
        edits[c.field]->setText(c.text);
        ui->progressBar_write->setValue(3);
        s.notices.clear();

        ui->pushButton_para_write->click();
        QTRY_VERIFY2(s.notices.count() == 1, c.name);
        QVERIFY2(s.notices.lastTitle() == c.title, c.name);
        QVERIFY2(s.notices.lastText() == c.notice, qPrintable(c.name + (": " + s.notices.lastText())));
        // Refused before anything goes out, the read included.
        QVERIFY2(s.sim().requests().empty(), qPrintable(c.name + (": " + describe(s.sim().requests()))));
        QVERIFY2(ui->progressBar_write->value() == 3, c.name);
        QVERIFY2(edits[c.field]->text() == c.text, c.name);
        QVERIFY(!s.window.operationRunning());
    }
    QCOMPARE(s.sim().holdingImage(), holdingBefore);
    QCOMPARE(s.sim().storedImage(), storedBefore);
}

void TestParameters::exceptionOnBlockWriteStopsStore()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    fill(ui, {1, "100.0", "0.0", "0.00", 0, 0, "0.00", 5});
    sim.setHolding(1, 7);
    sim.setHolding(2, 7);
    const auto holdingBefore = sim.holdingImage();
    const auto storedBefore = sim.storedImage();
    sim.refuseWrites(0);
    ui->progressBar_write->setValue(5);

    // The run 0-2 is refused, then holding 0 alone: the others go back.
    ui->pushButton_para_write->click();
    const auto requests = sim.requests();
    QVERIFY2(requests.size() > 2, qPrintable(describe(requests)));
    QCOMPARE(requests[0].function, 3);
    QCOMPARE(requests[1].function, 16);
    QCOMPARE(requests[1].exception, 4);
    QCOMPARE(sim.requestCount(6, 62), 0);
    QCOMPARE(ui->progressBar_write->value(), 5);
    QCOMPARE(writesTo(sim, 1).last(), 7);   // what went in is put back
    QCOMPARE(sim.holdingImage(), holdingBefore);
    QCOMPARE(sim.storedImage(), storedBefore);
    // The write-reply handler tells the operator, with the reply's own error
    // text; the operation then says that nothing was written.
    QTRY_COMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(s.notices.notices()[0].title, QString("prompt"));
    QVERIFY(!s.notices.notices()[0].text.isEmpty());
    QVERIFY(s.notices.notices()[0].text != kWriteFailure);
    QCOMPARE(s.notices.lastText(), kWriteFailure);
}

// A poll answered after the failed block write lights the lamp again; the store
// command must still follow the block write's own answer. The poll goes out at
// the block write's answer and the operation does not wait for it, so its answer
// may still be on the line when the click returns: the lamp is awaited, and no
// store may have gone out by then.
void TestParameters::failedBlockWriteIsNotStoredAfterGoodPoll()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    fill(ui, {0, "100.0", "0.0", "0.00", 0, 0, "0.00", 5});
    sim.setHolding(0, 5);
    sim.setHolding(1, 7);
    const auto storedBefore = sim.storedImage();
    sim.refuseWrites(0);
    ui->progressBar_write->setValue(5);

    // Reply 0 is the operation read, reply 1 the block write.
    ReplyTap tap(s.probe.master(), 1, [&s](QModbusReply *) { s.probe.sendPoll(); });
    ui->pushButton_para_write->click();
    QVERIFY(tap.fired());
    QCOMPARE(sim.requestCount(16, 0), 1);
    QTRY_VERIFY(s.probe.ledRt()->isOn());   // the poll succeeded
    QCOMPARE(sim.requestCount(4, 0), 1);
    QCOMPARE(sim.requestCount(6, 62), 0);
    QCOMPARE(sim.storedImage(), storedBefore);
    QCOMPARE(ui->progressBar_write->value(), 5);
    QTRY_COMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(s.notices.notices()[0].title, QString("prompt"));
}

// A pre-wait that runs out before the operation's own read: no read goes out,
// and what an earlier read left behind is not taken for its result.
void TestParameters::busyLinkUsesNoStaleRead()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();

    // An earlier read delivered a block.
    ui->pushButton_para_read->click();
    QVERIFY(s.notices.notices().isEmpty());

    fill(ui, {2, "11.0", "12.0", "1.00", 0, 1, "2.00", 3});
    const FormSnapshot edited = snapshot(ui);
    sim.setHolding(0, 5);
    sim.setHolding(1, 777);
    const auto holdingBefore = sim.holdingImage();
    const auto storedBefore = sim.storedImage();
    ui->progressBar_write->setValue(9);
    sim.clearRequests();

    s.probe.setReplyPending(true);   // someone else's request never ends
    ui->pushButton_para_read->click();
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastText(), kReadFailure);
    QVERIFY(snapshot(ui) == edited);
    QCOMPARE(ui->progressBar_write->value(), 9);

    s.notices.clear();
    ui->comboBox_sel_language->setCurrentIndex(1);
    ui->pushButton_para_write->click();
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastText(), QString("寫失敗R"));
    ui->comboBox_sel_language->setCurrentIndex(2);
    s.notices.clear();
    ui->pushButton_para_read->click();
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastText(), QString("Read failure"));
    s.probe.setReplyPending(false);

    QVERIFY2(sim.requests().empty(), qPrintable(describe(sim.requests())));
    QCOMPARE(sim.holdingImage(), holdingBefore);
    QCOMPARE(sim.storedImage(), storedBefore);
    QVERIFY(snapshot(ui) == edited);
    QCOMPARE(ui->progressBar_write->value(), 9);
}

// A real request outstanding, answered later than the old fixed pre-wait
// lasted (and sooner than the master gives up on it): the write waits for
// that request's own end and then goes through with fresh data.
void TestParameters::busySimulatorDelaysTheWrite()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->pushButton_para_read->click();   // leaves a delivered block behind
    QVERIFY(s.notices.notices().isEmpty());
    fill(ui, {0, "10.0", "0.0", "0.00", 0, 0, "0.00", 5});
    sim.setHolding(3, 0x4321);
    sim.clearRequests();
    sim.setReplyDelayMs(480);   // pre-wait at 9600: 4 x 100 ms; master timeout 533 ms

    QVERIFY(s.probe.sendPoll());
    ui->pushButton_para_write->click();
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join(" | ")));
    QCOMPARE(sim.requestCount(4), 1);
    QCOMPARE(writesTo(sim, 1), QList<int>({100}));
    QCOMPARE(sim.requestCount(6, 62), 1);
    QCOMPARE(sim.storedImage()[3], uint16_t(0x4321));
    QCOMPARE(sim.storedImage()[1], uint16_t(100));
    QCOMPARE(ui->label_link_sta->text(), QString("link status: 【已校验】"));
}

// The read was delivered but the link is taken before the block write: the
// operator is told and no store command goes out.
void TestParameters::unsentBlockWriteIsReported()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    fill(ui, {0, "10.0", "0.0", "0.00", 0, 0, "0.00", 5});
    const auto storedBefore = sim.storedImage();
    ui->progressBar_write->setValue(4);

    ReplyTap tap(s.probe.master(), 0, [&s](QModbusReply *) { s.probe.setReplyPending(true); });
    ui->pushButton_para_write->click();
    s.probe.setReplyPending(false);
    QVERIFY(tap.fired());
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastTitle(), kZhTitle);
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(sim.requestCount(3, 0), 1);
    QCOMPARE(sim.requestCount(16), 0);
    QCOMPARE(sim.requestCount(6), 0);
    QCOMPARE(sim.storedImage(), storedBefore);
    QCOMPARE(ui->progressBar_write->value(), 4);
}

// An error reply to the operation read: read and write show their own failure
// notice and change nothing.
void TestParameters::failedOperationReadChangesNothing()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    sim::Simulator &sim = s.sim();
    ui->pushButton_para_read->click();   // a good block in the buffer first
    fill(ui, {3, "1.0", "2.0", "3.00", 1, 2, "4.00", 6});
    const FormSnapshot edited = snapshot(ui);
    const auto storedBefore = sim.storedImage();
    sim.setException(3, -1, 2);
    sim.clearRequests();

    ui->pushButton_para_read->click();
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastText(), kReadFailure);
    QVERIFY(ui->label_link_sta->text().contains("Exception"));
    QVERIFY(snapshot(ui) == edited);
    QCOMPARE(ui->progressBar_write->value(), 30);   // the read went out, nothing came back

    s.notices.clear();
    ui->pushButton_para_write->click();
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastText(), kWriteFailure);
    QCOMPARE(sim.requestCount(3, 0), 2);
    QCOMPARE(sim.requestCount(16), 0);
    QCOMPARE(sim.requestCount(6), 0);
    QCOMPARE(sim.storedImage(), storedBefore);
    QVERIFY(snapshot(ui) == edited);
}

// While the write runs (inside its progress animation) every other operation
// button does nothing.
void TestParameters::otherOperationsWaitForTheWrite()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    Ui::Widget *ui = s.ui();
    fill(ui, {0, "100", "0", "0", 0, 0, "0", 5});

    bool wasRunning = false;
    int progressSeen = -1;
    QTimer::singleShot(1500, [&] {
        wasRunning = s.window.operationRunning();
        progressSeen = ui->progressBar_write->value();
        for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{
                 ui->pushButton_para_write, ui->pushButton_para_read, ui->pushButton_para_set,
                 ui->pushButton_reg_read, ui->pushButton_reg_read_2, ui->pushButton_set_baudrate})
            b->click();
    });
    ui->pushButton_para_write->click();
    QVERIFY(wasRunning);
    QVERIFY(progressSeen > 0 && progressSeen < 100);
    const QString shape = writeShape(s.sim().requests());
    QVERIFY2(shape.isEmpty(), qPrintable(shape));
    QCOMPARE(writesTo(s.sim(), 1), QList<int>({1000}));
    QVERIFY(s.notices.notices().isEmpty());
    QCOMPARE(ui->progressBar_write->value(), 100);
    QVERIFY(!ui->tableWidget_reg->item(0, 0));
}

void TestParameters::busyLinkToggleSendsNothing()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 1));
    s.probe.setReplyPending(true);
    s.ui()->pushButton_para_set->click();
    s.probe.setReplyPending(false);
    QVERIFY(!s.window.operationRunning());
    QTest::qWait(200);   // a write would have reached the simulator by now
    QVERIFY(s.sim().requests().empty());
    QCOMPARE(s.notices.texts(), QStringList({kWriteFailure}));   // nothing was written: said so
    QCOMPARE(s.probe.workGroup(), 1);
}

// Real line timing and live polling: the polls interleave, the write still
// reads, writes the block once and stores once.
void TestParameters::writeAtLineSpeedWhilePolling()
{
    sim::Config c;
    c.baud = 4800;
    c.lineSpeed = true;
    WindowSession s(c);
    QVERIFY(s.connectToSimulator());
    s.sim().setWorkMode(1);
    QTRY_COMPARE_WITH_TIMEOUT(s.probe.workGroup(), 1, 5000);
    Ui::Widget *ui = s.ui();
    s.sim().setHolding(3, 0x0F0F);
    fill(ui, {2, "850.0", "-50.0", "0.10", 0, 2, "-0.10", 5});

    ui->pushButton_para_read->click();
    QVERIFY(s.notices.notices().isEmpty());
    QCOMPARE(ui->comboBox_para_input_sel->currentIndex(), 0);   // the simulator's own K
    QCOMPARE(ui->lineEdit_para_hight_tmp->text(), QString("1000.0"));
    fill(ui, {2, "850.0", "-50.0", "0.10", 0, 2, "-0.10", 5});
    s.sim().clearRequests();

    ui->pushButton_para_write->click();
    QVERIFY2(s.notices.notices().isEmpty(), qPrintable(s.notices.texts().join(" | ")));
    const std::vector<uint16_t> block = {33, 8500, word(-500), 0x0F0F, 10, 3, 0, word(-10), 10};
    QCOMPARE(s.sim().requestCount(6, 62), 1);
    QCOMPARE(holdingRange(s.sim().storedImage(), 0, 9), block);
    QCOMPARE(ui->progressBar_write->value(), 100);
    int read = -1, blockWrite = -1, store = -1, i = 0;
    for (const sim::Request &r : s.sim().requests()) {
        if (r.function == 3 && read < 0)
            read = i;
        if (r.function == 16)
            blockWrite = i;
        if (r.function == 6 || r.function == 16)   // holding 3, not on the page, is never written
            QVERIFY2(r.address > 3 || r.address + r.count <= 3, qPrintable(describe({r})));
        if (r.function == 6)
            store = i;
        ++i;
    }
    QVERIFY(read >= 0 && read < blockWrite && blockWrite < store);
    QCOMPARE(s.sim().requestCount(3), 3);   // the read and the read-backs before and after the store
    QVERIFY(s.sim().requestCount(4) > 0);   // polls went on meanwhile
}

QTEST_MAIN(TestParameters)
#include "test_parameters.moc"
