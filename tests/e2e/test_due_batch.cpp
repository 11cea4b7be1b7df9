// The start of the day in the window: several instruments selected in the due
// list go to the Batch tab, listed at once, and a batch runs them only as the
// channel map places them; what is missing is named and nothing starts.

#include "records_db/instrument_register.h"
#include "tabs/batch_tab.h"
#include "tabs/calibration_record_tab.h"
#include "window_session.h"

#include <QtTest>

class TestDueBatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path()); }
    void severalSelectedGoToTheBatch();

private:
    QTemporaryDir m_settings;
};

namespace {

QJsonObject mapUnit(int unit, const QString &tag, const QString &serial)
{
    return {{"unit", unit}, {"port", QStringLiteral("/dev/ttyTCAL%1").arg(unit)}, {"tag", tag}, {"serial", serial},
            {"source channel", QString::number(100 + unit)}, {"meter channel", QString::number(200 + unit)}};
}

} // namespace

void TestDueBatch::severalSelectedGoToTheBatch()
{
    WindowSession s;
    s.window.show();
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    s.probe.recordTab()->setCreateQuestion([](const QString &) { return true; });
    QTemporaryDir records;
    s.window.findChild<QLineEdit *>("lineEdit_record_folder")->setText(records.path());
    recordsdb::InstrumentRegister reg(*s.probe.recordTab()->database());
    QFile procedure(records.filePath("qp-batch.json"));   // the register names it; the batch runs it
    QVERIFY(procedure.open(QIODevice::WriteOnly) && procedure.write(R"({"points": [0, 100], "tolerance": 0.5})") > 0);
    procedure.close();
    for (const QString tag : {"TT-1", "TT-2", "TT-3"}) {
        recordsdb::Instrument unit;
        unit.tag = tag, unit.serial = "S-" + tag, unit.procedure = procedure.fileName();
        QVERIFY2(reg.save(unit), qPrintable(reg.error()));
    }
    auto *due = s.window.findChild<QWidget *>("tab_due");
    s.ui()->tabWidget_main->setCurrentWidget(due);
    auto *table = due->findChild<QTableWidget *>("tableWidget_due");
    auto *automatic = due->findChild<QPushButton *>("pushButton_due_automatic");
    auto *toBatch = due->findChild<QPushButton *>("pushButton_due_batch");
    QTRY_COMPARE(table->rowCount(), 3);
    table->selectRow(0);
    QVERIFY(automatic->isEnabled() && !toBatch->isEnabled() && !toBatch->toolTip().isEmpty());
    table->selectionModel()->select(table->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY2(!automatic->isEnabled() && !automatic->toolTip().isEmpty(), "the automatic run takes one unit");
    QTest::mouseClick(toBatch, Qt::LeftButton);

    auto *batch = s.window.findChild<BatchTab *>();
    QCOMPARE(s.ui()->tabWidget_main->currentWidget(), batch);
    QCOMPARE(batch->findChild<QLineEdit *>("lineEdit_batch_procedure")->text(), procedure.fileName());
    auto *mapField = batch->findChild<QLineEdit *>("lineEdit_batch_map");
    QTemporaryDir maps;
    struct Case { const char *name; QJsonArray units; const char *result; };   // no units: no map; no result: all placed
    const Case cases[] = {
        {"no map", {}, "TT-1 (serial port, source and meter channels in the channel map); TT-3 (serial port"},
        {"one unit missing", {mapUnit(1, "TT-1", "S-TT-1"), mapUnit(2, "TT-2", "S-TT-2")}, "TT-3 (serial port"},
        {"a serial differs", {mapUnit(1, "TT-1", "S-TT-1"), mapUnit(3, "TT-3", "X-9")},
         "TT-3 (the serial number the register holds)"},
        {"both placed", {mapUnit(1, "TT-1", "S-TT-1"), mapUnit(2, "TT-2", "S-TT-2"), mapUnit(3, "TT-3", "S-TT-3")}, ""},
    };
    for (const Case &c : cases) {
        QString path;
        if (!c.units.isEmpty()) {
            path = maps.filePath(QString::fromLatin1(c.name) + ".json");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(QJsonObject{{"units", c.units}}).toJson()) > 0);
        }
        mapField->setText(path);
        emit mapField->editingFinished();
        // Only the selected units, in the register's order, whatever else the map holds.
        QCOMPARE(batch->table()->rowCount(), 2);
        QVERIFY2(batch->table()->item(0, 0)->text().endsWith("TT-1") && batch->table()->item(1, 0)->text().endsWith("TT-3"), c.name);
        QCOMPARE(batch->table()->item(1, 1)->text(), QString("S-TT-3"));   // the register's, never a differing map's
        QVERIFY2(QByteArray(c.result).isEmpty() ? batch->resultText().isEmpty() : batch->resultText().contains(c.result),
                 qPrintable(QStringLiteral("%1: %2").arg(c.name, batch->resultText())));
        if (*c.result) {
            // Said again in the window's language when it changes.
            s.ui()->comboBox_sel_language->setCurrentIndex(0);
            QVERIFY2(!batch->resultText().isEmpty() && !batch->resultText().contains("serial"), qPrintable(batch->resultText()));
            s.ui()->comboBox_sel_language->setCurrentIndex(2);
            QTest::mouseClick(batch->findChild<QPushButton *>("pushButton_batch_start"), Qt::LeftButton);
            QVERIFY2(!batch->running() && batch->resultText().contains(c.result), qPrintable(batch->resultText()));
        }
    }
}

QTEST_MAIN(TestDueBatch)
#include "test_due_batch.moc"
