// The record tab's guided check driven by live polls, without a transmitter:
// skip, timeout, repeat and what the tables then say.

#include "calibration_record_tab.h"
#include "record_table.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using record::Point;

class TestRecordTab : public QObject
{
    Q_OBJECT
private slots:
    void skipTimeoutAndRepeat();
};

namespace {

reg::LiveValues poll(std::optional<double> measured)
{
    reg::LiveValues v;
    v.measured = measured;
    return v;
}

} // namespace

void TestRecordTab::skipTimeoutAndRepeat()
{
    QTemporaryDir folder;
    CalibrationRecordTab tab;
    const auto find = [&](const char *name) { return tab.findChild<QPushButton *>(name); };
    tab.findChild<QLineEdit *>("lineEdit_record_folder")->setText(folder.path());
    tab.findChild<QLineEdit *>("lineEdit_record_points")->setText("0, 50, 100");   // typed, no link
    tab.findChild<QSpinBox *>("spinBox_record_polls")->setValue(2);
    tab.findChild<QSpinBox *>("spinBox_record_timeout")->setValue(5);
    tab.setLanguage(2);
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
    QCOMPARE(QDir(folder.path()).entryList({"*_as-found.json"}).size(), 1);
}

QTEST_MAIN(TestRecordTab)
#include "test_record_tab.moc"
