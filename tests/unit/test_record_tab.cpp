// The record tab's guided check driven by live polls, without a transmitter:
// skip, timeout, repeat and what the tables then say.

#include "calibration_record_tab.h"
#include "instrument_list.h"
#include "record_table.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using record::Point;

class TestRecordTab : public QObject
{
    Q_OBJECT
private slots:
    void skipTimeoutAndRepeat();
    void finishedCheckIsNeverRewritten();
    void typedNumbersInTheLocale();
    void expiredReferenceNeedsAReason();
    void instrumentListStartsACheck();
    void headerRemembered();
};

namespace {

reg::LiveValues poll(std::optional<double> measured)
{
    reg::LiveValues v;
    v.measured = measured;
    return v;
}

// A tab with a records folder, a reference due next year and `points` typed (no link).
void prepare(CalibrationRecordTab &tab, const QString &folder, const QString &points)
{
    tab.findChild<QLineEdit *>("lineEdit_record_folder")->setText(folder);
    tab.findChild<QLineEdit *>("lineEdit_record_points")->setText(points);
    tab.findChild<QLineEdit *>("lineEdit_record_serial")->setText("SN-1");
    tab.findChild<QDateEdit *>("dateEdit_record_due")->setDate(QDate::currentDate().addYears(1));
    tab.findChild<QSpinBox *>("spinBox_record_polls")->setValue(2);
    tab.setLanguage(2);
}

QString status(CalibrationRecordTab &tab)
{
    return tab.findChild<QLabel *>("label_record_status")->text();
}

// Measures the running point at `value`.
void measure(CalibrationRecordTab &tab, double value)
{
    tab.findChild<QPushButton *>("pushButton_record_measure")->click();
    tab.onLiveValues(poll(value));
    tab.onLiveValues(poll(value));
}

} // namespace

void TestRecordTab::skipTimeoutAndRepeat()
{
    QTemporaryDir folder;
    CalibrationRecordTab tab;
    const auto find = [&](const char *name) { return tab.findChild<QPushButton *>(name); };
    prepare(tab, folder.path(), "0; 50; 100");
    tab.findChild<QSpinBox *>("spinBox_record_timeout")->setValue(5);
    find("pushButton_record_as_found")->click();
    const auto &points = tab.asFound()->points;

    tab.onLiveValues(poll(0.1));   // before Measure: not counted
    find("pushButton_record_measure")->click();
    tab.onLiveValues(poll(0.1));
    QCOMPARE(points[0].status, Point::Status::Pending);
    tab.onLiveValues(poll(0.1));
    QCOMPARE(points[0].status, Point::Status::Recorded);

    find("pushButton_record_skip")->click();
    QCOMPARE(points[1].status, Point::Status::Skipped);

    // Noise wider than the band until the timeout; a language switch meanwhile keeps the point.
    find("pushButton_record_measure")->click();
    tab.setLanguage(0);
    QTRY_VERIFY_WITH_TIMEOUT(points[2].status == Point::Status::NotStable, 8000);
    QCOMPARE(tab.findChild<QLabel *>("label_record_countdown")->text(),
             record::text(record::Text::NotStable, 0));
    tab.setLanguage(2);
    auto *table = tab.findChild<QTableWidget *>("tableWidget_record_as_found");
    QCOMPARE(table->item(1, record::ColResult)->text(), QStringLiteral("skipped"));
    QCOMPARE(table->item(2, record::ColResult)->text(), record::text(record::Text::NotStable, 2));

    find("pushButton_record_repeat")->click();
    find("pushButton_record_measure")->click();
    for (double v : {100.0, 101.0, 100.05, 100.0})
        tab.onLiveValues(poll(v));
    QCOMPARE(points[2].status, Point::Status::Recorded);
    QCOMPARE(points[2].reading, 100.025);   // the steady run's mean
    QVERIFY(!tab.checkRunning());
    // Saved, but a skipped point never makes a pass.
    QCOMPARE(record::verdict(*tab.asFound()), record::Verdict::Incomplete);
    QCOMPARE(tab.database()->list("SN-1").size(), 1);
}

