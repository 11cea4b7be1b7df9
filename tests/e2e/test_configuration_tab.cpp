// The configuration tab of the real window against two simulated transmitters.

#include "configuration_tab.h"
#include "e2e_helpers.h"

#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace e2e;

namespace {

sim::Config at(int address)
{
    sim::Config c;
    c.address = address;
    c.baud = 9600;
    c.lineSpeed = true;
    return c;
}

// Disconnects the window and connects it to `f` at its address.
bool reconnect(WindowSession &s, SimulatorFixture &f)
{
    Ui::Widget *ui = s.ui();
    if (!s.idle())
        return false;
    if (s.probe.master()->state() == QModbusDevice::ConnectedState)
        ui->pushButton_com_connect->click();
    qputenv("TCAL_EXTRA_PORTS", f.toolPort().toLocal8Bit());
    ui->pushButton_com_ref->click();
    ui->comboBox_com_num->setCurrentIndex(ui->comboBox_com_num->findText(f.toolPort()));
    ui->comboBox_baudrate->setCurrentText(QString::number(f.config().baud));
    ui->lineEdit_dev_addr->setText(QString::number(f.config().address));
    ui->pushButton_com_connect->click();
    return s.probe.master()->state() == QModbusDevice::ConnectedState;
}

// Rows of the table whose state column reads `state`, by field label.
QStringList rowsIn(ConfigurationTab *tab, const QString &state)
{
    auto *table = tab->findChild<QTableWidget *>("configurationTable");
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 3)->text() == state)
            rows << table->item(r, 0)->text();
    }
    return rows;
}

QString status(ConfigurationTab *tab)
{
    return tab->findChild<QLabel *>("configurationStatus")->text();
}

} // namespace

class TestConfigurationTab : public QObject
{
    Q_OBJECT
private slots:
    void fileFromOneTransmitterAppliedToAnother();
    void refusedRegisterIsReported();
};

void TestConfigurationTab::fileFromOneTransmitterAppliedToAnother()
{
    QTemporaryDir dir;
    WindowSession s(at(192));
    SimulatorFixture other(at(17));
    QVERIFY2(other.ok(), qPrintable(other.errorString()));
    auto *tab = s.window.findChild<ConfigurationTab *>();
    QVERIFY(tab);
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    QCOMPARE(s.ui()->tabWidget_main->tabText(s.ui()->tabWidget_main->indexOf(tab)), QStringLiteral("Configuration"));

    s.sim().setHolding(1, 8000);
    s.sim().setHolding(8, 12);
    s.sim().setHolding(21, 4);
    QVERIFY(reconnect(s, s.fixture));
    const QString file = dir.filePath("first.json");
    QVERIFY(tab->saveTo(file));

    QVERIFY(reconnect(s, other));
    QVERIFY(tab->openFile(file));
    tab->compareWithDevice();
    QCOMPARE(status(tab), QStringLiteral("3 field(s) differ"));
    QCOMPARE(rowsIn(tab, "differs"), (QStringList{"upper range", "room gain", "RTD 200 Ω point"}));

    s.notices.clear();
    tab->applyFile();
    QVERIFY2(status(tab).startsWith("verified: 4 register(s) written"), qPrintable(status(tab)));
    QCOMPARE(rowsIn(tab, "verified").size(), int(config::fields().size()));

    tab->compareWithDevice();
    QCOMPARE(status(tab), QStringLiteral("device and file are equal"));
    QCOMPARE(s.notices.count(), 0);
}

void TestConfigurationTab::refusedRegisterIsReported()
{
    QTemporaryDir dir;
    WindowSession s(at(192));
    QVERIFY(prepare(s, 0));
    s.probe.pollTimer()->start();
    auto *tab = s.window.findChild<ConfigurationTab *>();
    const QString file = dir.filePath("a.json");
    QVERIFY(tab->saveTo(file));
    QVERIFY(tab->openFile(file));

    s.sim().setHolding(5, 4);
    s.sim().setException(6, 5, 2);
    s.sim().setException(16, 5, 2);
    s.sim().clearRequests();
    tab->applyFile();
    QVERIFY2(status(tab).contains("holding 5 (filter)"), qPrintable(status(tab)));
    QVERIFY(status(tab).startsWith(QStringLiteral("未校验")));
    QCOMPARE(s.sim().requestCount(6, 62), 0);
}

QTEST_MAIN(TestConfigurationTab)
#include "test_configuration_tab.moc"
