// The configuration tab of the real window against two simulated transmitters.

#include "e2e_helpers.h"
#include "tabs/configuration_tab.h"

#include "core/config_file.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
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
    void chosenFileIsSavedAfterTheDialog();
    void fileStaysFixedDuringApply();
    void refusedByRunningOperationSaysSo();
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
    QCOMPARE(status(tab), QStringLiteral("1 field(s) differ"));
    QCOMPARE(rowsIn(tab, "differs"), QStringList{"upper range"});

    s.notices.clear();
    tab->applyFile();
    QVERIFY2(status(tab).startsWith("verified: 1 register(s) written"), qPrintable(status(tab)));
    QCOMPARE(other.sim().holdingImage()[8], uint16_t(10));
    QCOMPARE(rowsIn(tab, "differs (unit calibration, left alone)"), (QStringList{"room gain", "RTD 200 Ω point"}));
    tab->compareWithDevice();
    QCOMPARE(status(tab), QStringLiteral("settings are equal; 2 unit calibration field(s) differ (left alone)"));

    // Calibration goes only when checked and confirmed, with the fields named.
    tab->findChild<QCheckBox *>("includeCalibration")->setChecked(true);
    tab->applyFile();
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = tab->findChild<QMessageBox *>("confirmCalibration")));
    QVERIFY2(box->text().contains("RTD 200 Ω point") && box->text().contains("another unit (address 192)"),
             qPrintable(box->text()));
    box->button(QMessageBox::Yes)->click();
    QTRY_VERIFY2(status(tab).startsWith("verified: 3 register(s) written"), qPrintable(status(tab)));
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

    // A value the window does not offer: refused before any request.
    config::Configuration bad = *config::loadFile(file).config;
    bad.words[5] = 0;
    QVERIFY(config::saveFile(dir.filePath("bad.json"), bad, nullptr));
    QVERIFY(tab->openFile(dir.filePath("bad.json")));
    s.sim().clearRequests();
    tab->applyFile();
    QVERIFY2(status(tab).startsWith(QStringLiteral("文件被拒绝：字段 filter：值 0 必须是 1, 2")), qPrintable(status(tab)));
    QVERIFY(s.sim().requests().empty());

    QVERIFY(tab->openFile(file));
    s.sim().setHolding(1, 9000);
    s.sim().setHolding(5, 4);
    s.sim().setException(6, 5, 2);
    s.sim().setException(16, 5, 2);
    s.sim().clearRequests();
    tab->applyFile();
    QVERIFY2(status(tab).contains("holding 5 (filter)"), qPrintable(status(tab)));
    QVERIFY(status(tab).startsWith(QStringLiteral("未校验")));
    QVERIFY(status(tab).endsWith(QStringLiteral("未存储任何内容")));
    QCOMPARE(s.sim().requestCount(6, 62), 0);
    QCOMPARE(s.sim().holdingImage()[1], uint16_t(9000));   // the run before the refusal is undone
}

// The save waits on the link; it runs once the dialog's accept is over, so a
// second Save, Enter or Esc during that wait cannot delete a dialog still in use.
void TestConfigurationTab::chosenFileIsSavedAfterTheDialog()
{
    QTemporaryDir dir;
    WindowSession s(at(192));
    QVERIFY(prepare(s, 0));
    s.probe.pollTimer()->start();
    auto *tab = s.window.findChild<ConfigurationTab *>();
    tab->findChild<QPushButton *>("saveConfiguration")->click();
    QPointer<QFileDialog> dialog = tab->findChild<QFileDialog *>();
    QVERIFY(dialog);
    const QString file = dir.filePath("chosen.json");
    dialog->selectFile(file);
    static_cast<QDialog *>(dialog.data())->accept();   // Enter on the dialog
    QVERIFY(!QFile::exists(file));
    QTRY_VERIFY(!dialog);
    QTRY_VERIFY(QFile::exists(file));
    QVERIFY(config::loadFile(file).config);
}

// Opening another file while an apply waits changes nothing: the read-back is
// judged against the file that was written.
void TestConfigurationTab::fileStaysFixedDuringApply()
{
    QTemporaryDir dir;
    WindowSession s(at(192));
    QVERIFY(prepare(s, 0));
    s.probe.pollTimer()->start();
    auto *tab = s.window.findChild<ConfigurationTab *>();
    const QString first = dir.filePath("first.json");
    const QString second = dir.filePath("second.json");
    QVERIFY(tab->saveTo(first));
    s.sim().setHolding(1, 9000);
    QVERIFY(tab->saveTo(second));
    QVERIFY(tab->openFile(first));

    bool opened = true;
    bool openEnabled = true;
    QTimer::singleShot(0, tab, [&] {
        openEnabled = tab->findChild<QPushButton *>("openConfiguration")->isEnabled();
        opened = tab->openFile(second);
    });
    tab->applyFile();
    QVERIFY(!opened && !openEnabled);
    QVERIFY2(status(tab).startsWith("已校验"), qPrintable(status(tab)));
    QCOMPARE(s.sim().storedImage()[1], uint16_t(10000));
    QVERIFY(tab->findChild<QPushButton *>("openConfiguration")->isEnabled());
}

// Apply and Save during another operation (a baud-rate change): nothing is
// written, and the status says why instead of keeping the last verdict.
void TestConfigurationTab::refusedByRunningOperationSaysSo()
{
    QTemporaryDir dir;
    WindowSession s(at(192));
    QVERIFY(prepare(s, 0));
    s.probe.pollTimer()->start();
    auto *tab = s.window.findChild<ConfigurationTab *>();
    const QString file = dir.filePath("unit.json");
    QVERIFY(tab->saveTo(file));
    QVERIFY(tab->openFile(file));
    tab->applyFile();
    QVERIFY2(status(tab).startsWith("已校验"), qPrintable(status(tab)));

    const QString other = dir.filePath("other.json");
    bool saved = true;
    QTimer::singleShot(100, tab, [&] {
        tab->applyFile();
        QCOMPARE(status(tab), QString("另一项操作正在进行，未执行"));
        saved = tab->saveTo(other);
    });
    s.ui()->pushButton_set_baudrate->click();
    QVERIFY(!saved);
    QVERIFY(!QFile::exists(other));
    QCOMPARE(status(tab), QString("另一项操作正在进行，未执行"));
}

QTEST_MAIN(TestConfigurationTab)
#include "test_configuration_tab.moc"