void TestRecordTab::finishedCheckIsNeverRewritten()
{
    QTemporaryDir folder;
    CalibrationRecordTab tab;
    prepare(tab, folder.path(), "500");
    tab.findChild<QPushButton *>("pushButton_record_as_found")->click();
    measure(tab, 503.0);
    QVERIFY(!tab.checkRunning());
    const qint64 stored = tab.asFound()->id;
    QVERIFY(stored > 0);

    // Repeat on the finished row, and a typed current: refused without a reason.
    auto *table = tab.findChild<QTableWidget *>("tableWidget_record_as_found");
    table->selectRow(0);
    tab.findChild<QPushButton *>("pushButton_record_repeat")->click();
    QVERIFY(!tab.checkRunning());
    QCOMPARE(status(tab), record::text(record::Text::FinishedUnchanged, 2));
    table->item(0, record::ColMeasuredMa)->setText("12.000");
    QVERIFY(!tab.asFound()->points[0].currentMa);
    QCOMPARE(tab.asFound()->points[0].reading, 503.0);

    // With a reason the correction is a new version; the first reading stays on file.
    tab.findChild<QLineEdit *>("lineEdit_record_amend_reason")->setText("calibrator was still settling");
    tab.findChild<QPushButton *>("pushButton_record_repeat")->click();
    QVERIFY(tab.checkRunning());
    measure(tab, 500.1);
    const auto list = tab.database()->list("SN-1");
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0].record.id, stored);
    QCOMPARE(list[0].record.points[0].reading, 503.0);
    QCOMPARE(list[0].supersededBy, list[1].record.id);
    QCOMPARE(list[1].record.amendment->reason, QStringLiteral("calibrator was still settling"));
    QCOMPARE(list[1].record.points[0].reading, 500.1);
    QVERIFY(tab.database()->verify().intact());
}

