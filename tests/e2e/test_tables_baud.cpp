// Register tables and the transmitter's baud-rate change, with the real window
// talking Modbus RTU to the simulator.

#include "e2e_helpers.h"
#include "reply_tap.h"

#include <QTableWidget>
#include <QtTest>

using namespace e2e;

namespace {

const QString kOk = QStringLiteral("link status: 【OK】");

QStringList headers(QTableWidget *table)
{
    QStringList list;
    for (int c = 0; c < table->columnCount(); ++c) {
        QTableWidgetItem *item = table->horizontalHeaderItem(c);
        list << (item ? item->text() : QString("<none>"));
    }
    return list;
}

// Column 1 of every row, "" for an empty cell.
QStringList column(QTableWidget *table, int c)
{
    QStringList list;
    for (int r = 0; r < table->rowCount(); ++r) {
        QTableWidgetItem *item = table->item(r, c);
        list << (item ? item->text() : QString());
    }
    return list;
}

QStringList numbers(const std::vector<uint16_t> &values)
{
    QStringList list;
    for (uint16_t v : values)
        list << QString::number(v);
    return list;
}

} // namespace

class TestTablesBaud : public QObject
{
    Q_OBJECT
private slots:
    void holdingTableShowsRawWords();
    void inputTableShowsRawWords();
    void shortReplyLeavesLaterRowsEmpty();
    void tablesNotConnected();
    void busyLinkSendsNoTableRead();
    void baudRateChange_data();
    void baudRateChange();
    void baudRateChangeRefused_data();
    void baudRateChangeRefused();
    void baudRateChangeOnBusyLink();
    void baudRateChangeWithoutStore();
    void baudRateChangeNotConnected();
};

void TestTablesBaud::holdingTableShowsRawWords()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    QTableWidget *table = ui->tableWidget_reg;
    s.sim().setHolding(2, 0xFFFF);   // -0.1 as a range limit; shown raw
    s.sim().setHolding(30, 65535);
    s.sim().setHolding(40, 321);
    s.sim().setHolding(63, 0x8000);
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->progressBar_write->setValue(11);

    // The slot only sends; the reply handler fills the table.
    ui->pushButton_reg_read->click();
    QVERIFY(!s.window.operationRunning());
    QTRY_VERIFY_WITH_TIMEOUT(table->item(63, 1), 3000);
    QCOMPARE(s.sim().requestCount(3, 0), 1);
    QCOMPARE(s.sim().requests().front().count, 64);

    QCOMPARE(table->rowCount(), 64);
    QCOMPARE(headers(table), QStringList({"Register address", "value", "notes"}));
    QStringList addresses;
    for (int i = 0; i < 64; ++i)
        addresses << QString::number(i);
    QCOMPARE(column(table, 0), addresses);
    QCOMPARE(column(table, 1), numbers(s.sim().holdingImage()));
    QCOMPARE(table->item(30, 1)->text(), QString("65535"));
    QCOMPARE(table->item(2, 1)->text(), QString("65535"));
    QCOMPARE(table->item(40, 1)->text(), QString("321"));
    QCOMPARE(table->item(63, 1)->text(), QString("32768"));
    QCOMPARE(table->item(3, 1)->text(), QString::number(0xA5C3));
    for (int r = 0; r < 64; ++r) {
        QVERIFY(!table->item(r, 2));
        for (int c = 0; c < 2; ++c)
            QCOMPARE(table->item(r, c)->textAlignment(), int(Qt::AlignCenter));
    }
    QCOMPARE(ui->label_link_sta->text(), kOk);
    QCOMPARE(ui->progressBar_write->value(), 11);
    QVERIFY(!ui->tableWidget_reg_2->item(0, 0));   // the other table is left alone
    QVERIFY(s.notices.notices().isEmpty());

    // An error reply keeps the old dump and its headers.
    QVERIFY(s.idle());
    const QStringList dump = column(table, 1);
    s.sim().setHolding(30, 7);
    s.sim().setException(3, -1, 2);
    ui->pushButton_reg_read->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->label_link_sta->text().contains("Exception"), 3000);
    QVERIFY(s.idle());
    QCOMPARE(s.sim().requestCount(3, 0), 2);
    QCOMPARE(column(table, 1), dump);
    QCOMPARE(headers(table), QStringList({"Register address", "value", "notes"}));
    QVERIFY(s.notices.notices().isEmpty());

    // A later read in another language refreshes values and headers.
    s.sim().clearExceptions();
    ui->comboBox_sel_language->setCurrentIndex(1);
    ui->pushButton_reg_read->click();
    QTRY_COMPARE_WITH_TIMEOUT(table->item(30, 1)->text(), QString("7"), 3000);
    QCOMPARE(headers(table), QStringList({"寄存器地址", "值", "備註"}));
}

