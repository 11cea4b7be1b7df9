// The laboratory's day in the real window: the demo's transmitter, its tag
// and serial already in the Automatic calibration tab, calibrated on the
// first press of Start against the simulated calibrator and meter, then
// reviewed, approved, issued and opened from the Records tab.

#include "lab_bench.h"
#include "records_fixture.h"
#include "records_flow.h"
#include "records_db/standards_register.h"
#include "record/certificate.h"
#include "tabs/auto_calibration_tab.h"
#include "window_session.h"

#include <QtTest>

class TestRecordsFlow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path()); }
    void fromTheDemoToAnOpenedCertificate();

private:
    QTemporaryDir m_settings;
};

void TestRecordsFlow::fromTheDemoToAnOpenedCertificate()
{
    QSettings().setValue("automatic/points", "0%,50%,100%");
    QSettings().setValue("record/header/lineEdit_record_laboratory", "Plant metrology lab");
    record::writeIssuer(*std::make_unique<QSettings>(), {"Lab road 1", "Plant", "Plant road 2"});
    qputenv("TCAL_DEMO_TAG", "TT-DEMO");
    qputenv("TCAL_DEMO_SERIAL", "SIM-0001");
    WindowSession s(line::onLine(4800));
    s.window.show();
    qunsetenv("TCAL_DEMO_TAG");
    qunsetenv("TCAL_DEMO_SERIAL");
    s.sim().setCurves(sim::model::Curves::Standard);
    s.sim().setInputError(1.002, 0.03);
    sim::ScpiLab scpi(s.sim());
    QVERIFY(scpi.serve("tcp:127.0.0.1:0"));
    QVERIFY(s.connectToSimulator());
    s.ui()->comboBox_sel_language->setCurrentIndex(2);
    s.probe.recordTab()->setCreateQuestion([](const QString &) { return true; });
    QTemporaryDir records;
    s.window.findChild<QLineEdit *>("lineEdit_record_folder")->setText(records.path());
    recordsdb::RecordDb *db = s.probe.recordTab()->database();
    QVERIFY(db);
    QVERIFY(recordsfixture::trustOwnKey(*db));   // the laboratory trusts this workstation, as run.sh does
    for (const auto &[name, role] : {std::pair{"J. Chen", "performs"}, {"M. Zhou", "reviews"}, {"L. Wang", "approves"}})
        recordsfixture::person(*db, name, {role});
    // The technician who performs the run, as the record tab names them.
    s.window.findChild<QLineEdit *>("lineEdit_record_signer")->setText("J. Chen");
    s.window.findChild<QLineEdit *>("lineEdit_record_signer_passphrase")->setText(recordsfixture::kPassphrase);
    recordsdb::StandardsRegister standards(*db);
    const QDate due = QDate::currentDate().addYears(1);
    QVERIFY(standards.save(lab::standard(lab::kSourceSerial, "Generic SCPI calibrator", due)));
    QVERIFY(standards.save(lab::standard(lab::kMeterSerial, "Generic SCPI meter", due)));
    auto *automatic = s.window.findChild<AutoCalibrationTab *>();
    automatic->setAddresses(QStringLiteral("tcp:127.0.0.1:%1").arg(scpi.port(sim::Instrument::Source)),
                            QStringLiteral("tcp:127.0.0.1:%1").arg(scpi.port(sim::Instrument::Meter)));
    s.ui()->tabWidget_main->setCurrentWidget(automatic);
    QVERIFY(s.idle());
    automatic->start();   // the first press; the run goes on past the slot
    QTRY_VERIFY2_WITH_TIMEOUT(automatic->resultText().startsWith("as-left check passed"), qPrintable(automatic->resultText()),
                              240000);

    auto *view = s.window.findChild<RecordsView *>();
    QString opened;
    view->setOpener([&](const QString &path) { return opened = path, true; });
    // The run's checks are in the view as they are stored, as one calibration, before it is ever shown.
    QVERIFY(!view->isVisible());
    QCOMPARE(view->model().rows().size(), 1);
    QCOMPARE(view->model().rows().first().checks().size(), 2);
    // The run's result links to its row: the view shown with that calibration selected.
    auto *link = automatic->findChild<QPushButton *>("pushButton_auto_open_records");
    QVERIFY2(link->isEnabled(), qPrintable(link->toolTip()));
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(s.ui()->tabWidget_main->currentWidget(), view);
    const QModelIndexList chosen = view->findChild<QTableView *>("tableView_records")->selectionModel()->selectedRows();
    QVERIFY(chosen.size() == 1 && chosen.first().siblingAtColumn(RecordsModel::Serial).data().toString() == "SIM-0001");
    QString why;
    const int actions = recordsflow::toOpenedCertificate(*view, "M. Zhou", "L. Wang", recordsfixture::kPassphrase, why);
    qInfo("from a finished automatic run to an opened certificate: %d user actions", actions);
    QVERIFY2(actions > 0 && actions <= 8, qPrintable(why));
    QFile pdf(opened);
    QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(4) == "%PDF");
    QCOMPARE(view->model().rows().first().serial(), QStringLiteral("SIM-0001"));
}

QTEST_MAIN(TestRecordsFlow)
#include "test_records_flow.moc"