void TestRecordTab::typedNumbersInTheLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir folder;
    CalibrationRecordTab tab;
    prepare(tab, folder.path(), "0; 12,5; 25");
    tab.findChild<QPushButton *>("pushButton_record_as_found")->click();
    QCOMPARE(tab.asFound()->points.size(), 3);
    QCOMPARE(tab.asFound()->points[1].reference, 12.5);
    auto *table = tab.findChild<QTableWidget *>("tableWidget_record_as_found");
    table->item(0, record::ColMeasuredMa)->setText("4,004");
    QCOMPARE(tab.asFound()->points[0].currentMa, std::optional<double>(4.004));
    table->item(1, record::ColMeasuredMa)->setText("4.0.1");   // refused with a word, not cleared
    QCOMPARE(tab.asFound()->points[0].currentMa, std::optional<double>(4.004));
    QVERIFY(!tab.asFound()->points[1].currentMa);
    QCOMPARE(status(tab), record::text(record::Text::BadNumber, 2).arg("4.0.1"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    CalibrationRecordTab english;
    prepare(english, folder.path(), "0; 12,5; 25");
    english.findChild<QPushButton *>("pushButton_record_as_found")->click();
    QVERIFY(!english.asFound());
    QCOMPARE(status(english), record::text(record::Text::BadPoints, 2).arg("12,5"));
    QLocale::setDefault(QLocale::c());
}

void TestRecordTab::expiredReferenceNeedsAReason()
{
    QTemporaryDir folder;
    CalibrationRecordTab tab;
    prepare(tab, folder.path(), "0; 50");
    auto *due = tab.findChild<QDateEdit *>("dateEdit_record_due");
    due->setDate(due->minimumDate());   // not given
    auto *start = tab.findChild<QPushButton *>("pushButton_record_as_found");
    start->click();
    QVERIFY(!tab.asFound());
    QCOMPARE(status(tab), record::text(record::Text::DueMissing, 2));
    due->setDate(QDate::currentDate().addDays(-3));
    start->click();
    QVERIFY(!tab.asFound());
    QVERIFY(status(tab).contains(QDate::currentDate().addDays(-3).toString(Qt::ISODate)));
    tab.findChild<QLineEdit *>("lineEdit_record_override")->setText("replacement on order; checked against a second calibrator");
    start->click();
    QVERIFY(tab.asFound());
    QCOMPARE(tab.asFound()->header.referenceOverride,
             QStringLiteral("replacement on order; checked against a second calibrator"));
}

void TestRecordTab::instrumentListStartsACheck()
{
    QTemporaryDir folder;
    CalibrationRecordTab tab;
    prepare(tab, folder.path(), "0");
    {
        recordsdb::InstrumentRegister reg(*tab.database());
        recordsdb::Instrument i{"TT-7", "SN-77", "Kiln exit", "Kiln 2", "Type K", -20.0, 780.0, "°C", 12, "in service"};
        QVERIFY(reg.save(i));
    }
    // Calibrated 13 months ago on a 12-month interval: overdue, and shown so.
    record::Header last;
    last.serial = "SN-77";
    QVERIFY(tab.database()->append(record::newRecord(last, record::Stage::AsLeft, {}, QDateTime::currentDateTimeUtc().addMonths(-13))));
    tab.findChild<QPushButton *>("pushButton_record_instruments")->click();
    auto *dialog = tab.findChild<InstrumentListDialog *>();
    QVERIFY(dialog);
    auto *table = dialog->findChild<QTableWidget *>("tableWidget_instruments");
    dialog->findChild<QLineEdit *>("lineEdit_instrument_search")->setText("kiln");
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(table->item(0, 7)->text().endsWith(record::text(record::Text::Overdue, 2)));
    QVERIFY(table->item(0, 0)->background().style() != Qt::NoBrush);
    table->selectRow(0);
    dialog->findChild<QPushButton *>("pushButton_instrument_start")->click();
    QCOMPARE(tab.findChild<QLineEdit *>("lineEdit_record_serial")->text(), QStringLiteral("SN-77"));
    QCOMPARE(tab.findChild<QLineEdit *>("lineEdit_record_points")->text(),
             QStringLiteral("-20.0; 180.0; 380.0; 580.0; 780.0"));
    tab.findChild<QPushButton *>("pushButton_record_as_found")->click();
    QCOMPARE(tab.asFound()->header.inputType, QStringLiteral("Type K"));
    QCOMPARE(tab.asFound()->header.tag, QStringLiteral("TT-7"));
}

void TestRecordTab::headerRemembered()
{
    QCoreApplication::setOrganizationName(QStringLiteral("TCal-test-record-tab"));
    QSettings().clear();
    QTemporaryDir folder;
    {
        CalibrationRecordTab tab;
        tab.rememberHeader();
        prepare(tab, folder.path(), "0");
        tab.findChild<QLineEdit *>("lineEdit_record_technician")->setText("J. Chen");
        tab.findChild<QLineEdit *>("lineEdit_record_laboratory")->setText("Plant metrology lab");
        tab.findChild<QLineEdit *>("lineEdit_record_reference")->setText("Calibrator 7");
        tab.findChild<QPushButton *>("pushButton_record_as_found")->click();
        QVERIFY(tab.asFound());
    }
    CalibrationRecordTab again;
    again.rememberHeader();
    QCOMPARE(again.findChild<QLineEdit *>("lineEdit_record_technician")->text(), QStringLiteral("J. Chen"));
    QCOMPARE(again.findChild<QLineEdit *>("lineEdit_record_laboratory")->text(), QStringLiteral("Plant metrology lab"));
    QCOMPARE(again.findChild<QLineEdit *>("lineEdit_record_reference")->text(), QStringLiteral("Calibrator 7"));
    QCOMPARE(again.findChild<QDateEdit *>("dateEdit_record_due")->date(), QDate::currentDate().addYears(1));
    QSettings().clear();
}

QTEST_MAIN(TestRecordTab)
#include "test_record_tab.moc"