void TestTablesBaud::inputTableShowsRawWords()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    QTableWidget *table = ui->tableWidget_reg_2;
    // -200 across inputs 3-4: shown as its two raw words, not as -20.0.
    s.sim().setInputOverride(3, 65535);
    s.sim().setInputOverride(4, 65336);
    s.sim().setInputOverride(11, 1);
    s.sim().setInputOverride(10, 40000);

    // Headers of the language in force, whatever they showed before.
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->comboBox_sel_language->setCurrentIndex(0);
    table->setHorizontalHeaderLabels({"x", "y", "z"});
    ui->pushButton_reg_read_2->click();
    QTRY_VERIFY_WITH_TIMEOUT(table->item(12, 1), 3000);
    QCOMPARE(s.sim().requestCount(4, 0), 1);
    QCOMPARE(s.sim().requests().front().count, 13);
    QCOMPARE(table->rowCount(), 13);
    QCOMPARE(headers(table), QStringList({"寄存器地址", "值", "备注"}));
    QStringList addresses;
    for (int i = 0; i < 13; ++i)
        addresses << QString::number(i);
    QCOMPARE(column(table, 0), addresses);
    QCOMPARE(column(table, 1), numbers(s.sim().inputImage()));
    QCOMPARE(table->item(3, 1)->text(), QString("65535"));
    QCOMPARE(table->item(4, 1)->text(), QString("65336"));
    QCOMPARE(table->item(10, 1)->text(), QString("40000"));
    QCOMPARE(table->item(11, 1)->text(), QString("1"));
    // The live display is not fed by a table read.
    QVERIFY(ui->lcdNumber_rt_mase_tmp->value() != -20.0);
    QVERIFY(!ui->tableWidget_reg->item(0, 0));

    // An error reply keeps the dump.
    QVERIFY(s.idle());
    const QStringList dump = column(table, 1);
    s.sim().setInputOverride(10, 1);
    s.sim().setException(4, -1, 4);
    ui->pushButton_reg_read_2->click();
    QTRY_VERIFY_WITH_TIMEOUT(ui->label_link_sta->text().contains("Exception"), 3000);
    QVERIFY(s.idle());
    QCOMPARE(column(table, 1), dump);
    QCOMPARE(headers(table), QStringList({"寄存器地址", "值", "备注"}));
    QVERIFY(s.notices.notices().isEmpty());
}

void TestTablesBaud::shortReplyLeavesLaterRowsEmpty()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    QTableWidget *table = s.ui()->tableWidget_reg;
    s.ui()->pushButton_reg_read->click();
    QTRY_VERIFY_WITH_TIMEOUT(table->item(63, 1), 3000);
    QVERIFY(s.idle());

    s.sim().setShortRead(5);
    s.ui()->pushButton_reg_read->click();
    QTRY_VERIFY_WITH_TIMEOUT(!table->item(63, 1), 3000);
    QCOMPARE(table->rowCount(), 64);
    for (int r = 0; r < 64; ++r) {
        QCOMPARE(bool(table->item(r, 0)), r < 5);
        QCOMPARE(bool(table->item(r, 1)), r < 5);
    }
}

void TestTablesBaud::tablesNotConnected()
{
    WindowSession s(at9600());
    QVERIFY(s.fixture.ok());
    Ui::Widget *ui = s.ui();
    const char *texts[] = {"通讯未连接", "通訊未連接", "Communication not connected"};
    for (int language = 0; language < 3; ++language) {
        ui->comboBox_sel_language->setCurrentIndex(language);
        for (QAbstractButton *b : {static_cast<QAbstractButton *>(ui->pushButton_reg_read),
                                   static_cast<QAbstractButton *>(ui->pushButton_reg_read_2)}) {
            s.notices.clear();
            b->click();
            QTRY_COMPARE(s.notices.count(), 1);
            QCOMPARE(s.notices.lastText(), QString(texts[language]));
        }
    }
    QVERIFY(s.sim().requests().empty());
    QVERIFY(!ui->tableWidget_reg->item(0, 0));
}

void TestTablesBaud::busyLinkSendsNoTableRead()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    s.probe.setReplyPending(true);
    ui->pushButton_reg_read->click();
    ui->pushButton_reg_read_2->click();
    s.probe.setReplyPending(false);
    QTest::qWait(200);                   // a read would have reached the simulator by now
    QVERIFY(s.sim().requests().empty());
    QVERIFY(s.notices.notices().isEmpty());
    QVERIFY(!ui->tableWidget_reg->item(0, 0));
    QVERIFY(!ui->tableWidget_reg_2->item(0, 0));
}

void TestTablesBaud::baudRateChange_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("4800, Simplified") << "4800" << 0 << "提示" << "波特率更改，请重启设备并重新连接！";
    QTest::newRow("9600, Traditional") << "9600" << 1 << "提示" << "波特率更改，請重啟設備并重新連接";
    QTest::newRow("1200, English") << "1200" << 2 << "prompt"
                                   << "Baud rate changed, please restart the device and reconnect";
}

void TestTablesBaud::baudRateChange()
{
    QFETCH(QString, rate);
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QString, text);
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    ui->comboBox_sel_language->setCurrentIndex(language);
    ui->comboBox_set_baudrate->setCurrentText(rate);
    ui->progressBar_write->setValue(0);

    ui->pushButton_set_baudrate->click();
    // The rate in force, the new rate, the store, and the read-back of holding 13.
    const auto requests = s.sim().requests();
    QVERIFY2(requests.size() == 4, qPrintable(describe(requests)));
    QCOMPARE(requests[0].function, 3);
    QCOMPARE(requests[1].function, 6);
    QCOMPARE(requests[1].address, 13);
    QCOMPARE(requests[1].values, std::vector<uint16_t>{uint16_t(rate.toUShort())});
    QCOMPARE(requests[2].function, 6);
    QCOMPARE(requests[2].address, 62);
    QCOMPARE(requests[2].values, std::vector<uint16_t>{321});
    QCOMPARE(requests[3].function, 3);
    QCOMPARE(s.sim().storedImage()[13], uint16_t(rate.toUShort()));
    QVERIFY(ui->label_link_sta->text().contains(QStringList({"已校验", "已校驗", "verified"}).at(language)));
    QCOMPARE(ui->progressBar_write->value(), 100);
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastTitle(), title);
    QCOMPARE(s.notices.lastText(), text);
    // The open link keeps its own rate.
    QCOMPARE(ui->comboBox_baudrate->currentText(), QString("9600"));
    QCOMPARE(s.probe.master()->state(), QModbusDevice::ConnectedState);
}

void TestTablesBaud::baudRateChangeRefused_data()
{
    QTest::addColumn<int>("refusedAddress");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("failure");
    QTest::newRow("rate refused") << 13 << 0 << "写失败R";
    QTest::newRow("store refused") << 62 << 1 << "寫失敗R";
}

// An exception to either write: the handler's error box, then the write-failure
// notice instead of the restart request; a refused rate is not stored, a rate
// whose store was refused is written back to the one in force and read back
// (the next unrelated store must not save it), and the progress bar does not
// run as if it had worked.
void TestTablesBaud::baudRateChangeRefused()
{
    QFETCH(int, refusedAddress);
    QFETCH(int, language);
    QFETCH(QString, failure);
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    ui->comboBox_sel_language->setCurrentIndex(language);
    ui->comboBox_set_baudrate->setCurrentText("2400");
    const auto storedBefore = s.sim().storedImage();
    const uint16_t rateBefore = s.sim().holding(13);
    s.sim().refuseWrites(refusedAddress);

    ui->progressBar_write->setValue(0);
    ui->pushButton_set_baudrate->click();
    const auto requests = s.sim().requests();
    QVERIFY2(requests.size() == (refusedAddress == 13 ? 2 : 5), qPrintable(describe(requests)));
    QCOMPARE(requests[1].address, 13);
    QCOMPARE(requests[refusedAddress == 13 ? 1 : 2].exception, 4);
    QCOMPARE(s.sim().holding(13), rateBefore);
    if (refusedAddress == 62) {
        QCOMPARE(writesTo(s.sim(), 13), QList<int>({2400, rateBefore}));
        QCOMPARE(requests.back().function, 3);
        QVERIFY(ui->label_link_sta->text().contains("暫存器 13 已恢復原值並讀回確認"));
    }
    QCOMPARE(ui->progressBar_write->value(), 0);
    QTRY_COMPARE(s.notices.count(), 2);
    QCOMPARE(s.notices.notices()[0].title, QString("prompt"));
    QVERIFY(!s.notices.notices()[0].text.isEmpty());
    QCOMPARE(s.notices.lastTitle(), QString("提示"));
    QCOMPARE(s.notices.lastText(), failure);
    if (refusedAddress == 62)
        QCOMPARE(s.sim().storedImage(), storedBefore);
    else
        QCOMPARE(s.sim().storedImage()[13], storedBefore[13]);
}

// Neither write can go out: nothing is written and the restart request is not shown.
void TestTablesBaud::baudRateChangeOnBusyLink()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    ui->comboBox_sel_language->setCurrentIndex(2);
    ui->comboBox_set_baudrate->setCurrentText("1200");
    const auto storedBefore = s.sim().storedImage();
    s.probe.setReplyPending(true);
    ui->progressBar_write->setValue(0);

    ui->pushButton_set_baudrate->click();
    s.probe.setReplyPending(false);
    QVERIFY(s.sim().requests().empty());
    QCOMPARE(s.sim().storedImage(), storedBefore);
    QCOMPARE(ui->progressBar_write->value(), 0);
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastTitle(), QString("prompt"));
    QCOMPARE(s.notices.lastText(), QString("Read failure"));   // the rate in force could not be read
}

// The rate is written and accepted, but the link is taken before the store
// command and stays taken: not a change worth a restart, and since the rate
// cannot be written back either, the link status names the register that
// holds an unsaved value.
void TestTablesBaud::baudRateChangeWithoutStore()
{
    WindowSession s(at9600());
    QVERIFY(prepare(s, 0));
    Ui::Widget *ui = s.ui();
    ui->comboBox_set_baudrate->setCurrentText("4800");
    const auto storedBefore = s.sim().storedImage();
    ReplyTap tap(s.probe.master(), 1, [&s](QModbusReply *) { s.probe.setReplyPending(true); });

    ui->pushButton_set_baudrate->click();
    s.probe.setReplyPending(false);
    QVERIFY(tap.fired());
    const auto requests = s.sim().requests();
    QVERIFY2(requests.size() == 2, qPrintable(describe(requests)));
    QCOMPARE(requests[1].address, 13);
    QVERIFY(requests[1].answered);
    QCOMPARE(s.sim().holding(13), uint16_t(4800));
    QCOMPARE(s.sim().storedImage(), storedBefore);
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastText(), QString("写失败R"));
    QVERIFY(ui->label_link_sta->text().contains("寄存器 13 可能保留未存储的新值"));
}

void TestTablesBaud::baudRateChangeNotConnected()
{
    WindowSession s(at9600());
    QVERIFY(s.fixture.ok());
    Ui::Widget *ui = s.ui();
    ui->progressBar_write->setValue(42);
    ui->pushButton_set_baudrate->click();
    QTRY_COMPARE(s.notices.count(), 1);
    QCOMPARE(s.notices.lastTitle(), QString("提示"));
    QCOMPARE(s.notices.lastText(), QString("通讯未连接"));
    QCOMPARE(ui->progressBar_write->value(), 42);
    QVERIFY(s.sim().requests().empty());
}

QTEST_MAIN(TestTablesBaud)
#include "test_tables_baud.moc"
